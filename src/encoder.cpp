#include "encoder.h"

#include <algorithm>

#include "match_finder.h"

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

// Write cursors over the two segments and the segment the stream is in.
// Both segments are sized for the worst case before encoding starts: a code
// covers two pixels or more and neither the first nor the last pixel, so the
// code segment needs at most npix bytes; literals need 2 bytes per pixel.
struct TokenWriter {
  Segments seg;
  uint8_t* code_ptr;
  uint8_t* data_ptr;
  bool in_data = true;
};

TokenWriter start_tokens(int32_t npix) {
  TokenWriter w;
  w.seg.code_seg.resize(static_cast<size_t>(npix));
  w.seg.data_seg.resize(2 * static_cast<size_t>(npix));
  w.code_ptr = w.seg.code_seg.data();
  w.data_ptr = w.seg.data_seg.data();
  return w;
}

void emit_code(TokenWriter& w, Match m) {
  w.code_ptr[0] = static_cast<uint8_t>(m.count << 4 | ((m.dist >> 8) & 7));
  w.code_ptr[1] = static_cast<uint8_t>(m.dist & 0xFF);
  w.code_ptr += 2;
  if (w.in_data) {
    w.data_ptr[-2] |= literal_switch;
    w.in_data = false;
  }
}

void emit_literal(TokenWriter& w, uint16_t word) {
  word &= static_cast<uint16_t>(~word_free_bit);  // the bit belongs to the stream
  w.data_ptr[0] = static_cast<uint8_t>(word & 0xFF);
  w.data_ptr[1] = static_cast<uint8_t>(word >> 8);
  w.data_ptr += 2;
  if (!w.in_data) {
    w.code_ptr[-2] |= code_switch;
    w.in_data = true;
  }
}

Segments finish_tokens(TokenWriter& w) {
  // The last literal ends the stream. An image with no pixel has none.
  if (w.data_ptr != w.seg.data_seg.data()) w.data_ptr[-2] |= literal_switch;
  w.seg.code_seg.resize(static_cast<size_t>(w.code_ptr - w.seg.code_seg.data()));
  w.seg.data_seg.resize(static_cast<size_t>(w.data_ptr - w.seg.data_seg.data()));
  return std::move(w.seg);
}

// The greedy loop: a code for every run of min_run or more, else a literal.
template <typename Find>
Segments encode_with(const uint16_t* rgb16_raw, int32_t npix, Find find) {
  TokenWriter w = start_tokens(npix);
  for (int32_t p = 0; p < npix;) {
    const Match m = find(p);
    if (m.count >= min_run) {
      emit_code(w, m);
      p += m.count;
    } else {
      emit_literal(w, rgb16_raw[p]);
      p += 1;
    }
  }
  return finish_tokens(w);
}

}  // namespace

Segments encode_exhaustive(const uint16_t* rgb16_raw, int32_t npix) {
  return encode_with(rgb16_raw, npix, [&](int32_t p) { return find_match_exhaustive(rgb16_raw, npix, p); });
}

Segments encode(const uint16_t* rgb16_raw, int32_t npix) {
  MatchFinder mf;
  match_finder_init(mf, rgb16_raw, npix);
  return encode_with(rgb16_raw, npix, [&](int32_t p) { return match_finder_next(mf, p); });
}

}  // namespace lz16
