#include "encoder.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__linux__)
#include <sched.h>
#endif

#include "match_finder.h"
#include "threads.h"

namespace lz16 {

Match find_match_exhaustive(const uint16_t* rgb16_raw, int32_t npix, int32_t p) {
  Match best{0, 0};
  const int32_t last = std::min(p, window);
  for (int32_t i = 1; i <= last; ++i) {
    int32_t j = 0;
    while (rgb16_raw[p + j] == rgb16_raw[p + j - i] && j != max_run && p + j < npix - 1) ++j;
    if (j > best.count) {
      best = {j, i};
      if (j == max_run) break;
    }
  }
  return best;
}

namespace {

// Where the token stream is: write cursors into the two segments, and the
// segment it is in.
struct Cursor {
  uint8_t* code_ptr;
  uint8_t* data_ptr;
  bool in_data;
};

// The two segments and the cursor into them. Segments are sized for the
// worst case before encoding starts: a code covers two pixels or more and
// neither the first nor the last pixel, so n pixels need at most n bytes
// of codes, and literals need 2 bytes a pixel.
struct TokenWriter {
  Segments seg;
  Cursor at;
};

// Room for the tokens of npix pixels after lead bytes in each segment. A
// stream that starts mid-image has no token before its first, so the lead
// takes the switch bit its first token would set on one.
TokenWriter start_tokens(int32_t npix, size_t lead = 0) {
  TokenWriter w;
  w.seg.code_seg.resize(lead + static_cast<size_t>(npix));
  w.seg.data_seg.resize(lead + 2 * static_cast<size_t>(npix));
  w.at = {w.seg.code_seg.data() + lead, w.seg.data_seg.data() + lead, true};
  return w;
}

// The stream goes on with a code or a literal: where that changes segment,
// the last token before it gets its switch bit.
void switch_to(Cursor& at, bool code) {
  if (code && at.in_data) at.data_ptr[-2] |= literal_switch;
  if (!code && !at.in_data) at.code_ptr[-2] |= code_switch;
  at.in_data = !code;
}

// One greedy step at p with the match m found there: a code for a run of
// min_run or more, else a literal. Returns the position after the token.
int32_t emit_token(Cursor& at, const uint16_t* rgb16_raw, int32_t p, Match m) {
  if (m.count >= min_run) {
    switch_to(at, true);
    at.code_ptr[0] = static_cast<uint8_t>(m.count << 4 | ((m.dist >> 8) & 7));
    at.code_ptr[1] = static_cast<uint8_t>(m.dist & 0xFF);
    at.code_ptr += 2;
    return p + m.count;
  }
  switch_to(at, false);
  const uint16_t word = rgb16_raw[p] & static_cast<uint16_t>(~word_free_bit);  // the bit belongs to the stream
  at.data_ptr[0] = static_cast<uint8_t>(word & 0xFF);
  at.data_ptr[1] = static_cast<uint8_t>(word >> 8);
  at.data_ptr += 2;
  return p + 1;
}

// The last literal ends the stream. An image with no pixel has none.
void end_tokens(TokenWriter& w) {
  if (w.at.data_ptr != w.seg.data_seg.data()) w.at.data_ptr[-2] |= literal_switch;
}

Segments finish_tokens(TokenWriter& w) {
  end_tokens(w);
  w.seg.code_seg.resize(static_cast<size_t>(w.at.code_ptr - w.seg.code_seg.data()));
  w.seg.data_seg.resize(static_cast<size_t>(w.at.data_ptr - w.seg.data_seg.data()));
  return std::move(w.seg);
}

template <typename Find>
Segments encode_with(const uint16_t* rgb16_raw, int32_t npix, Find find) {
  TokenWriter w = start_tokens(npix);
  for (int32_t p = 0; p < npix;) p = emit_token(w.at, rgb16_raw, p, find(p));
  return finish_tokens(w);
}

// Parsing in parts, side by side.
//
// The greedy parse is a chain of token starts, and where the next one lies
// depends only on the current one. So a parse started anywhere, once it hits
// a token start of the parse from the image's start, goes on exactly like
// it. The image is cut into stretches, one per thread; each part parses from
// its stretch's start (its finder primed with the window before it) and
// records where its tokens start; the part before it, on reaching that
// stretch, looks for one of its own token starts among them, stops there,
// and the segments go on with the next part's pieces from that token on.
// Parses meet within a few thousand pixels on every image measured; a part
// that has not met the next one within meet_span pixels of that one's start
// gives up on it, goes on and meets the part after, or parses to the end
// itself. The bytes never depend on how the threads are timed, only on the
// pixels and the cut.

constexpr int32_t meet_span = 1 << 16;  // pixels into its stretch a part records token starts
constexpr int32_t no_more = INT32_MAX;  // position of the entry that closes a part's record

struct TokenStart {
  int32_t pos;
  int32_t code_off;  // offsets of the token in its part's segments
  int32_t data_off;
  bool code;
};

struct Part {
  int32_t start = 0;
  TokenWriter w;                         // its stream, once parsed
  std::unique_ptr<TokenStart[]> starts;  // meet_span entries and the closing one
  std::atomic<int32_t> published{0};     // entries written, which the part before may read
  // Where this part's stream ends: at token start next_at of part next, or
  // at the image's end when next is 0.
  int next = 0;
  int32_t next_at = 0;
};

// Entries a part has written. Only the part itself writes them, so it reads
// its own count without ordering.
int32_t recorded(const Part& me) { return me.published.load(std::memory_order_relaxed); }

void publish_start(Part& me, bool code) {
  const int32_t n = recorded(me);
  me.starts[n].code = code;
  me.published.store(n + 1, std::memory_order_release);
}

// The record is closed: the part before sees everything this part will record.
void close_record(Part& me) {
  const int32_t n = recorded(me);
  me.starts[n] = {no_more, 0, 0, false};
  me.published.store(n + 1, std::memory_order_release);
}

enum class Meeting { here, not_here, never };

// Whether p is a token start of part t, waiting for t to get past p. seen
// carries the search through t's record from one call to the next.
Meeting meet(const Part& t, int32_t p, int32_t& seen) {
  for (;;) {
    const int32_t n = t.published.load(std::memory_order_acquire);
    while (seen < n && t.starts[seen].pos < p) ++seen;
    if (seen < n) {
      const int32_t at = t.starts[seen].pos;
      return at == p ? Meeting::here : at == no_more ? Meeting::never : Meeting::not_here;
    }
    std::this_thread::yield();
  }
}

// A part's bookkeeping between tokens: recording its own token starts for
// the part before, and looking for the next part's.
struct Progress {
  Part* parts;
  int nparts;
  int i;
  int32_t record_end;  // token starts below this are recorded
  bool recording;
  bool pending;  // the last token's start is recorded, not yet published
  int target;    // the part whose token starts this one looks for
  int32_t seen;  // how far into the target's record it has looked
  bool met;      // p is one of them: the stream goes on in the target's
};

// Publishes the start recorded last, now that the stream's state tells what
// its token was, and closes the record if done.
void settle_record(Progress& s, Part& me, bool in_data, bool done) {
  if (s.pending) publish_start(me, !in_data);
  s.pending = false;
  if (s.recording && done) {
    close_record(me);
    s.recording = false;
  }
}

// The bookkeeping at token start p, with the stream's offsets and state
// there; returns the next position that needs it. Out of line, so that the
// token loop around it keeps its registers.
[[gnu::noinline]] int32_t keep_books(Progress& s, int32_t p, int32_t npix, int32_t code_off, int32_t data_off,
                                     bool in_data) {
  Part& me = s.parts[s.i];
  settle_record(s, me, in_data, p >= s.record_end);
  for (; s.target < s.nparts && p >= s.parts[s.target].start; ++s.target, s.seen = 0) {
    const Meeting m = meet(s.parts[s.target], p, s.seen);
    if (m == Meeting::here) {
      s.met = true;
      return p;
    }
    if (m == Meeting::not_here) break;
  }
  if (s.recording) {
    me.starts[recorded(me)] = {p, code_off, data_off, false};
    s.pending = true;
    return p + 1;
  }
  // The next token while meeting the target, else the target's start.
  return s.target < s.nparts ? std::max(p + 1, s.parts[s.target].start) : npix;
}

// Parses part i from its start until it meets a later part or reaches the
// image's end: the greedy loop, with the bookkeeping whenever p reaches
// watch, which while the part records is every token. The writer and the
// finder are locals, so that their fields can stay in registers. Only their
// allocation throws, before anything is recorded.
void parse_part(Part* parts, int nparts, int i, const uint16_t* rgb16_raw, int32_t npix) {
  Part& me = parts[i];
  TokenWriter w = start_tokens(npix - me.start, i == 0 ? 0 : 2);
  MatchFinder mf;
  match_finder_init(mf, rgb16_raw, npix, me.start);
  Progress s{parts, nparts, i, i == 0 ? me.start : std::min(npix, me.start + meet_span), i > 0, false, i + 1, 0,
             false};
  uint8_t* const code0 = w.seg.code_seg.data();
  uint8_t* const data0 = w.seg.data_seg.data();
  Cursor at = w.at;
  int32_t p = me.start;
  for (int32_t watch = p; p < npix;) {
    if (p >= watch) {
      watch = keep_books(s, p, npix, static_cast<int32_t>(at.code_ptr - code0),
                         static_cast<int32_t>(at.data_ptr - data0), at.in_data);
      if (s.met) break;
    }
    p = emit_token(at, rgb16_raw, p, match_finder_next(mf, p));
  }
  settle_record(s, me, at.in_data, true);
  if (s.met) {
    switch_to(at, parts[s.target].starts[s.seen].code);
    me.next = s.target;
    me.next_at = s.seen;
  }
  w.at = at;
  if (!s.met) end_tokens(w);
  me.w = std::move(w);
}

// A part after the first, on a thread of its own. If its buffers cannot be
// had, it records nothing and the part before parses past it.
void run_part(Part* parts, int nparts, int i, const uint16_t* rgb16_raw, int32_t npix) {
  try {
    parse_part(parts, nparts, i, rgb16_raw, npix);
  } catch (const std::bad_alloc&) {
    close_record(parts[i]);
  }
}

}  // namespace

Segments encode_exhaustive(const uint16_t* rgb16_raw, int32_t npix) {
  return encode_with(rgb16_raw, npix, [&](int32_t p) { return find_match_exhaustive(rgb16_raw, npix, p); });
}

SegmentPieces encode_parts(const uint16_t* rgb16_raw, int32_t npix, int nparts) {
  nparts = std::clamp(nparts, 1, std::max(npix, 1));
  std::vector<Part> parts(static_cast<size_t>(nparts));
  for (int i = 0; i < nparts; ++i) {
    parts[i].start = static_cast<int32_t>(int64_t{npix} * i / nparts);
    if (i > 0) parts[i].starts.reset(new TokenStart[meet_span + 1]);  // left unset: each is written before it is read
  }

  JoinedThreads threads;
  threads.threads.reserve(static_cast<size_t>(nparts - 1));
  for (int i = 1; i < nparts; ++i) {
    try {
      if (!threads_available) throw std::system_error(std::make_error_code(std::errc::not_supported));
      threads.threads.emplace_back(run_part, parts.data(), nparts, i, rgb16_raw, npix);
    } catch (const std::system_error&) {
      // No thread to be had: the parts before parse past these.
      for (int k = i; k < nparts; ++k) close_record(parts[k]);
      break;
    }
  }
  parse_part(parts.data(), nparts, 0, rgb16_raw, npix);  // if it throws, the threads are joined on the way out
  threads.join();

  // The streams used, each from where the stream before meets it to its end.
  // A moved vector keeps its bytes where they are, so the pieces stay valid.
  SegmentPieces out;
  int32_t code_from = 0, data_from = 0;
  for (int i = 0;; i = parts[i].next) {
    TokenWriter& w = parts[i].w;
    out.code.emplace_back(w.seg.code_seg.data() + code_from, w.at.code_ptr);
    out.data.emplace_back(w.seg.data_seg.data() + data_from, w.at.data_ptr);
    out.buffers.push_back(std::move(w.seg));
    if (parts[i].next == 0) break;
    const TokenStart& from = parts[parts[i].next].starts[parts[i].next_at];
    code_from = from.code_off;
    data_from = from.data_off;
  }
  return out;
}

size_t byte_count(const Pieces& pieces) {
  size_t n = 0;
  for (std::span<const uint8_t> piece : pieces) n += piece.size();
  return n;
}

namespace {

// The pieces appended to the bytes that start seg, which the first piece is.
void join_pieces(SegmentBytes& seg, const Pieces& pieces) {
  seg.resize(pieces.front().size());
  for (size_t k = 1; k < pieces.size(); ++k) seg.insert(seg.end(), pieces[k].begin(), pieces[k].end());
}

}  // namespace

Segments join(SegmentPieces&& pieces) {
  // The first part's buffers were sized for the whole image and its pieces
  // start them, so appending the rest never moves them.
  Segments seg = std::move(pieces.buffers.front());
  join_pieces(seg.code_seg, pieces.code);
  join_pieces(seg.data_seg, pieces.data);
  return seg;
}

int usable_cores() {
  if (!threads_available) return 1;
#if defined(__linux__)
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

SegmentPieces encode_pieces(const uint16_t* rgb16_raw, int32_t npix) {
  // Smaller stretches gain less than a thread and a primed finder cost.
  constexpr int32_t min_part_pixels = 1 << 17;
  return encode_parts(rgb16_raw, npix, std::min(usable_cores(), npix / min_part_pixels));
}

Segments encode(const uint16_t* rgb16_raw, int32_t npix) { return join(encode_pieces(rgb16_raw, npix)); }

}  // namespace lz16
