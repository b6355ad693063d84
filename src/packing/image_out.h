// Decoded images as files people can look at: 24-bit RGB, PPM and PNG.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace lz16 {

// Widens npix pixel words to 24-bit RGB (3 bytes each): every 5-bit channel
// v becomes v << 3 | v >> 2, so that converting the result again gives
// back the same words.
void widen_rgb24(const uint16_t* words, size_t npix, uint8_t* rgb);

// Write the image of words as the words themselves (low byte first), as
// raw RGB, or width x height as a binary PPM or an 8-bit RGB PNG. Return
// false when writing failed (errno tells why, except for libpng's own
// errors).
bool write_rgb16(std::FILE* out, const uint16_t* words, size_t npix);
bool write_rgb24(std::FILE* out, const uint16_t* words, size_t npix);
bool write_ppm(std::FILE* out, const uint16_t* words, uint32_t width, uint32_t height);
bool write_png(std::FILE* out, const uint16_t* words, uint32_t width, uint32_t height);

// An 8-bit RGB (channels 3) or RGBA (4) picture as PNG bytes in memory. May
// throw std::bad_alloc.
std::string png_bytes(const uint8_t* pixels, int channels, uint32_t width, uint32_t height);

// The picture of words (and levels, for an image with alpha) as the device
// shows it, in 8-bit RGB: a key's pixels as a grey checkerboard of 8x8
// squares; an image with alpha three times side by side, drawn over such a
// checkerboard, over dark grey and over light grey as lz16dec draws it in
// RGB565 (each 5-bit level, or 6-bit green, widened to 8 bits). width is the words'
// rows' on entry, the picture's on return.
std::vector<uint8_t> shown_rgb(std::span<const uint16_t> words, std::span<const uint8_t> levels, uint32_t& width,
                               std::optional<uint16_t> key);

// A picture for a page, in PNG bytes: the RGB or RGBA picture scaled down
// by the smallest whole factor f that brings it to at most max_pixels, each
// pixel the average of the f x f square it stands for (cut short at the
// right and bottom edges). Sets width and height to the scaled size.
std::string page_png(const uint8_t* pixels, int channels, uint32_t& width, uint32_t& height, uint64_t max_pixels);

}  // namespace lz16
