// Pixel input: raw 24-bit RGB (red, green, blue, one byte each) to pixel
// words. Words are held in host order in memory; the low-byte-first order of
// the file is applied where tokens are written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "buffer.h"
#include "format.h"

namespace lz16 {

// The word of three 5-bit channel levels: red in bits 15-11, green in
// 10-6, blue in 4-0, bit 5 clear.
constexpr uint16_t level_word(unsigned r, unsigned g, unsigned b) {
  return static_cast<uint16_t>(r << 11 | g << 6 | b);
}

// One pixel as its word: the top five bits of each channel.
constexpr uint16_t pixel_word(uint8_t r, uint8_t g, uint8_t b) { return level_word(r >> 3, g >> 3, b >> 3); }

// A 5-bit channel level widened to 8 bits, as displays and previews show
// it: the top bits repeated below, so that 0 and 31 give 0 and 255.
constexpr uint8_t widen5(unsigned level) { return static_cast<uint8_t>(level << 3 | level >> 2); }

// Converts npix pixels of 3 bytes each from rgb to words in rgb16_raw.
void convert_rgb24(const uint8_t* rgb, size_t npix, uint16_t* rgb16_raw);

// An image's pixel words, in a buffer that can take a whole large image.
using PixelWords = std::vector<uint16_t, buffer_allocator<uint16_t>>;

enum class ReadStatus {
  ok,         // the input ended; a trailing group of 1 or 2 bytes was dropped
  io_error,   // reading failed; errno tells why
  too_large,  // the input holds more than the pixel limit
};

// Reads every whole pixel from in, appending their words to rgb16_raw.
// Stops with too_large as soon as more than pixel_limit pixels have been
// seen (pixel_limit <= max_pixels). May throw std::bad_alloc.
ReadStatus read_pixels(std::FILE* in, PixelWords& rgb16_raw,
                       int64_t pixel_limit = max_pixels);

}  // namespace lz16
