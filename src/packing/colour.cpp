#include "colour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "pixels.h"

namespace lz16 {

std::optional<Rgb> parse_rgb(std::string_view text) {
  if (!text.empty() && text[0] == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  uint8_t v[3] = {};
  for (size_t k = 0; k < 6; ++k) {
    const char c = text[k];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) return std::nullopt;
    v[k / 2] = static_cast<uint8_t>(v[k / 2] << 4 | d);
  }
  return Rgb{v[0], v[1], v[2]};
}

namespace {

// The 4x4 ordered-dither matrix: every entry from 0 to 15 in each 4x4 tile,
// spread so that each fraction of them is as even as it can be.
constexpr int bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// A channel's level for every value, per dither threshold, for each way of
// reducing: [round][dither]. Without dither every row is the same.
struct LevelTable {
  uint8_t level[16][256];
};

const LevelTable& level_table(bool round, bool dither) {
  static const auto tables = [] {
    std::array<LevelTable, 4> t;
    for (int way = 0; way < 4; ++way)
      for (int th = 0; th < 16; ++th)
        for (unsigned v = 0; v < 256; ++v)
          t[way].level[th][v] = static_cast<uint8_t>(channel_level(v, way & 2, way & 1 ? th : -1));
    return t;
  }();
  return tables[(round ? 2 : 0) + (dither ? 1 : 0)];
}

// The levels of the channel values of the pixel at (x, y), by its place in
// the dither matrix.
const uint8_t* pixel_levels(const LevelTable& table, const Reduction& r, size_t x, size_t y) {
  return table.level[r.dither ? bayer[y % 4][x % 4] : 0];
}

}  // namespace

unsigned channel_level(unsigned v, bool round, int threshold) {
  for (unsigned level = 0; level < 32; ++level)
    if (widen5(level) == v) return level;
  // v in quarters, moved by the matrix's offset: up to a whole step of 8
  // above v for the top five bits, half a step either side for rounding,
  // so that the levels average out to v either way.
  const int q = 4 * static_cast<int>(v) + (threshold < 0 ? 0 : round ? 2 * threshold - 15 : 2 * threshold + 1);
  if (!round) return static_cast<unsigned>(std::clamp(q / 32, 0, 31));
  unsigned level = 0;  // the levels whose midpoint with the one below q is above
  while (level < 31 && 2 * (widen5(level) + widen5(level + 1)) < q) ++level;
  return level;
}

uint8_t composite(unsigned c, unsigned a, unsigned bg) {
  return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255);
}

unsigned alpha_level(unsigned a) { return channel_level(a, true, -1); }

uint16_t key_word(const Reduction& r) {
  return level_word(channel_level(r.key->r, r.round, -1), channel_level(r.key->g, r.round, -1),
                 channel_level(r.key->b, r.round, -1));
}

namespace {

// The levels of straight colour and alpha, and the loss of the picture
// drawn over black and over white.
Reduced alpha_words(const uint8_t* pixels, uint32_t width, size_t npix, const Reduction& r, uint16_t* words,
                    uint8_t* levels) {
  Reduced out;
  const LevelTable& table = level_table(r.round, r.dither);
  for (size_t k = 0, x = 0, y = 0; k < npix; ++k, pixels += 4, x = x + 1 == width ? (++y, 0) : x + 1) {
    const uint8_t* level = pixel_levels(table, r, x, y);
    const unsigned a = pixels[3], alpha = levels[k] = static_cast<uint8_t>(alpha_level(a));
    const unsigned c[3] = {alpha ? level[pixels[0]] : 0u, alpha ? level[pixels[1]] : 0u, alpha ? level[pixels[2]] : 0u};
    words[k] = level_word(c[0], c[1], c[2]);
    for (const unsigned bg : {0u, 255u})
      for (int i = 0; i < 3; ++i) {
        const int d = composite(widen5(c[i]), widen5(alpha), bg) - composite(pixels[i], a, bg);
        out.loss.squared_error += static_cast<uint64_t>(d * d);
      }
  }
  out.loss.samples = 6 * npix;
  return out;
}

}  // namespace

Reduced image_words(const uint8_t* pixels, int channels, uint32_t width, size_t npix, const Reduction& r,
                    uint16_t* words, uint8_t* levels) {
  if (r.mask) {
    Reduced out;
    for (size_t k = 0; k < npix; ++k, pixels += channels) {
      const unsigned a = channels == 4 ? pixels[3] : 255, level = alpha_level(a);
      if (levels && r.alpha) levels[k] = static_cast<uint8_t>(level);
      words[k] = 0;
      const int d = widen5(level) - static_cast<int>(a);
      out.loss.squared_error += static_cast<uint64_t>(d * d);
    }
    out.loss.samples = npix;
    return out;
  }
  if (r.alpha) return alpha_words(pixels, width, npix, r, words, levels);
  Reduced out;
  if (channels == 3 && !r.round && !r.dither && !r.key) {
    // Each channel keeps its top five bits, so its error depends on its
    // value alone: a table of squared errors, summed while converting.
    static const auto squared = [] {
      std::array<uint32_t, 256> sq;
      for (unsigned v = 0; v < 256; ++v) {
        const int d = widen5(channel_level(v, false, -1)) - static_cast<int>(v);
        sq[v] = static_cast<uint32_t>(d * d);
      }
      return sq;
    }();
    constexpr size_t block = 16384;
    for (size_t k = 0; k < npix; k += block) {
      const size_t n = std::min(block, npix - k);
      convert_rgb24(pixels + 3 * k, n, words + k);
      uint64_t sum = 0;
      for (size_t i = 3 * k; i < 3 * (k + n); ++i) sum += squared[pixels[i]];
      out.loss.squared_error += sum;
    }
    out.loss.samples = 3 * npix;
    return out;
  }
  const LevelTable& table = level_table(r.round, r.dither);
  const int key = r.key ? key_word(r) : -1;
  for (size_t k = 0, x = 0, y = 0; k < npix; ++k, pixels += channels, x = x + 1 == width ? (++y, 0) : x + 1) {
    const unsigned a = channels == 4 ? pixels[3] : 255;
    if (key >= 0 && a < 128) {
      words[k] = static_cast<uint16_t>(key);
      continue;
    }
    const uint8_t* level = pixel_levels(table, r, x, y);
    const uint8_t rgb[3] = {composite(pixels[0], a, r.background.r), composite(pixels[1], a, r.background.g),
                            composite(pixels[2], a, r.background.b)};
    const unsigned red = level[rgb[0]], green = level[rgb[1]];
    unsigned blue = level[rgb[2]];
    if (level_word(red, green, blue) == key) {
      blue = blue >= 16 ? blue - 1 : blue + 1;
      ++out.moved;
    }
    words[k] = level_word(red, green, blue);
    if (a >= 128) {
      const int d[3] = {widen5(red) - rgb[0], widen5(green) - rgb[1], widen5(blue) - rgb[2]};
      out.loss.squared_error += static_cast<uint64_t>(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      out.loss.samples += 3;
    }
  }
  return out;
}

double psnr(const ColourLoss& loss) {
  if (loss.squared_error == 0) return std::numeric_limits<double>::infinity();
  return 10 * std::log10(255.0 * 255.0 * static_cast<double>(loss.samples) / static_cast<double>(loss.squared_error));
}

}  // namespace lz16
