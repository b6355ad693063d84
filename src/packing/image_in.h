// Image files in: PNG (through libpng), JPEG (through libjpeg-turbo), GIF
// (through giflib), WebP (through libwebp), QOI (through libqoi), BMP, TGA
// and binary PPM, told apart by their first bytes, each read to 8-bit RGB,
// or RGBA where the image has transparency. One reader a format
// (read_*.cpp), each making the same checks (readers.h).
//
// Samples are taken as stored: no gamma or colour-profile conversion. A
// 16-bit sample v becomes (v * 255 + 32767) / 65535.
//
// A file is read whole into memory first, so that pipes and standard input
// work like files and the format is told apart without rewinding. Memory
// then follows the file, not what its header claims: a declared size is
// checked against the limits before a library allocates anything, and
// against the most pixels the file's bytes could expand to (deflate 1032
// to 1, a JPEG block at least one bit, GIF's LZW 4096 pixels a byte), and
// pixel buffers grow with the rows that arrive.
//
// Whether an image is an animation is told from its content: a GIF or a
// WebP of more than one frame. Each frame is the whole canvas as a viewer
// shows it. For a GIF: the canvas starts clear, each frame is drawn over it
// at its offset (clipped to it, its transparent index leaving the canvas as
// it was), and once a frame has been shown, disposal 2 clears its rectangle
// and disposal 3 puts back what the canvas held before it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "format.h"

namespace lz16 {

// Frames one image may give, as read or once cut into a sheet's frames:
// more is refused before anything is written.
inline constexpr uint64_t max_frames = 65536;

// "N frames, more than the LIMIT one image may give".
std::string too_many_frames(uint64_t frames, uint64_t limit);

struct ImageLimits {
  int64_t pixels = max_pixels;  // over all of an animation's frames
  uint64_t frames = max_frames;
};

struct Image {
  uint32_t width = 0, height = 0;  // of one frame
  int channels = 3;                // 3: RGB; 4: RGBA
  std::vector<uint8_t> pixels;     // channels bytes a pixel, rows top to bottom, frame after frame
  std::vector<uint32_t> delay_ms;  // one a frame: its delay in an animation; a still picture's one frame, 0

  size_t frames() const { return delay_ms.size(); }
  bool animated() const { return frames() > 1; }
};

// Whether any pixel of the image is less than opaque.
bool has_transparency(const Image& img);

// Reads the image file at path ("-" for standard input; pipes and devices
// are read as they come) into img. Returns "" on success, else a one-line
// reason (without the file's name). May throw std::bad_alloc.
std::string read_image(const std::string& path, Image& img, ImageLimits limits = {});

// The same from the bytes of a file; name, if given, is the file's, whose
// ending tells what it was meant to be when its bytes are no image.
std::string read_image(std::span<const uint8_t> file, Image& img, ImageLimits limits = {}, std::string_view name = {});

// The size and frame count of the image in a file's bytes, with the same
// checks, into img, without its pixels (and, for some formats, without the
// frames' delays).
std::string read_image_info(std::span<const uint8_t> file, Image& img, ImageLimits limits = {});

// The whole of the file at path, or of standard input for "-", read as it
// comes: a pipe or a device is never rewound. "" or why not.
std::string read_input(const std::string& path, std::vector<uint8_t>& bytes);

}  // namespace lz16
