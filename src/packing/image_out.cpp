#include "image_out.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <new>
#include <vector>

#include "colour.h"
#include "pixels.h"

namespace lz16 {

void widen_rgb24(const uint16_t* words, size_t npix, uint8_t* rgb) {
  for (size_t k = 0; k < npix; ++k, rgb += 3) {
    const unsigned w = words[k];
    const unsigned r = w >> 11, g = (w >> 6) & 31, b = w & 31;
    rgb[0] = widen5(r);
    rgb[1] = widen5(g);
    rgb[2] = widen5(b);
  }
}

namespace {

// Channel c over b (5 bits, or green's 6 in the 565 orders) by alpha level
// (0-31), as lz16dec draws with alpha: with A = level + level / 16 (0-32),
// (c * A + b * (32 - A) + 16) / 32, so levels 0 and 31 give b and c exactly.
unsigned blend_channel(unsigned c, unsigned b, unsigned level) {
  const unsigned a = level + level / 16;
  return (c * a + b * (32 - a) + 16) / 32;
}

// A 6-bit green in 8 bits: its 5-bit level widened, and an odd one (which
// only a blend gives) halfway between the two levels around it.
uint8_t widen_green6(unsigned g6) {
  return static_cast<uint8_t>((widen5(g6 >> 1) + widen5(std::min(31u, (g6 + 1) >> 1)) + 1) / 2);
}

}  // namespace

std::vector<uint8_t> shown_rgb(std::span<const uint16_t> words, std::span<const uint8_t> levels, uint32_t& width,
                               std::optional<uint16_t> key) {
  constexpr uint16_t light = level_word(24, 24, 24), dark = level_word(18, 18, 18);
  const uint32_t panels = levels.empty() ? 1 : 3;
  std::vector<uint8_t> rgb(3 * panels * words.size());
  for (size_t k = 0; k < panels * words.size(); ++k) {
    const size_t x = k % (panels * width), y = k / (panels * width), panel = x / width, at = y * width + x % width;
    const uint16_t board = (x / 8 + y / 8) % 2 ? dark : light, w = key && words[at] == *key ? board : words[at];
    if (levels.empty()) {
      widen_rgb24(&w, 1, &rgb[3 * k]);
      continue;
    }
    const uint16_t under = panel == 0 ? board : panel == 1 ? level_word(4, 4, 4) : level_word(28, 28, 28);
    rgb[3 * k] = widen5(blend_channel(w >> 11, under >> 11, levels[at]));
    rgb[3 * k + 1] = widen_green6(blend_channel((w >> 6 & 31) << 1, (under >> 6 & 31) << 1, levels[at]));
    rgb[3 * k + 2] = widen5(blend_channel(w & 31, under & 31, levels[at]));
  }
  width *= panels;
  return rgb;
}

namespace {

// Output goes out in blocks, so that no converted copy of the whole image
// is ever needed.
constexpr size_t block = 65536;

}  // namespace

bool write_rgb16(std::FILE* out, const uint16_t* words, size_t npix) {
  std::vector<uint8_t> bytes(2 * std::min(block, npix));
  for (size_t k = 0; k < npix; k += block) {
    const size_t n = std::min(block, npix - k);
    for (size_t i = 0; i < n; ++i) {
      bytes[2 * i] = static_cast<uint8_t>(words[k + i] & 0xFF);
      bytes[2 * i + 1] = static_cast<uint8_t>(words[k + i] >> 8);
    }
    if (std::fwrite(bytes.data(), 2, n, out) != n) return false;
  }
  return true;
}

bool write_rgb24(std::FILE* out, const uint16_t* words, size_t npix) {
  std::vector<uint8_t> rgb(3 * std::min(block, npix));
  for (size_t k = 0; k < npix; k += block) {
    const size_t n = std::min(block, npix - k);
    widen_rgb24(words + k, n, rgb.data());
    if (std::fwrite(rgb.data(), 3, n, out) != n) return false;
  }
  return true;
}

bool write_ppm(std::FILE* out, const uint16_t* words, uint32_t width, uint32_t height) {
  if (std::fprintf(out, "P6\n%u %u\n255\n", width, height) < 0) return false;
  return write_rgb24(out, words, size_t{width} * height);
}

namespace {

// libpng reports errors by longjmp; nothing in write_png_rows, nor in the
// fill it calls, owns a resource that the jump could skip. Its messages are dropped: the caller
// reports the failure in one line of its own.
void png_error_quietly(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warning_quietly(png_structp, png_const_charp) {}

// Writes height rows of width pixels, fill(y, row) giving row y as 8-bit
// samples of the colour type.
template <typename Fill>
bool write_png_rows(png_structp png, png_infop info, std::FILE* out, uint32_t width, uint32_t height, int colour_type,
                    uint8_t* row, Fill fill) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, out);
  png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
  png_set_IHDR(png, info, width, height, 8, colour_type, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < height; ++y) png_write_row(png, fill(y, row));
  png_write_end(png, info);
  return true;
}

template <typename Fill>
bool write_png_with(std::FILE* out, uint32_t width, uint32_t height, int channels, Fill fill) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_error_quietly, png_warning_quietly);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(static_cast<size_t>(channels) * width);
  const bool ok = info && write_png_rows(png, info, out, width, height,
                                         channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, row.data(), fill);
  png_destroy_write_struct(&png, &info);
  return ok;
}

}  // namespace

bool write_png(std::FILE* out, const uint16_t* words, uint32_t width, uint32_t height) {
  return write_png_with(out, width, height, 3, [&](uint32_t y, uint8_t* row) {
    widen_rgb24(words + size_t{y} * width, width, row);
    return row;
  });
}

std::string png_bytes(const uint8_t* pixels, int channels, uint32_t width, uint32_t height) {
  char* bytes = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&bytes, &size);
  if (!out) throw std::bad_alloc();
  const size_t row_bytes = static_cast<size_t>(channels) * width;
  const bool ok = write_png_with(out, width, height, channels, [&](uint32_t y, uint8_t*) {
    return const_cast<uint8_t*>(pixels + row_bytes * y);  // libpng does not write through its rows
  });
  std::fclose(out);
  std::string png(bytes, size);
  std::free(bytes);
  if (!ok) throw std::bad_alloc();  // writing to memory fails only for want of it
  return png;
}

std::string page_png(const uint8_t* pixels, int channels, uint32_t& width, uint32_t& height, uint64_t max_pixels) {
  uint32_t f = 1;
  const auto scaled = [&](uint32_t n) { return (n + f - 1) / f; };
  while (uint64_t{scaled(width)} * scaled(height) > max_pixels) ++f;
  const uint32_t w = scaled(width), h = scaled(height);
  const size_t c = static_cast<size_t>(channels);
  std::vector<uint8_t> small(c * w * h);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x)
      for (size_t k = 0; k < c; ++k) {
        uint64_t sum = 0, n = 0;
        for (uint32_t v = y * f; v < std::min(height, (y + 1) * f); ++v)
          for (uint32_t u = x * f; u < std::min(width, (x + 1) * f); ++u, ++n)
            sum += pixels[c * (size_t{v} * width + u) + k];
        small[c * (size_t{y} * w + x) + k] = static_cast<uint8_t>((sum + n / 2) / n);
      }
  width = w;
  height = h;
  return png_bytes(small.data(), channels, w, h);
}

}  // namespace lz16
