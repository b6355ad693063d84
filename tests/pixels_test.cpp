#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

#include "helpers.h"
#include "pixels.h"

namespace lz16 {
namespace {

TEST(PixelWord, KeepsTopFiveBitsOfEachChannelAndBitFiveClear) {
  const struct {
    uint8_t r, g, b;
    uint16_t word;
  } cases[] = {
      {255, 255, 255, 0xFFDF}, {10, 20, 30, 0x0883}, {7, 7, 7, 0x0000},   {0xF8, 0, 0, 0xF800},
      {0, 0, 0xF8, 0x001F},    {0, 0x08, 0, 0x0040}, {0, 0x04, 0, 0x0000},  // green's sixth bit would land on bit 5
      {0x80, 0x40, 0x20, 0x8204},
  };
  for (const auto& c : cases) EXPECT_EQ(pixel_word(c.r, c.g, c.b), c.word) << int(c.r) << "," << int(c.g) << "," << int(c.b);
}

PixelWords read_all(const test::Bytes& input, ReadStatus want = ReadStatus::ok, int64_t limit = max_pixels) {
  std::FILE* in = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  PixelWords words;
  EXPECT_EQ(read_pixels(in, words, limit), want);
  std::fclose(in);
  return words;
}

TEST(ReadPixels, CountsWholePixelsAndDropsATrailingPartialOne) {
  for (size_t len : {0, 1, 2, 3, 5, 6, 7, 98303, 3 * 65536 + 2, 3 * 65536 * 2 + 1, 3 * 100000}) {
    SCOPED_TRACE(len);
    test::Bytes input(len);
    for (size_t k = 0; k < len; ++k) input[k] = static_cast<uint8_t>(k * 37 + k / 3);
    const auto words = read_all(input);
    ASSERT_EQ(words.size(), len / 3);
    for (size_t k = 0; k < words.size(); ++k)
      ASSERT_EQ(words[k], pixel_word(input[3 * k], input[3 * k + 1], input[3 * k + 2])) << "pixel " << k;
  }
}

TEST(ReadPixels, RefusesMoreThanTheLimit) {
  EXPECT_EQ(read_all(test::Bytes(30 + 2), ReadStatus::ok, 10).size(), 10u);
  read_all(test::Bytes(33), ReadStatus::too_large, 10);
  read_all(test::Bytes(3 * 70000), ReadStatus::too_large, 69999);  // across read blocks too
}

}  // namespace
}  // namespace lz16
