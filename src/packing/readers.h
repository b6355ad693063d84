// The image readers behind read_image, one a format (read_*.cpp), and the
// rules they share.
//
// Every reader makes the same checks, in admit(), before it allocates
// anything the size of the image: a size of at least 1 x 1, the frame
// limit, the pixel limit over all frames, and, where the format bounds what
// one of its bytes can expand to, the pixels against the file's size.
// Memory then follows the file: an image that needs more than allowance()
// is first decoded through with Read::check, keeping nothing, so that a
// file whose header claims much and whose data ends early fails in little
// memory, and only a real image that large takes it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image_in.h"

namespace lz16::readers {

// How far a reader goes: the size and the frame count (the frames' pixels
// and delays left out, where the format allows it); through every pixel,
// keeping none; or through every pixel, keeping them.
enum class Read { info, check, pixels };

struct Input {
  std::span<const uint8_t> file;
  ImageLimits limits;
  Read mode = Read::pixels;
  std::string_view name = {};  // the file's, if known

  Input with(Read m) const { return {file, limits, m, name}; }
};

// The bytes of a file being read, and how far.
struct Source {
  std::span<const uint8_t> bytes;
  size_t pos = 0;

  size_t left() const { return bytes.size() - pos; }
  int get() { return pos < bytes.size() ? bytes[pos++] : -1; }
};

// The memory a file may take before it has been shown to decode whole:
// 64 MB plus 16 bytes for each of its bytes.
uint64_t allowance(size_t file_size);

// The checks above, for frames of width x height in a file of the format
// ("PNG", ...) whose every byte gives at most pixels_per_byte pixels (0:
// no such bound). Sets img's size. "" to go on, else why not.
std::string admit(const Input& in, Image& img, const char* format, uint64_t width, uint64_t height, uint64_t frames,
                  uint64_t pixels_per_byte);

// "bad FORMAT: WxH pixels cannot fit in its N bytes".
std::string cannot_fit(const char* format, uint64_t width, uint64_t height, size_t file_size);

// Sets img to frames frames of no pixels, as Read::info gives them.
void info_frames(Image& img, uint64_t frames);

// Sets img to the RGBA frames of an animation with their delays; one frame
// is a still picture, of delay 0. "" or why not (no frame at all).
std::string canvas_frames(Image& img, std::vector<uint8_t> pixels, std::vector<uint32_t> delays);

using Reader = std::string (*)(const Input& in, Image& img);

// With Read::pixels, for an image that keeps more than allowance() bytes:
// the error of reading it through with Read::check first, if any.
std::string check_first(const Input& in, uint64_t kept_bytes, Reader read);

std::string read_png(const Input& in, Image& img);
std::string read_jpeg(const Input& in, Image& img);
std::string read_gif(const Input& in, Image& img);
std::string read_webp(const Input& in, Image& img);
std::string read_bmp(const Input& in, Image& img);
std::string read_tga(const Input& in, Image& img);
std::string read_qoi(const Input& in, Image& img);
std::string read_ppm(const Input& in, Image& img);

}  // namespace lz16::readers
