// Exact fast match finder.
//
// The encoder needs, at each position p, the longest run (capped at
// max_run and at the image's last pixel) over all distances 1..window, and
// the smallest distance among equally long runs: exactly what the
// exhaustive search returns. Only runs of min_run or more matter, since
// shorter ones become literals.
//
// Three hash chains index every earlier position by its first 2, 4 and 8
// words. Each chain links positions with the same hash, newest first, in a
// ring of 2048 links that covers the window. Every run of 8 or more words
// lies on the 8-word chain of p, so when that chain holds one, walking it
// nearest-first and keeping only strictly longer runs gives the exact
// answer. Otherwise the longest run is below 8 and the 4-word chain is
// exact for it, and then the 2-word chain. No candidate is ever skipped:
// chains are walked to the window's edge unless the run reaches its cap.
//
// Before any chain, distance 1 is tried on its own: in flat areas it
// reaches the cap at once, and as the smallest distance it can never be
// beaten by an equal run.
//
// A step budget bounds the chain walks. Past it, the search switches to a
// vectorised scan over all distances, exact as well and still cheaper than
// the exhaustive search, so no input is slower than that.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "encoder.h"

namespace lz16 {

inline constexpr int hash_bits = 16;  // per chain; more bits = fewer false candidates, more cache
inline constexpr int chain_ring = 2048;
static_assert(chain_ring > window, "a chain's ring must cover the whole window");

struct HashChain {
  std::vector<int32_t> head;             // hash -> newest position, or no_position
  std::array<int32_t, chain_ring> prev;  // position % chain_ring -> next older position
};

// Chains by the number of words they index, longest first.
inline constexpr int chain_words[] = {8, 4, 3, 2};
constexpr int level_of(int k) { return k == 8 ? 0 : k == 4 ? 1 : k == 3 ? 2 : 3; }

struct MatchFinder {
  const uint16_t* words;
  int32_t npix;
  int32_t inserted;  // positions below this are on the chains
  HashChain chains[std::size(chain_words)];
};

// Prepares a finder over npix words. The words must stay in place while the
// finder is used. May throw std::bad_alloc.
void match_finder_init(MatchFinder& mf, const uint16_t* words, int32_t npix);

// The match at p, with p increasing from call to call (0 <= p < npix):
// {count, dist} with count >= min_run, identical to find_match_exhaustive,
// or {0, 0} where that search finds no run of min_run.
Match match_finder_find(MatchFinder& mf, int32_t p);

// The exact match at p by a vectorised scan over every distance; the
// finder's fallback, callable on its own. Same contract as above.
Match find_match_scan(const uint16_t* words, int32_t npix, int32_t p);

}  // namespace lz16
