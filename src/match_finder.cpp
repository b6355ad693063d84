#include "match_finder.h"

#include <algorithm>
#include <climits>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace lz16 {

namespace {

constexpr int32_t no_position = INT32_MIN / 2;  // below every window's start
constexpr int step_budget = 64;  // chain candidates per position before the scan takes over

// Walks one chain nearest first for a run longer than best, up to cap.
// Returns false when the step budget ran out before the walk was done.
bool walk_chain(const HashChain& chain, const uint16_t* w, int32_t p, int32_t cap, bool wide, int& budget,
                Match& best) {
  const int32_t oldest = p - window;
  for (int32_t q = chain.prev[static_cast<uint32_t>(p) % chain_ring]; q >= oldest; q = chain.prev[static_cast<uint32_t>(q) % chain_ring]) {
    if (q == p - 1) continue;  // measured before any chain
    if (--budget < 0) return false;
    if (w[q + best.count] != w[p + best.count]) continue;  // cannot be longer than best
    const int32_t j = run_length(w + p, w + q, cap, wide);
    if (j > best.count) {
      best = {j, p - q};
      if (j == cap) break;
    }
  }
  return true;
}

enum class Stage { found, none, over_budget };

// One stage: the nearest longest run of at least k on p's k-word chain.
// Its cap is the previous stage's k - 1 when that stage ran and found
// nothing, since any longer run would lie on that stage's chain.
Stage search_stage(const HashChain& chain, int32_t k, const uint16_t* w, int32_t p, int32_t m, int32_t run1,
                   int32_t previous_k, bool wide, int& budget, Match& best) {
  const int32_t cap = m >= previous_k ? previous_k - 1 : m;
  best = run1 >= k ? Match{run1, 1} : Match{k - 1, 0};
  if (best.count < cap && !walk_chain(chain, w, p, cap, wide, budget, best)) return Stage::over_budget;
  return best.count >= k ? Stage::found : Stage::none;
}

}  // namespace

void match_finder_init(MatchFinder& mf, const uint16_t* words, int32_t npix) {
  mf.words = words;
  mf.npix = npix;
  for (HashChain* c : {&mf.chain8, &mf.chain4, &mf.chain3, &mf.chain2}) {
    c->head.assign(size_t{1} << hash_bits, no_position);
    c->prev.fill(no_position);
  }
}

Match match_finder_next(MatchFinder& mf, int32_t p) {
  const int32_t m = std::min(max_run, mf.npix - 1 - p);
  const uint16_t* w = mf.words;
  const bool wide = p + wide_words <= mf.npix;
  const int32_t run1 = p > 0 && w[p] == w[p - 1] ? run_length(w + p, w + p - 1, m, wide) : 0;
  if (run1 == m && m >= min_run) {
    // Flat: distance 1 reaches the cap. p goes on the chains unless it
    // starts 17 equal words (see match_finder_skip).
    const bool dominated = p + max_run + 2 <= mf.npix && run_length(w + p + 1, w + p, wide_words, true) == wide_words;
    if (!dominated) match_finder_insert(mf, p);
    return {m, 1};
  }
  match_finder_insert(mf, p);
  if (m < min_run || p == 0) return {0, 0};

  // Most positions of busy images share their first two words with no
  // earlier position in the window, which p's own 2-word link tells: then
  // only distance 1 could have given a run.
  int32_t nearest = mf.chain2.prev[static_cast<uint32_t>(p) % chain_ring];
  while (nearest >= p - window && (nearest == p - 1 || w[nearest] != w[p] || w[nearest + 1] != w[p + 1]))
    nearest = mf.chain2.prev[static_cast<uint32_t>(nearest) % chain_ring];
  if (nearest < p - window) return run1 >= min_run ? Match{run1, 1} : Match{0, 0};

  // Stages from the longest chain down: the first that finds a run of at
  // least its k has the answer. Past the step budget the scan takes over.
  int budget = step_budget;
  Match best{0, 0};
  Stage stage = Stage::none;
  if (m >= 8) stage = search_stage(mf.chain8, 8, w, p, m, run1, max_run + 1, wide, budget, best);
  if (stage == Stage::none && m >= 4) stage = search_stage(mf.chain4, 4, w, p, m, run1, 8, wide, budget, best);
  if (stage == Stage::none && m >= 3) stage = search_stage(mf.chain3, 3, w, p, m, run1, 4, wide, budget, best);
  if (stage == Stage::none) stage = search_stage(mf.chain2, 2, w, p, m, run1, 3, wide, budget, best);
  if (stage == Stage::over_budget) return find_match_scan(w, mf.npix, p);
  return stage == Stage::found ? best : Match{0, 0};
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
