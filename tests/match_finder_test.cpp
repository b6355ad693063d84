// The fast search must agree with the exhaustive one wherever a code results.
#include <gtest/gtest.h>

#include <random>

#include "helpers.h"
#include "match_finder.h"
#include "synth.h"

namespace lz16 {
namespace {

// Where both fast searches first differ from the exhaustive one, or "".
std::string first_difference(const std::vector<uint16_t>& words) {
  const int32_t npix = static_cast<int32_t>(words.size());
  MatchFinder mf;
  match_finder_init(mf, words.data(), npix);
  for (int32_t p = 0; p < npix; ++p) {
    Match want = find_match_exhaustive(words.data(), npix, p);
    if (want.count < min_run) want = {0, 0};
    const Match fast = match_finder_next(mf, p), scan = find_match_scan(words.data(), npix, p);
    if (fast.count != want.count || fast.dist != want.dist || scan.count != want.count || scan.dist != want.dist)
      return "at " + std::to_string(p) + ": exhaustive " + std::to_string(want.count) + "@" + std::to_string(want.dist);
  }
  return "";
}

std::vector<uint16_t> random_words(size_t n, unsigned alphabet, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint16_t> w(n);
  for (auto& x : w) x = static_cast<uint16_t>((rng() % alphabet) << 6);
  return w;
}

TEST(MatchFinder, AgreesWithTheExhaustiveSearch) {
  std::vector<std::pair<std::string, std::vector<uint16_t>>> cases;
  for (auto kind : synth::kinds)
    for (auto [width, height] : {std::pair{181, 181}, {64, 512}})
      cases.emplace_back(std::string(kind) + " " + std::to_string(width) + "x" + std::to_string(height),
                         test::words_of(synth::make_rgb24(kind, width, height, 7)));
  // Few distinct words make long chains, frequent ties and budget overruns.
  for (unsigned alphabet : {1u, 2u, 3u, 5u, 17u, 4096u})
    cases.emplace_back("alphabet " + std::to_string(alphabet), random_words(12000, alphabet, alphabet));
  // Runs of n equal words, then a new word: runs around 8 and the cap.
  for (int n : {7, 8, 9, 13, 14, 15, 16, 17, 31}) {
    std::vector<uint16_t> w;
    for (int k = 0; w.size() < 9000; ++k) {
      w.insert(w.end(), static_cast<size_t>(n), static_cast<uint16_t>(((k % 5) + 1) << 6));
      w.push_back(static_cast<uint16_t>(k << 6));
    }
    cases.emplace_back("runs of " + std::to_string(n), w);
  }
  // Rows repeating with a period around the window, with rare changes.
  std::mt19937 rng(3);
  for (int period : {2045, 2046, 2047, 2048, 2049}) {
    std::vector<uint16_t> row = random_words(static_cast<size_t>(period), 60000, static_cast<unsigned>(period)), w;
    for (int k = 0; k < 4 * period; ++k) {
      if (rng() % 97 == 0) row[k % period] = static_cast<uint16_t>(rng() << 6);
      w.push_back(row[k % period]);
    }
    cases.emplace_back("period " + std::to_string(period), w);
  }
  for (const auto& [what, words] : cases) {
    EXPECT_EQ(first_difference(words), "") << what;
    const int32_t npix = static_cast<int32_t>(words.size());
    EXPECT_TRUE(encode(words.data(), npix) == encode_exhaustive(words.data(), npix)) << what << ": bytes differ";
  }
}

TEST(MatchFinder, EveryShortImageOverTwoWords) {
  // Every image of up to 11 pixels over two words: all end-of-image
  // boundaries and run caps at small sizes.
  for (int32_t npix = 1; npix <= 11; ++npix)
    for (unsigned bits = 0; bits < (1u << npix); ++bits) {
      std::vector<uint16_t> w;
      for (int k = 0; k < npix; ++k) w.push_back(static_cast<uint16_t>(((bits >> k) & 1) << 6));
      ASSERT_EQ(first_difference(w), "") << "bits " << bits;
    }
}

TEST(EncodeParts, SameBytesForEveryCut) {
  struct Case {
    std::string what;
    std::vector<uint16_t> words;
    std::vector<int> cuts;
  };
  std::vector<Case> cases;
  for (auto kind : synth::kinds)
    cases.push_back({std::string(kind), test::words_of(synth::make_rgb24(kind, 181, 181, 7)), {2, 3, 16, 500}});
  for (unsigned alphabet : {2u, 17u})
    cases.push_back({"alphabet " + std::to_string(alphabet), random_words(20000, alphabet, alphabet), {2, 5, 64}});
  cases.push_back({"twelve pixels", test::words_of("ABABAAAAAAAB"), {2, 5, 12}});
  // In a flat image every parse is codes of 15 from its start, so parses
  // started 15k + 1 pixels apart meet at once and others never do. Halves
  // that never meet within a part's record: the first part parses on alone.
  cases.push_back({"flat halves that never meet", std::vector<uint16_t>(200000, 0x1214), {2}});
  // Thirds of 69998 pixels: the first part meets the third but not the
  // second, whose stream is skipped.
  cases.push_back({"flat thirds", std::vector<uint16_t>(3 * 69998, 0x1214), {3}});
  for (const Case& c : cases) {
    const int32_t npix = static_cast<int32_t>(c.words.size());
    const Segments want = encode_exhaustive(c.words.data(), npix);
    for (int cut : c.cuts) {
      const Segments got = join(encode_parts(c.words.data(), npix, cut));
      EXPECT_TRUE(got == want) << c.what << " in " << cut;
    }
  }
}

}  // namespace
}  // namespace lz16
