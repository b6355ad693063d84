#include "match_finder.h"

#include <algorithm>
#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lz16 {

namespace {

// Chain steps per position before the scan takes over. A step costs far
// less than the scan's pass over all 2047 distances, so the budget is high:
// lower, pictures with many similar runs (text, icons) fall to the scan.
constexpr int step_budget = 1024;

constexpr uint64_t hash_mul = 0x9E3779B97F4A7C15ull;

// Hash of the first k of the four words in first4 (k <= 4): shifted to
// the top, the words after them drop out.
template <int k>
uint32_t hash_first(uint64_t first4) {
  return static_cast<uint32_t>(((first4 << (64 - 16 * k)) * hash_mul) >> (64 - hash_bits));
}

uint32_t hash8(uint64_t first4, uint64_t next4) {
  return static_cast<uint32_t>(((first4 ^ next4 * 0xC2B2AE3D27D4EB4Full) * hash_mul) >> (64 - hash_bits));
}

// The four words at w as one value, the first in the low bits.
uint64_t four_words(const uint16_t* w) {
  uint64_t v;
  std::memcpy(&v, w, sizeof v);
  return v;
}

// Hash of the k words at w. Reads exactly k words.
template <int k>
uint32_t hash_words(const uint16_t* w) {
  if constexpr (k == 8) {
    return hash8(four_words(w), four_words(w + 4));
  } else {
    uint64_t first4 = 0;
    for (int i = 0; i < k; ++i) first4 |= uint64_t{w[i]} << 16 * i;
    return hash_first<k>(first4);
  }
}

// Makes q the newest position of its hash; slot is its place in the ring.
void link(int32_t* head, int32_t* prev, uint32_t hash, uint32_t slot, int32_t q) {
  prev[slot] = head[hash] - head_bias;
  head[hash] = q + head_bias;
}

template <int k>
void chain_insert(HashChain& chain, const uint16_t* words, int32_t q) {
  link(chain.head.get(), chain.prev.data(), hash_words<k>(words + q), static_cast<uint32_t>(q) % chain_ring, q);
}

void insert_position(MatchFinder& mf, int32_t q) {
  const int32_t room = mf.npix - q;
  if (room >= 8) chain_insert<8>(mf.chain8, mf.words, q);
  if (room >= 4) chain_insert<4>(mf.chain4, mf.words, q);
  if (room >= 3) chain_insert<3>(mf.chain3, mf.words, q);
  if (room >= 2) chain_insert<2>(mf.chain2, mf.words, q);
}

// First position at or after from whose word is not v.
int32_t end_of_run(const uint16_t* w, int32_t npix, int32_t from, uint16_t v) {
#if defined(__SSE2__)
  const __m128i want = _mm_set1_epi16(static_cast<short>(v));
  for (; from + 8 <= npix; from += 8) {
    const __m128i got = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + from));
    const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(got, want)));
    if (equal != 0xFFFF) return from + __builtin_ctz(~equal) / 2;
  }
#endif
  while (from < npix && w[from] == v) ++from;
  return from;
}

// A position that starts this many equal words and continues a run stays
// off the chains: the position max_run + 1 words before the run's end
// matches as far and is nearer.
constexpr int32_t flat_words = max_run + 2;
static_assert(flat_words == wide_words + 1, "one wide comparison of neighbours tests a flat start");

static_assert(insert_block == 16, "any_left_off and insert_16 take 16 positions at a time");

// Whether any of the 16 positions from q starts 17 equal words and
// continues a run, that is, has 17 set bits from its own in e, bit i of
// which says whether w[q + i] equals the word before it. Reads w[q - 1] to
// w[q + 31].
bool any_left_off(const uint16_t* w, int32_t q) {
  uint32_t e = 0;
#if defined(__SSE2__)
  for (int32_t half = 0; half < 32; half += 16) e |= equal_words(w + q + half, w + q + half - 1) << half;
#else
  for (int32_t i = 0; i < 32; ++i) e |= uint32_t{w[q + i] == w[q + i - 1]} << i;
#endif
  uint32_t sixteen = e & e >> 1;  // bit i: bits i to i + 15 of e all set
  sixteen &= sixteen >> 2;
  sixteen &= sixteen >> 4;
  sixteen &= sixteen >> 8;
  return (sixteen & e >> 16 & 0xFFFF) != 0;
}

// Puts the 16 positions from q on every chain. The caller guarantees
// q + 16 + 8 <= npix.
void insert_16(MatchFinder& mf, int32_t q) {
  const uint16_t* w = mf.words;
  int32_t* const head8 = mf.chain8.head.get();
  int32_t* const head4 = mf.chain4.head.get();
  int32_t* const head3 = mf.chain3.head.get();
  int32_t* const head2 = mf.chain2.head.get();
  int32_t* const prev8 = mf.chain8.prev.data();
  int32_t* const prev4 = mf.chain4.prev.data();
  int32_t* const prev3 = mf.chain3.prev.data();
  int32_t* const prev2 = mf.chain2.prev.data();
  for (const int32_t end = q + 16; q < end; ++q) {
    const uint64_t first4 = four_words(w + q);
    const uint32_t slot = static_cast<uint32_t>(q) % chain_ring;
    link(head8, prev8, hash8(first4, four_words(w + q + 4)), slot, q);
    link(head4, prev4, hash_first<4>(first4), slot, q);
    link(head3, prev3, hash_first<3>(first4), slot, q);
    link(head2, prev2, hash_first<2>(first4), slot, q);
  }
}

// Puts the positions up to last on the chains, but for those that start 17
// equal words and continue a run: they are skipped to 16 before the run's
// end, the first position that is not.
void insert_through(MatchFinder& mf, int32_t last) {
  const uint16_t* w = mf.words;
  const int32_t stop = std::min(last + 1, mf.npix);
  int32_t q = mf.next_insert;
  // Sixteen at a time while none of them is left off, the usual case.
  for (; q < stop && q > 0 && q + 32 <= mf.npix && !any_left_off(w, q); q += insert_block)
    insert_16(mf, q);
  for (; q < stop; ++q) {
    // The 16-word comparison first: in busy images it fails predictably,
    // where a test of two neighbouring words would be a coin toss.
    if (q + flat_words <= mf.npix && same_run(w + q + 1, w + q, wide_words, true) && q > 0 &&
        w[q] == w[q - 1]) {
      q = end_of_run(w, mf.npix, q + flat_words, w[q]) - flat_words;
      continue;
    }
    insert_position(mf, q);
  }
  mf.next_insert = q;
}

int32_t next_link(const HashChain& chain, int32_t q) { return chain.prev[static_cast<uint32_t>(q) % chain_ring]; }

// Whether the first k words at a and b are equal.
template <int k>
bool same_words(const uint16_t* a, const uint16_t* b) {
  static_assert(k == 2 || k == 3 || k == 4 || k == 8);
  if constexpr (k == 3) return same_words<2>(a, b) && a[2] == b[2];
  if constexpr (k == 8) return same_words<4>(a, b) && same_words<4>(a + 4, b + 4);
  return std::memcmp(a, b, 2 * k) == 0;
}

// The nearest position in p's window whose first k words equal p's, found
// on p's k-word chain past any hash collisions; below the window if none.
template <int k>
int32_t nearest_run(const HashChain& chain, const uint16_t* w, int32_t p) {
  int32_t q = next_link(chain, p);
  while (q >= p - window && !same_words<k>(w + p, w + q)) q = next_link(chain, q);
  return q;
}

// Walks a chain on from the candidate that gave best, nearest first, for a
// strictly longer run up to cap. Returns false when the step budget ran
// out before the walk was done.
bool walk_chain(const HashChain& chain, const uint16_t* w, int32_t p, int32_t cap, bool wide, Match& best) {
  int budget = step_budget;
  for (int32_t q = next_link(chain, p - best.dist); q >= p - window; q = next_link(chain, q)) {
    if (--budget < 0) return false;
    // Every candidate is measured in full and kept without a branch: a
    // test of one word first would be a coin toss where runs abound.
    const int32_t j = run_length(w + p, w + q, cap, wide);
    const bool longer = j > best.count;
    best.count = longer ? j : best.count;
    best.dist = longer ? p - q : best.dist;
    if (j == cap) break;
  }
  return true;
}

}  // namespace

void match_finder_init(MatchFinder& mf, const uint16_t* words, int32_t npix, int32_t start) {
  mf.words = words;
  mf.npix = npix;
  // Whether a position goes on the chains depends only on the words around
  // it, so starting with the window before start gives the chains the
  // search would have had after every position before it.
  mf.next_insert = std::max(0, start - window);
  for (HashChain* c : {&mf.chain8, &mf.chain4, &mf.chain3, &mf.chain2}) {
    c->head.reset(static_cast<int32_t*>(std::calloc(size_t{1} << hash_bits, sizeof(int32_t))));
    if (!c->head) throw std::bad_alloc();
    c->prev.fill(-head_bias);  // as a head never written: below every window
  }
}

Match match_finder_search(MatchFinder& mf, int32_t p, int32_t m, bool wide) {
  const uint16_t* w = mf.words;

  // The chains are searched from p's own links, which lead only to older
  // positions, so inserting ahead of p is safe; the next search that needs
  // the chains inserts whatever a flat stretch left out.
  insert_through(mf, p + insert_ahead);

  // From the shortest chain up: each holds a run of its k words exactly
  // when some position in the window does, and its nearest such position
  // is the nearest one anywhere. The first chain with none caps the run
  // below its k. Most positions of busy images stop at the 2-word chain.
  const int32_t q2 = nearest_run<2>(mf.chain2, w, p);
  if (q2 < p - window) return {0, 0};
  if (m == 2) return {2, p - q2};
  const int32_t q3 = nearest_run<3>(mf.chain3, w, p);
  if (q3 < p - window) return {2, p - q2};
  if (m == 3) return {3, p - q3};
  const int32_t q4 = nearest_run<4>(mf.chain4, w, p);
  if (q4 < p - window) return {3, p - q3};

  // Runs of 4 or more: the longest lies on the 8-word chain if it has 8
  // words, else on the 4-word chain, capped at 7. Either is walked from
  // its nearest true candidate for a strictly longer run.
  const int32_t q8 = m >= 8 ? nearest_run<8>(mf.chain8, w, p) : p - window - 1;
  const bool eight = q8 >= p - window;
  const int32_t from = eight ? q8 : q4;
  const int32_t cap = eight || m < 8 ? m : 7;
  Match best{run_length(w + p, w + from, cap, wide), p - from};
  if (best.count < cap && !walk_chain(eight ? mf.chain8 : mf.chain4, w, p, cap, wide, best))
    return find_match_scan(w, mf.npix, p);
  return best;
}

Match find_match_scan(const uint16_t* w, int32_t npix, int32_t p) {
  const int32_t m = std::min(max_run, npix - 1 - p);
  if (m < min_run || p == 0) return {0, 0};
  const int32_t last = std::min(p, window);
  Match best{min_run - 1, 0};
  int32_t d = 1;
#if defined(__SSE2__)
  // Eight distances at a time: lane i of a block holds distance d + 7 - i,
  // so the highest lane is the nearest. A lane's run counts the words
  // compared before its first difference.
  __m128i target[max_run];
  for (int32_t j = 0; j < m; ++j) target[j] = _mm_set1_epi16(static_cast<short>(w[p + j]));
  for (; d + 7 <= last; d += 8) {
    const __m128i* base = reinterpret_cast<const __m128i*>(w + p - d - 7);
    __m128i alive = _mm_cmpeq_epi16(_mm_loadu_si128(base), target[0]);
    if (_mm_movemask_epi8(alive) == 0) continue;
    __m128i run = _mm_sub_epi16(_mm_setzero_si128(), alive);
    for (int32_t j = 1; j < m; ++j) {
      const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + p - d - 7 + j));
      alive = _mm_and_si128(alive, _mm_cmpeq_epi16(next, target[j]));
      if (_mm_movemask_epi8(alive) == 0) break;
      run = _mm_sub_epi16(run, alive);
    }
    __m128i top = _mm_max_epi16(run, _mm_shuffle_epi32(run, 0x4E));
    top = _mm_max_epi16(top, _mm_shuffle_epi32(top, 0xB1));
    top = _mm_max_epi16(top, _mm_shufflelo_epi16(top, 0xB1));
    const int32_t block_best = _mm_extract_epi16(top, 0);
    if (block_best > best.count) {
      const unsigned at_best = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi16(run, _mm_set1_epi16(static_cast<short>(block_best)))));
      const int lane = (31 - __builtin_clz(at_best)) / 2;
      best = {block_best, d + 7 - lane};
      if (block_best == m) return best;
    }
  }
#endif
  for (; d <= last; ++d) {
    const int32_t j = run_length(w + p, w + p - d, m, false);
    if (j > best.count) {
      best = {j, d};
      if (j == m) return best;
    }
  }
  return best.count >= min_run ? best : Match{0, 0};
}

}  // namespace lz16
