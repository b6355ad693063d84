#include <gtest/gtest.h>

#include "encoder.h"
#include "helpers.h"

namespace lz16 {
namespace {

using test::hex;
using test::words_of;

// n distinct words (bit 5 clear), then copy words from dist back at 5 + dist.
std::vector<uint16_t> repeat_at(int dist, int copy, int n = 2100) {
  std::vector<uint16_t> w(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) w[k] = static_cast<uint16_t>(((k >> 5) << 6) | (k & 31));
  for (int k = 0; k < copy; ++k) w[dist + 5 + k] = w[5 + k];
  return w;
}

TEST(FindMatchExhaustive, LongestRunThenSmallestDistance) {
  auto both_edges = repeat_at(2048, 5);  // 5 at distance 2048 (pixel 2053)...
  both_edges[2053] = both_edges[6], both_edges[2054] = both_edges[7];  // ...and 2 at distance 2047
  const struct {
    const char* what;
    std::vector<uint16_t> words;
    int32_t p;
    Match want;
  } cases[] = {
      {"first pixel has no distance", words_of("AAAA"), 0, {0, 0}},
      {"last pixel is never counted", words_of("AA"), 1, {0, 0}},
      {"run stops before the last pixel", words_of("AAA"), 1, {1, 1}},
      {"run of two before the last pixel", words_of("AAAA"), 1, {2, 1}},
      {"equal runs: smaller distance wins", words_of("PQPQRPQS"), 5, {2, 3}},
      {"longer run at a larger distance wins", words_of("ABCXABYABCZQ"), 7, {3, 7}},
      {"period 3: the first of 3, 6, 9 to reach 15", words_of(std::string(30, 'A') + "ABCABCABCABCABCABCABCABCD"), 36, {15, 3}},
      {"17 equal pixels", std::vector<uint16_t>(17, 7), 1, {15, 1}},
      {"17 equal pixels, second run", std::vector<uint16_t>(17, 7), 2, {14, 1}},
      {"repeat 2047 back is found", repeat_at(2047, 3), 2047 + 5, {3, 2047}},
      {"repeat 2048 back is not", repeat_at(2048, 3), 2048 + 5, {0, 0}},
      {"window edge beats a longer run beyond it", both_edges, 2053, {2, 2047}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Match m = find_match_exhaustive(c.words.data(), static_cast<int32_t>(c.words.size()), c.p);
    EXPECT_EQ(m.count, c.want.count);
    EXPECT_EQ(m.dist, c.want.dist);
  }
}

TEST(EncodeExhaustive, TokensAndSwitchBits) {
  const struct {
    std::vector<uint16_t> words;
    std::string code, data;
  } cases[] = {
      {words_of(""), "", ""},
      {words_of("A"), "", "20 01"},
      {words_of("AAA"), "", "00 01 00 01 20 01"},
      {words_of("AAAA"), "28 01", "20 01 20 01"},
      {words_of(std::string(16, 'A')), "e8 01", "20 01 20 01"},
      {words_of(std::string(17, 'A')), "f8 01", "20 01 20 01"},
      {words_of(std::string(18, 'A')), "f8 01", "20 01 00 01 20 01"},
      {words_of(std::string(20, 'B')), "f0 01 38 01", "20 02 20 02"},
      // Two code runs: every change of segment sets the switch bit of the
      // token before it, and only there.
      {words_of("ABABABCDCDCDE"), "48 02 48 02", "00 01 20 02 00 03 20 04 20 05"},
      // count 4 << 4 | switch | distance bits 10..8; bits 7..0 (literals not listed).
      {repeat_at(2047, 4, 2057), "4f ff", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code + " / " + c.data);
    const Segments seg = encode_exhaustive(c.words.data(), static_cast<int32_t>(c.words.size()));
    EXPECT_EQ(hex(seg.code_seg), c.code);
    if (!c.data.empty()) {
      EXPECT_EQ(hex(seg.data_seg), c.data);
    }
  }
}

}  // namespace
}  // namespace lz16
