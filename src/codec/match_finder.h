// Exact fast match finder.
//
// The encoder needs, at each position p, the longest run (capped at
// max_run and at the image's last pixel) over all distances 1..window, and
// the smallest distance among equally long runs: exactly what the
// exhaustive search returns. Only runs of min_run or more matter, since
// shorter ones become literals.
//
// Hash chains index every position by its first 8, 4, 3 and 2 words. A
// chain links positions with the same hash, newest first, in a ring of
// links that covers the window. Positions are inserted in batches a little
// ahead of the search; a search starts from p's own links, which lead only
// to older positions, so it never sees a position at or after p.
//
// The search asks the chains from the shortest up. Every position whose
// first k words equal p's lies on p's k-word chain, so that chain's nearest
// true entry (past hash collisions) is the nearest such position anywhere.
// The first chain without one caps the run below its k: a 2-word hit with
// no 3-word one is a run of exactly 2 at that distance, and so for 3. Runs
// of 4 or more walk the 8-word chain when it has a true entry, else the
// 4-word chain (capped at 7), nearest first, keeping only strictly longer
// runs: that is the longest run at the smallest distance.
//
// Distance 1 is measured before any chain: in flat areas it reaches the
// cap at once. A position that starts 17 equal words (and continues a run)
// stays off the chains: the position 16 words before the end of that run
// matches any later position exactly as far, capped at max_run, and is
// nearer. So long flat areas cost almost nothing.
//
// A step budget bounds the chain walks; past it the search switches to a
// vectorised scan over all distances, exact as well and cheaper than the
// exhaustive search, so no input is slower than that.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encoder.h"

namespace lz16 {

inline constexpr int hash_bits = 16;       // per chain; more bits = fewer false candidates, more cache
inline constexpr int32_t insert_ahead = 16;  // positions inserted before they are searched
inline constexpr int32_t insert_block = 16;  // positions inserted at once, so up to insert_ahead + 15 ahead
inline constexpr int chain_ring = 4096;
static_assert(chain_ring > window + insert_ahead + insert_block - 1,
              "a chain's ring must cover the window and the positions ahead");

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

struct HashChain {
  // hash -> newest position + head_bias; a zero (never written) reads as
  // a position below every window. The table comes zeroed from the
  // system, so the parts a picture never hashes to cost no memory.
  std::unique_ptr<int32_t[], FreeDeleter> head;
  std::array<int32_t, chain_ring> prev;  // position % chain_ring -> next older position
};
inline constexpr int32_t head_bias = window + 2;

struct MatchFinder {
  const uint16_t* words;
  int32_t npix;
  int32_t next_insert;  // positions below this are on the chains, or left off
  HashChain chain8, chain4, chain3, chain2;  // by the number of words hashed
};

// Prepares a finder over npix words whose first search is at start or
// later. The words must stay in place while the finder is used. Throws
// std::bad_alloc when memory runs out.
void match_finder_init(MatchFinder& mf, const uint16_t* words, int32_t npix, int32_t start = 0);

// Helpers of the inline part below.

inline constexpr int wide_words = 16;  // words compared at once by run_length

#if defined(__SSE2__)
// Bit k set where word k at a equals word k at b, for the wide_words words
// from each.
inline unsigned equal_words(const uint16_t* a, const uint16_t* b) {
  const __m128i* va = reinterpret_cast<const __m128i*>(a);
  const __m128i* vb = reinterpret_cast<const __m128i*>(b);
  const __m128i eq0 = _mm_cmpeq_epi16(_mm_loadu_si128(va), _mm_loadu_si128(vb));
  const __m128i eq1 = _mm_cmpeq_epi16(_mm_loadu_si128(va + 1), _mm_loadu_si128(vb + 1));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(eq0, eq1)));
}
#endif

// Number of equal words from a and b onward, at most m (m <= wide_words).
// wide: wide_words words are readable from both.
inline int32_t run_length(const uint16_t* a, const uint16_t* b, int32_t m, bool wide) {
#if defined(__SSE2__)
  if (wide) return std::min<int32_t>(__builtin_ctz(~equal_words(a, b)), m);
#else
  (void)wide;
#endif
  int32_t j = 0;
  while (j < m && a[j] == b[j]) ++j;
  return j;
}

// Whether the first m words at a and b are equal (m <= wide_words); wide
// as for run_length. Tested by mask, not by counting: a caller that then
// returns m does not wait for the words to arrive, so in flat areas the
// next search can start while this one's loads are still in flight.
inline bool same_run(const uint16_t* a, const uint16_t* b, int32_t m, [[maybe_unused]] bool wide) {
#if defined(__SSE2__)
  if (wide) {
    const unsigned want = (1u << m) - 1;
    return (equal_words(a, b) & want) == want;
  }
#endif
  return run_length(a, b, m, false) == m;
}

// The search proper of match_finder_next, for a p whose cap m (min_run or
// more) distance 1 does not reach; wide as for run_length at p.
Match match_finder_search(MatchFinder& mf, int32_t p, int32_t m, bool wide);

// Puts p on the chains (with the positions just after it) and returns the
// match at p: {count, dist} with count >= min_run, identical to
// find_match_exhaustive, or {0, 0} where that search finds no run of
// min_run. p increases from call to call.
inline Match match_finder_next(MatchFinder& mf, int32_t p) {
  const int32_t m = std::min(max_run, mf.npix - 1 - p);
  if (m < min_run || p == 0) return {0, 0};
  const uint16_t* w = mf.words;
  const bool wide = p + wide_words <= mf.npix;
  if (same_run(w + p, w + p - 1, m, wide)) return {m, 1};  // flat
  return match_finder_search(mf, p, m, wide);
}

// The exact match at p by a vectorised scan over every distance; the
// finder's fallback, callable on its own. Same result as above.
Match find_match_scan(const uint16_t* words, int32_t npix, int32_t p);

}  // namespace lz16
