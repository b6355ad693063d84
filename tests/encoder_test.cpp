#include <gtest/gtest.h>

#include "encoder.h"
#include "helpers.h"

namespace lz16 {
namespace {

using test::hex;
using test::words_of;

// Word k of a sequence of distinct words (bit 5 clear), for window tests.
uint16_t distinct(int k) { return static_cast<uint16_t>(((k >> 5) << 6) | (k & 31)); }

std::vector<uint16_t> distinct_words(int n) {
  std::vector<uint16_t> w(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) w[k] = distinct(k);
  return w;
}

struct SearchCase {
  const char* what;
  std::vector<uint16_t> words;
  int32_t p;
  Match want;
};

TEST(FindMatchExhaustive, LongestRunThenSmallestDistance) {
  auto window_edge = [](int dist, int copy) {
    auto w = distinct_words(2100);
    for (int k = 0; k < copy; ++k) w[dist + 5 + k] = w[5 + k];
    return w;
  };
  auto both_edges = [] {
    auto w = distinct_words(2100);
    for (int k = 0; k < 5; ++k) w[2048 + 10 + k] = w[10 + k];  // 5 at distance 2048
    w[2047 + 11] = w[11];                                       // 2 at distance 2047
    w[2047 + 12] = w[12];
    return w;
  };
  const SearchCase cases[] = {
      {"first pixel has no distance", words_of("AAAA"), 0, {0, 0}},
      {"last pixel is never counted", words_of("AA"), 1, {0, 0}},
      {"run stops before the last pixel", words_of("AAA"), 1, {1, 1}},
      {"run of two before the last pixel", words_of("AAAA"), 1, {2, 1}},
      {"equal runs: smaller distance wins", words_of("PQPQRPQS"), 5, {2, 3}},
      {"longer run at a larger distance wins", words_of("ABCXABYABCZQ"), 7, {3, 7}},
      {"run capped at 15", std::vector<uint16_t>(40, 0x1214), 1, {15, 1}},
      {"16 equal pixels", std::vector<uint16_t>(16, 7), 1, {14, 1}},
      {"17 equal pixels", std::vector<uint16_t>(17, 7), 1, {15, 1}},
      {"17 equal pixels, second run", std::vector<uint16_t>(17, 7), 2, {14, 1}},
      {"repeat 2047 back is found", window_edge(2047, 3), 2047 + 5, {3, 2047}},
      {"repeat 2048 back is not", window_edge(2048, 3), 2048 + 5, {0, 0}},
      {"window edge beats a longer run beyond it", both_edges(), 2047 + 11, {2, 2047}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const Match m = find_match_exhaustive(c.words.data(), static_cast<int32_t>(c.words.size()), c.p);
    EXPECT_EQ(m.count, c.want.count);
    EXPECT_EQ(m.dist, c.want.dist);
  }
}

TEST(FindMatchExhaustive, FirstDistanceToReach15Wins) {
  // Period 3 repeats at distances 3, 6, 9, ...: all reach 15, the first wins.
  std::vector<uint16_t> w;
  for (int k = 0; k < 60; ++k) w.push_back(distinct(k % 3));
  const Match m = find_match_exhaustive(w.data(), 60, 30);
  EXPECT_EQ(m.count, 15);
  EXPECT_EQ(m.dist, 3);
}

struct EncodeCase {
  std::string letters;  // A -> word 0x0100 (literal "00 01"), B -> 0x0200, ...
  std::string code, data;
};

TEST(EncodeExhaustive, TokensAndSwitchBits) {
  const EncodeCase cases[] = {
      {"", "", ""},
      {"A", "", "20 01"},
      {"AB", "", "00 01 20 02"},
      {"AAA", "", "00 01 00 01 20 01"},
      {"AAAA", "28 01", "20 01 20 01"},
      {"ABAB", "", "00 01 00 02 00 01 20 02"},
      {std::string(15, 'A'), "d8 01", "20 01 20 01"},
      {std::string(16, 'A'), "e8 01", "20 01 20 01"},
      {std::string(17, 'A'), "f8 01", "20 01 20 01"},
      {std::string(18, 'A'), "f8 01", "20 01 00 01 20 01"},
      {std::string(20, 'B'), "f0 01 38 01", "20 02 20 02"},
      {"ABABABC", "48 02", "00 01 20 02 20 03"},
      // Two code runs: every change of segment sets the switch bit of the
      // token before it, and only there.
      {"ABABABCDCDCDE", "48 02 48 02", "00 01 20 02 00 03 20 04 20 05"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.letters);
    const auto words = words_of(c.letters);
    const Segments seg = encode_exhaustive(words.data(), static_cast<int32_t>(words.size()));
    EXPECT_EQ(hex(seg.code_seg), c.code);
    EXPECT_EQ(hex(seg.data_seg), c.data);
  }
}

TEST(EncodeExhaustive, WorkedExamplesFromRgb) {
  const auto four = words_of(test::Bytes{10, 20, 30, 10, 20, 30, 10, 20, 30, 10, 20, 30});
  const Segments seg = encode_exhaustive(four.data(), 4);
  EXPECT_EQ(hex(seg.code_seg), "28 01");
  EXPECT_EQ(hex(seg.data_seg), "a3 08 a3 08");
}

TEST(EncodeExhaustive, DistanceHighBitsAndTheWindowEdge) {
  auto w = distinct_words(2100);
  for (int k = 0; k < 4; ++k) w[2047 + 5 + k] = w[5 + k];
  const Segments seg = encode_exhaustive(w.data(), static_cast<int32_t>(w.size()));
  EXPECT_EQ(hex(seg.code_seg), "4f ff");  // count 4 << 4 | switch | distance bits 10..8; bits 7..0
  ASSERT_EQ(seg.data_seg.size(), 2u * (2100 - 4));
  EXPECT_EQ(seg.data_seg[2 * 2051] & literal_switch, literal_switch);  // pixel 2051, before the code
  EXPECT_EQ(seg.data_seg[2 * 2052] & literal_switch, 0);               // pixel 2056, after it
}

}  // namespace
}  // namespace lz16
