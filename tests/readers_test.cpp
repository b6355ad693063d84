// The image readers on files written here in each layout their format
// allows: every layout gives the same picture, and a frame limit stops an
// animation while it is read.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <utility>

#include "helpers.h"
#include "image_in.h"

namespace lz16 {
namespace {

using test::Bytes;

// The test picture, 5 x 3: four colours (two where a pixel has 1 bit),
// each channel 0 or 255, which every bit depth holds exactly.
constexpr uint32_t W = 5, H = 3;
constexpr std::array<std::array<uint8_t, 4>, 4> colours{{{255, 0, 0, 255}, {0, 255, 0, 128}, {0, 0, 255, 0}, {255, 255, 255, 255}}};
uint32_t index_at(uint32_t x, uint32_t y, uint32_t n) { return (x * 3 + y) % n; }

// The picture as a reader should give it, with channels 3 or 4.
Bytes picture(int channels, uint32_t n = 4) {
  Bytes out;
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x) out.insert(out.end(), colours[index_at(x, y, n)].begin(), colours[index_at(x, y, n)].begin() + channels);
  return out;
}

void put(Bytes& b, uint32_t v, int n) {
  for (int k = 0; k < n; ++k) b.push_back(static_cast<uint8_t>(v >> 8 * k));
}

struct BmpLayout {
  const char* what;
  uint32_t header, bits, compression;
  bool top_down;
  std::array<uint32_t, 4> masks;  // with bit fields
  int channels;                   // what the reader gives
};

// The picture as a BMP of the layout: palette indices, or each channel
// scaled to its mask's bits (24 bits as 8-8-8).
Bytes write_bmp(const BmpLayout& l) {
  const bool core = l.header == 12;
  const uint32_t n = l.bits == 1 ? 2 : 4, stride = (W * l.bits + 31) / 32 * 4;
  const std::array<uint32_t, 4> masks = l.bits == 24 ? std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0} : l.masks;
  Bytes palette, rows(stride * H, 0);
  for (uint32_t k = 0; l.bits <= 8 && k < n; ++k)
    palette.insert(palette.end(), {colours[k][2], colours[k][1], colours[k][0], 0}), palette.resize(palette.size() - core);
  for (uint32_t k = 0; k < W * H; ++k) {
    const uint32_t x = k % W, y = k / W, i = index_at(x, y, n), at = (l.top_down ? y : H - 1 - y) * stride;
    uint32_t v = l.bits <= 8 ? i << (8 - l.bits - x * l.bits % 8) : 0;
    for (size_t ch = 0; ch < 4 && l.bits > 8; ++ch)
      if (const uint32_t m = masks[ch]) v |= (colours[i][ch] * (m >> std::countr_zero(m)) / 255) << std::countr_zero(m);
    for (uint32_t b = 0; b < std::max(l.bits / 8, 1u); ++b) rows[at + x * l.bits / 8 + b] |= static_cast<uint8_t>(v >> 8 * b);
  }
  Bytes info;
  put(info, l.header, 4);
  if (core) put(info, W, 2), put(info, H, 2), put(info, 1, 2), put(info, l.bits, 2);
  if (!core) {
    put(info, W, 4), put(info, static_cast<uint32_t>(l.top_down ? -int32_t{H} : int32_t{H}), 4), put(info, 1, 2);
    put(info, l.bits, 2), put(info, l.compression, 4), info.resize(40, 0);
    // Bit fields: in a larger header, or after a 40-byte one.
    for (size_t k = 0; l.compression && k < (l.header == 40 ? 3u : 4u); ++k) put(info, masks[k], 4);
    info.resize(std::max<size_t>(info.size(), l.header), 0);
  }
  Bytes file{'B', 'M'};
  const uint32_t offset = 14 + static_cast<uint32_t>(info.size() + palette.size());
  put(file, offset + static_cast<uint32_t>(rows.size()), 4), put(file, 0, 4), put(file, offset, 4);
  for (const Bytes* part : {&info, &palette, &rows}) file.insert(file.end(), part->begin(), part->end());
  return file;
}

TEST(Readers, BmpInEveryLayoutGivesThePicture) {
  const std::array<uint32_t, 4> bgra{0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, rgb565{0xF800, 0x07E0, 0x001F, 0};
  const BmpLayout layouts[] = {
      {"core, 24 bits", 12, 24, 0, false, {}, 3},       {"core, 8-bit palette", 12, 8, 0, false, {}, 3},
      {"24 bits, bottom up", 40, 24, 0, false, {}, 3},  {"24 bits, top down", 40, 24, 0, true, {}, 3},
      {"8-bit palette, top down", 40, 8, 0, true, {}, 3}, {"4-bit palette", 40, 4, 0, false, {}, 3},
      {"1-bit palette", 40, 1, 0, false, {}, 3},        {"16 bits, 5-5-5", 40, 16, 0, false, {0x7C00, 0x03E0, 0x1F, 0}, 3},
      {"16 bits, 5-6-5 fields", 40, 16, 3, false, rgb565, 3},
      {"32 bits, alpha byte left at 0", 40, 32, 0, false, {0xFF0000, 0xFF00, 0xFF, 0}, 3},
      {"32 bits, V4 fields with alpha", 108, 32, 3, true, bgra, 4},
      {"32 bits, V5 fields, bytes turned", 124, 32, 3, false, {0xFF, 0xFF00, 0xFF0000, 0xFF000000u}, 4}};
  for (const BmpLayout& l : layouts) {
    Image img;
    ASSERT_EQ(read_image(write_bmp(l), img), "") << l.what;
    EXPECT_TRUE(img.width == W && img.height == H && img.channels == l.channels && img.frames() == 1) << l.what;
    EXPECT_EQ(test::hex(img.pixels), test::hex(picture(l.channels, l.bits == 1 ? 2 : 4))) << l.what;
  }
}

struct TgaLayout {
  const char* what;
  int type;  // 1 mapped (from index 16), 2 true colour, 3 grey
  uint32_t bits;
  bool rle;
  uint8_t descriptor;  // origin bits 0x20 (top) and 0x10 (right), alpha bits
};

// The picture as a TGA of the layout: its pixels in the order the origin
// says, run-length coded in packets of at most two pixels (a run where two
// are the same).
Bytes write_tga(const TgaLayout& l) {
  const bool mapped = l.type == 1, grey = l.type == 3;
  Bytes file{0, uint8_t(mapped), uint8_t(l.type + (l.rle ? 8 : 0))};
  put(file, mapped ? 16 : 0, 2), put(file, mapped ? 4 : 0, 2), file.push_back(mapped ? 24 : 0);
  put(file, 0, 4), put(file, W, 2), put(file, H, 2), file.push_back(static_cast<uint8_t>(l.bits));
  file.push_back(l.descriptor);
  for (uint32_t k = 0; mapped && k < 4; ++k) file.insert(file.end(), {colours[k][2], colours[k][1], colours[k][0]});
  std::vector<Bytes> pixels;
  for (uint32_t r = 0; r < H; ++r)
    for (uint32_t c = 0; c < W; ++c) {
      const uint32_t y = l.descriptor & 0x20 ? r : H - 1 - r, x = l.descriptor & 0x10 ? W - 1 - c : c;
      const uint32_t i = index_at(x, y, 4);
      const Bytes bgra{colours[i][2], colours[i][1], colours[i][0], colours[i][3]};
      pixels.push_back(mapped ? Bytes{uint8_t(16 + i)} : grey ? Bytes{bgra[2]} : Bytes(bgra.begin(), bgra.begin() + l.bits / 8));
    }
  for (size_t k = 0; k < pixels.size(); k += 2) {
    const bool pair = k + 1 < pixels.size(), run = pair && pixels[k] == pixels[k + 1];
    if (l.rle) file.push_back(static_cast<uint8_t>(run ? 0x81 : pair ? 1 : 0));
    file.insert(file.end(), pixels[k].begin(), pixels[k].end());
    if (pair && !(l.rle && run)) file.insert(file.end(), pixels[k + 1].begin(), pixels[k + 1].end());
  }
  return file;
}

TEST(Readers, TgaFromEveryCornerGivesThePicture) {
  for (const uint8_t origin : {0x00, 0x20, 0x10, 0x30})
    for (const bool rle : {false, true})
      for (const TgaLayout& base : {TgaLayout{"mapped from 16", 1, 8, rle, origin},
                                    TgaLayout{"24 bits", 2, 24, rle, origin},
                                    TgaLayout{"32 bits with alpha", 2, 32, rle, uint8_t(origin | 8)},
                                    TgaLayout{"32 bits, no alpha bits", 2, 32, rle, origin},
                                    TgaLayout{"grey", 3, 8, rle, origin}}) {
        SCOPED_TRACE(testing::Message() << base.what << (rle ? ", run-length" : "") << ", origin " << int(origin));
        Image img;
        ASSERT_EQ(read_image(write_tga(base), img), "");
        const int channels = base.bits == 32 && (base.descriptor & 15) ? 4 : 3;
        Bytes want = picture(channels);
        for (size_t k = 0; base.type == 3 && k < want.size(); k += 3) want[k + 1] = want[k + 2] = want[k];
        EXPECT_TRUE(img.channels == channels && img.pixels == want);
      }
}

class ReadersOnFiles : public test::ProcessTest {};

TEST_F(ReadersOnFiles, TheFrameLimitStopsAnAnimationAsItIsRead) {
  test::write_gif(path("a.gif"), 2, 2, {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {9, 9, 9}},
                  std::vector<test::GifFrame>(5, {0, 0, 2, 2, DISPOSE_DO_NOT, 3, NO_TRANSPARENT_COLOR, false, {}}));
  Bytes gif_bytes;
  ASSERT_EQ(read_input(path("a.gif"), gif_bytes), "");
  const Bytes webp = test::animated_webp(5);

  for (const Bytes* file : {&std::as_const(gif_bytes), &webp}) {
    Image img;
    EXPECT_EQ(read_image(*file, img, {max_pixels, 3}), "4 frames, more than the 3 one image may give");
    EXPECT_EQ(read_image_info(*file, img, {max_pixels, 3}), "4 frames, more than the 3 one image may give");
    ASSERT_EQ(read_image_info(*file, img, {max_pixels, 5}), "");
    EXPECT_TRUE(img.animated() && img.frames() == 5 && img.pixels.empty());
    ASSERT_EQ(read_image(*file, img, {max_pixels, 5}), "");
    EXPECT_TRUE(img.frames() == 5 && img.pixels.size() == 5 * 2 * 2 * 4);
  }
}

}  // namespace
}  // namespace lz16
