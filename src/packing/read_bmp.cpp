// BMP, uncompressed: 1, 4 and 8 bits of palette index a pixel, 16 and 32
// bits by bit fields (5-5-5 and 8-8-8-8 by default), 24 bits BGR; rows
// bottom to top, or top to bottom with a negative height; the OS/2 core
// header and Windows' headers of 40 to 124 bytes. A 32-bit image whose
// alpha is 0 everywhere is opaque: its writer left the byte unused.
// Run-length coded files are refused.
#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "readers.h"

namespace lz16::readers {

namespace {

constexpr size_t file_header_bytes = 14;

uint32_t le(std::span<const uint8_t> f, size_t at, int n) {
  uint32_t v = 0;
  for (int k = n - 1; k >= 0; --k) v = v << 8 | f[at + static_cast<size_t>(k)];
  return v;
}

// A channel of bits bits as 8 bits, its bits repeated to fill them.
uint8_t widen(uint32_t v, int bits) {
  if (bits <= 0) return 0;
  if (bits >= 8) return static_cast<uint8_t>(v >> (bits - 8));
  uint32_t out = 0;
  int have = 0;
  for (; have < 8; have += bits) out = out << bits | v;
  return static_cast<uint8_t>(out >> (have - 8));
}

// A channel's place in a 16- or 32-bit pixel.
struct Field {
  uint32_t mask = 0;
  int shift = 0, bits = 0;
  explicit Field(uint32_t m = 0) : mask(m), shift(m ? std::countr_zero(m) : 0), bits(std::popcount(m)) {}
  uint8_t of(uint32_t pixel) const { return widen((pixel & mask) >> shift, bits); }
};

const char ends_early[] = "bad BMP: the file ends early";

}  // namespace

std::string read_bmp(const Input& in, Image& img) {
  const std::span<const uint8_t> f = in.file;
  if (f.size() < file_header_bytes + 4) return ends_early;
  const uint32_t offset = le(f, 10, 4), header = le(f, 14, 4);
  const bool core = header == 12;
  if (!core && header != 40 && header != 52 && header != 56 && header != 108 && header != 124)
    return "bad BMP: a header of " + std::to_string(header) + " bytes";
  if (f.size() < file_header_bytes + header) return ends_early;
  const size_t h = file_header_bytes;
  // (Windows' sizes are signed: a negative height puts the top row first.)
  const int64_t width = core ? int64_t{le(f, h + 4, 2)} : int64_t{static_cast<int32_t>(le(f, h + 4, 4))};
  const int64_t signed_height = core ? int64_t{le(f, h + 6, 2)} : int64_t{static_cast<int32_t>(le(f, h + 8, 4))};
  const uint32_t bits = core ? le(f, h + 10, 2) : le(f, h + 14, 2), compression = core ? 0 : le(f, h + 16, 4);
  if (compression == 1 || compression == 2) return "run-length coded BMPs are not read: save it uncompressed, or as PNG";
  const bool fields = compression == 3 || compression == 6;
  if (compression != 0 && !fields) return "bad BMP: compression " + std::to_string(compression) + " is not read";
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    return "bad BMP: " + std::to_string(bits) + " bits a pixel";
  if (fields && bits != 16 && bits != 32) return "bad BMP: bit fields in a " + std::to_string(bits) + "-bit image";
  const bool top_down = signed_height < 0;
  const uint64_t height = static_cast<uint64_t>(top_down ? -signed_height : signed_height);
  if (width < 0) return "bad BMP: a negative width";
  if (std::string e = admit(in, img, "BMP", static_cast<uint64_t>(width), height, 1, 0); !e.empty()) return e;

  // The colour masks: in the header from 52 bytes on, after a 40-byte one
  // with bit fields, else the defaults.
  size_t headers_end = h + header;
  std::array<uint32_t, 4> masks = bits == 16 ? std::array<uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                             : std::array<uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0xFF000000u};
  if (fields) {
    const size_t at = header == 40 ? headers_end : h + 40, count = header >= 56 || compression == 6 ? 4 : 3;
    if (header == 40) headers_end += 4 * count;
    if (f.size() < at + 4 * count) return ends_early;
    for (size_t k = 0; k < 4; ++k) masks[k] = k < count ? le(f, at + 4 * k, 4) : 0;
  }
  // The palette, between the headers and the pixels: as many colours as
  // the header says, or as the bits can index, as far as the pixels.
  const size_t entry = core ? 3 : 4;
  std::vector<std::array<uint8_t, 3>> palette;
  if (offset < headers_end) return "bad BMP: its pixels start at byte " + std::to_string(offset) + ", inside its headers";
  const uint64_t stride = (static_cast<uint64_t>(width) * bits + 31) / 32 * 4;
  if (offset + stride * height > f.size()) return ends_early;
  if (bits <= 8) {
    const uint32_t declared = core ? 0 : le(f, h + 32, 4);
    const uint64_t colours = std::min<uint64_t>({declared ? declared : 1u << bits, 1u << bits, uint64_t{(offset - headers_end) / entry}});
    for (size_t k = 0; k < colours; ++k) {
      const size_t at = headers_end + entry * k;
      palette.push_back({f[at + 2], f[at + 1], f[at]});
    }
  }
  if (in.mode == Read::info) return info_frames(img, 1), "";

  const Field red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]);
  img.channels = alpha.mask ? 4 : 3;
  const size_t channels = static_cast<size_t>(img.channels), w = static_cast<size_t>(width);
  std::vector<uint8_t> pixels(w * height * channels);
  bool any_alpha = false;
  for (uint64_t row = 0; row < height; ++row) {
    const uint8_t* src = f.data() + offset + stride * row;
    uint8_t* to = pixels.data() + (top_down ? row : height - 1 - row) * w * channels;
    for (size_t x = 0; x < w; ++x, to += channels) {
      if (bits <= 8) {
        const uint32_t index = src[x * bits / 8] >> (8 - bits - x * bits % 8) & ((1u << bits) - 1);
        if (index >= palette.size())
          return "bad BMP: a pixel's colour index " + std::to_string(index) + " is past its palette of " +
                 std::to_string(palette.size()) + " colours";
        std::copy(palette[index].begin(), palette[index].end(), to);
      } else if (bits == 24) {
        to[0] = src[3 * x + 2], to[1] = src[3 * x + 1], to[2] = src[3 * x];
      } else {
        const uint32_t p = bits == 16 ? le({src, 2 * w}, 2 * x, 2) : le({src, 4 * w}, 4 * x, 4);
        to[0] = red.of(p), to[1] = green.of(p), to[2] = blue.of(p);
        if (alpha.mask) any_alpha |= (to[3] = alpha.of(p)) != 0;
      }
    }
  }
  if (alpha.mask && !any_alpha) {  // the alpha byte left at 0: opaque
    for (size_t k = 0; k < w * height; ++k) std::copy_n(&pixels[4 * k], 3, &pixels[3 * k]);
    pixels.resize(3 * w * height);
    img.channels = 3;
  }
  img.delay_ms = {0};
  if (in.mode == Read::pixels) img.pixels = std::move(pixels);
  return "";
}

}  // namespace lz16::readers
