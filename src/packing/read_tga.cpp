// TGA: colour-mapped (8 or 16-bit indices), true colour (15, 16, 24 or 32
// bits) and greyscale (8 bits, or 16 with alpha), raw or run-length coded,
// from any of the four corners its descriptor names (bottom left unless it
// says top, left unless it says right). A colour map may start at any
// index: a pixel's index counts from the map's first entry. 32-bit pixels
// carry alpha where the descriptor gives them alpha bits; 15- and 16-bit
// ones are opaque.
//
// The format has no signature: a header that is not one of these is
// "not a TGA", which read_image takes for a file it does not read.
#include <algorithm>
#include <vector>

#include "readers.h"

namespace lz16::readers {

namespace {

constexpr size_t header_bytes = 18;
// A run-length packet of two bytes or more gives at most 128 pixels.
constexpr uint64_t rle_pixels_per_byte = 128;

uint32_t le(std::span<const uint8_t> f, size_t at, int n) {
  uint32_t v = 0;
  for (int k = n - 1; k >= 0; --k) v = v << 8 | f[at + static_cast<size_t>(k)];
  return v;
}

// The RGBA of a stored colour of bits bits (little-endian BGR, BGRA, or
// 5-5-5 with the top bit unused), or of a grey value (with alpha at 16).
void colour_of(const uint8_t* p, uint32_t bits, bool grey, bool alpha, uint8_t rgba[4]) {
  rgba[3] = 255;
  if (grey) {
    rgba[0] = rgba[1] = rgba[2] = p[0];
    if (bits == 16) rgba[3] = p[1];
  } else if (bits <= 16) {
    const uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8;
    for (int c = 0; c < 3; ++c) {
      const uint32_t five = v >> (10 - 5 * c) & 31;
      rgba[c] = static_cast<uint8_t>(five << 3 | five >> 2);
    }
  } else {
    rgba[0] = p[2], rgba[1] = p[1], rgba[2] = p[0];
    if (bits == 32 && alpha) rgba[3] = p[3];
  }
}

const char ends_early[] = "bad TGA: the file ends early";

}  // namespace

std::string read_tga(const Input& in, Image& img) {
  const std::span<const uint8_t> f = in.file;
  if (f.size() < header_bytes) return "not a TGA";
  const uint32_t id_bytes = f[0], map_type = f[1], type = f[2] & ~8u, map_first = le(f, 3, 2),
                 map_length = le(f, 5, 2), map_bits = f[7], width = le(f, 12, 2), height = le(f, 14, 2),
                 bits = f[16], descriptor = f[17];
  const bool rle = f[2] & 8, mapped = type == 1, grey = type == 3, alpha = (descriptor & 15) != 0;
  const bool fits = (map_type == 0 || map_type == 1) && (type == 1 || type == 2 || type == 3) && f[2] < 12 &&
                    width > 0 && height > 0 &&
                    (mapped   ? map_type == 1 && (bits == 8 || bits == 16) &&
                                    (map_bits == 15 || map_bits == 16 || map_bits == 24 || map_bits == 32)
                     : grey   ? bits == 8 || bits == 16
                              : bits == 15 || bits == 16 || bits == 24 || bits == 32);
  if (!fits) return "not a TGA";
  if (std::string e = admit(in, img, "TGA", width, height, 1, rle_pixels_per_byte); !e.empty()) return e;
  // The colour map, which a file may carry even where its pixels do not use it.
  const size_t map_at = header_bytes + id_bytes, entry = (map_bits + 7) / 8;
  const size_t pixels_at = map_at + (map_type == 1 ? map_length * entry : 0), pixel = (bits + 7) / 8;
  if (pixels_at > f.size()) return ends_early;
  const uint64_t count = uint64_t{width} * height;
  // Where the pixels' bytes lie, one packet after another: a run is one
  // pixel repeated, any other packet its pixels one by one.
  size_t at = pixels_at;
  for (uint64_t n = 0; rle && n < count;) {
    if (at >= f.size()) return ends_early;
    const uint64_t run = (f[at] & 0x7Fu) + 1;
    at += f[at] & 0x80 ? 1 + pixel : 1 + run * pixel;
    n += run;
  }
  if (!rle) at += count * pixel;
  if (at > f.size()) return ends_early;
  if (in.mode == Read::info) return info_frames(img, 1), "";

  const bool has_alpha = mapped ? map_bits == 32 && alpha : grey ? bits == 16 : bits == 32 && alpha;
  img.channels = has_alpha ? 4 : 3;
  const size_t channels = static_cast<size_t>(img.channels);
  std::vector<uint8_t> pixels(count * channels);
  const bool top = descriptor & 0x20, right_to_left = descriptor & 0x10;
  size_t p = pixels_at;
  uint64_t repeat = 0, literal = 0;  // pixels left in the current packet
  const uint8_t* src = nullptr;
  for (uint64_t k = 0; k < count; ++k) {
    if (!rle) {
      src = f.data() + p, p += pixel;
    } else if (repeat) {
      --repeat;
    } else if (literal) {
      --literal, src = f.data() + p, p += pixel;
    } else {
      const uint8_t head = f[p++];
      (head & 0x80 ? repeat : literal) = head & 0x7Fu;
      src = f.data() + p, p += pixel;
    }
    uint8_t rgba[4];
    if (mapped) {
      const uint32_t index = bits == 8 ? src[0] : le({src, 2}, 0, 2);
      if (index - map_first >= map_length)  // (below the first entry, the difference wraps past them all)
        return "bad TGA: a pixel's colour index " + std::to_string(index) + " is outside its colour map (entries " +
               std::to_string(map_first) + " to " + std::to_string(map_first + map_length - 1) + ")";
      colour_of(f.data() + map_at + (index - map_first) * entry, map_bits, false, alpha, rgba);
    } else {
      colour_of(src, bits, grey, alpha, rgba);
    }
    const uint64_t row = k / width, col = k % width;
    const uint64_t y = top ? row : height - 1 - row, x = right_to_left ? width - 1 - col : col;
    std::copy_n(rgba, channels, &pixels[(y * width + x) * channels]);
  }
  img.delay_ms = {0};
  if (in.mode == Read::pixels) img.pixels = std::move(pixels);
  return "";
}

}  // namespace lz16::readers
