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
// 2048 links that covers the window. Every position is put on its chains
// before it is searched, so the link stored for p is where the walk for p
// starts: the lookup costs nothing beyond the insertion.
//
// The search walks the chains from the longest down. Every run of k words
// or more lies on p's k-word chain, so the first chain that holds one has
// the answer: walked nearest-first, keeping only strictly longer runs, it
// gives the longest run at the smallest distance. A chain below one that
// held nothing cannot hold a run reaching that chain's k, which caps the
// walk: the 3- and 2-word chains end at their first true hit.
//
// Distance 1 is measured before any chain: in flat areas it reaches the
// cap at once, and the interiors of long flat runs stay off the chains. A step budget bounds the chain walks; past it the search
// switches to a vectorised scan over all distances, exact as well and
// cheaper than the exhaustive search, so no input is slower than that.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "encoder.h"

namespace lz16 {

inline constexpr int hash_bits = 16;  // per chain; more bits = fewer false candidates, more cache
inline constexpr int chain_ring = 2048;
static_assert(chain_ring > window, "a chain's ring must cover the whole window");

struct HashChain {
  std::vector<int32_t> head;             // hash -> newest position, or far below any window
  std::array<int32_t, chain_ring> prev;  // position % chain_ring -> next older position
};

struct MatchFinder {
  const uint16_t* words;
  int32_t npix;
  HashChain chain8, chain4, chain3, chain2;  // by the number of words hashed
};

// Hash of the k words at w, hash_bits wide. Reads exactly k words.
template <int k>
inline uint32_t hash_words(const uint16_t* w) {
  uint64_t v = 0;
  if constexpr (k == 3) {
    v = w[0] | uint64_t{w[1]} << 16 | uint64_t{w[2]} << 32;
  } else if constexpr (k == 8) {
    uint64_t hi;
    std::memcpy(&v, w, sizeof v);
    std::memcpy(&hi, w + 4, sizeof hi);
    v ^= hi * 0xC2B2AE3D27D4EB4Full;
  } else {
    static_assert(k == 2 || k == 4);
    std::memcpy(&v, w, 2 * k);
  }
  return static_cast<uint32_t>((v * 0x9E3779B97F4A7C15ull) >> (64 - hash_bits));
}

inline constexpr int wide_words = 16;  // words compared at once by run_length

// Number of equal words from a and b onward, at most m (m <= max_run).
// wide: wide_words words are readable from both.
inline int32_t run_length(const uint16_t* a, const uint16_t* b, int32_t m, bool wide) {
#if defined(__SSE2__)
  if (wide) {
    const __m128i* va = reinterpret_cast<const __m128i*>(a);
    const __m128i* vb = reinterpret_cast<const __m128i*>(b);
    const __m128i eq0 = _mm_cmpeq_epi16(_mm_loadu_si128(va), _mm_loadu_si128(vb));
    const __m128i eq1 = _mm_cmpeq_epi16(_mm_loadu_si128(va + 1), _mm_loadu_si128(vb + 1));
    const unsigned equal = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(eq0, eq1)));  // bit k: word k
    return std::min<int32_t>(__builtin_ctz(~equal), m);
  }
#else
  (void)wide;
#endif
  int32_t j = 0;
  while (j < m && a[j] == b[j]) ++j;
  return j;
}

template <int k>
inline void chain_insert(HashChain& chain, const uint16_t* words, int32_t q) {
  int32_t& head = chain.head[hash_words<k>(words + q)];
  chain.prev[static_cast<uint32_t>(q) % chain_ring] = head;
  head = q;
}

// Prepares a finder over npix words. The words must stay in place while the
// finder is used. May throw std::bad_alloc.
void match_finder_init(MatchFinder& mf, const uint16_t* words, int32_t npix);

// Puts position q on the chains its words reach.
inline void match_finder_insert(MatchFinder& mf, int32_t q) {
  const int32_t room = mf.npix - q;
  if (room >= 8) chain_insert<8>(mf.chain8, mf.words, q);
  if (room >= 4) chain_insert<4>(mf.chain4, mf.words, q);
  if (room >= 3) chain_insert<3>(mf.chain3, mf.words, q);
  if (room >= 2) chain_insert<2>(mf.chain2, mf.words, q);
}

// Inserts the positions after p that the code m found at p covers.
//
// A position that starts 17 or more equal words is left out, here and in
// match_finder_next: the position 16 words before the end of that run
// matches any later position exactly as far, capped at max_run, and is
// nearer. So long flat areas cost a comparison per 16 positions, not four
// insertions per position. Positions inside a code are never searched, so
// their own links are not needed.
inline void match_finder_skip(MatchFinder& mf, int32_t p, Match m) {
  const int32_t end = p + m.count;
  int32_t q = p + 1;
  if (m.dist == 1) {
    // Words p - 1 .. end - 1 are equal; count how many after them still are.
    const int32_t room = std::min(max_run + 1, mf.npix - end);
    const int32_t ahead = run_length(mf.words + end, mf.words + end - 1, room, end + wide_words <= mf.npix);
    q = std::max(q, end + ahead - (max_run + 1));
  }
  for (; q < end; ++q) match_finder_insert(mf, q);
}

// Puts p on the chains and returns the match at p: {count, dist} with
// count >= min_run, identical to find_match_exhaustive, or {0, 0} where
// that search finds no run of min_run. Positions are visited in order:
// each either here or, inside a code, by match_finder_skip.
Match match_finder_next(MatchFinder& mf, int32_t p);

// The exact match at p by a vectorised scan over every distance; the
// finder's fallback, callable on its own. Same result as above.
Match find_match_scan(const uint16_t* words, int32_t npix, int32_t p);

}  // namespace lz16
