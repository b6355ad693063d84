// libFuzzer target: any byte string read as an image file (PNG, JPEG, GIF,
// WebP, BMP, TGA, QOI or PPM), told apart as the reader does. Each either
// reads, with as many pixels as its size and frame count say, or fails with
// a one-line reason; it never touches memory it does not own, leaks or
// hangs. The pixel limit is held low, so that a few bytes cannot ask for
// gigabytes.
#include <cstdlib>

#include "image_in.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  lz16::Image img;
  const std::string error = lz16::read_image({data, size}, img, int64_t{1} << 20);
  if (!error.empty()) {
    if (error.find('\n') != std::string::npos) std::abort();
    return 0;
  }
  const size_t frame_bytes = size_t{img.width} * img.height * static_cast<size_t>(img.channels);
  if (frame_bytes == 0 || img.pixels.size() != frame_bytes * img.frames()) std::abort();
  return 0;
}
