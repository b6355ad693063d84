// Image files in: PNG (through libpng), JPEG (through libjpeg-turbo), GIF
// (through giflib), WebP (through libwebp), BMP and TGA (through
// stb_image), QOI (through libqoi) and binary PPM, told apart by their
// first bytes, each read to 8-bit RGB, or RGBA where the image has
// transparency.
//
// Samples are taken as stored: no gamma or colour-profile conversion. A
// 16-bit sample v becomes (v * 255 + 32767) / 65535.
//
// A file is read whole into memory first, so that pipes and standard input
// work like files and the format is told apart without rewinding. Memory
// then follows the file, not what its header claims: a declared size is
// checked against the pixel limit before a library allocates anything, and
// against the most pixels the file's bytes could expand to (deflate 1032
// to 1, a JPEG block at least one bit, GIF's LZW 4096 pixels a byte), and
// pixel buffers grow with the rows that arrive.
//
// A GIF or an animated WebP gives every frame as the whole canvas as a
// viewer shows it. For a GIF: the
// canvas starts clear, each frame is drawn over it at its offset (clipped
// to it, its transparent index leaving the canvas as it was), and once a
// frame has been shown, disposal 2 clears its rectangle and disposal 3
// puts back what the canvas held before it. A GIF of one frame is a still
// picture.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "format.h"

namespace lz16 {

struct Image {
  uint32_t width = 0, height = 0;  // of one frame
  int channels = 3;                // 3: RGB; 4: RGBA
  std::vector<uint8_t> pixels;     // channels bytes a pixel, rows top to bottom, frame after frame
  std::vector<uint32_t> delay_ms;  // each frame's delay in an animation; empty for a still picture

  size_t frames() const { return delay_ms.empty() ? 1 : delay_ms.size(); }
};

// Reads the image file at path ("-" for standard input; pipes and devices
// are read as they come) into img. Returns "" on success, else a one-line
// reason (without the file's name). The pixel limit holds for all of an
// animation's frames together. May throw std::bad_alloc.
std::string read_image(const std::string& path, Image& img, int64_t pixel_limit = max_pixels);

// The same from the bytes of a file.
std::string read_image(std::span<const uint8_t> file, Image& img, int64_t pixel_limit = max_pixels);

// The size of one frame of the image in the regular file at path, without
// reading its pixels. Anything but a regular file is an error, so that a
// pipe is never read twice.
std::string read_image_size(const std::string& path, uint32_t& width, uint32_t& height);

}  // namespace lz16
