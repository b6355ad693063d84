// Image files in: PNG (through libpng), JPEG (through libjpeg-turbo) and
// binary PPM, told apart by their first bytes, each read to 8-bit RGB, or
// RGBA where the image has transparency.
//
// Samples are taken as stored: no gamma or colour-profile conversion. A
// 16-bit sample v becomes (v * 255 + 32767) / 65535. Declared sizes are checked against the pixel limit
// before any pixel buffer is allocated.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format.h"

namespace lz16 {

struct Image {
  uint32_t width = 0, height = 0;
  int channels = 3;            // 3: RGB; 4: RGBA
  std::vector<uint8_t> pixels;  // channels bytes a pixel, rows top to bottom
};

// Reads the image file at path into img. Returns "" on success, else a
// one-line reason (without the file's name). May throw std::bad_alloc.
std::string read_image(const std::string& path, Image& img, int64_t pixel_limit = max_pixels);

}  // namespace lz16
