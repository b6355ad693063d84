// libFuzzer target for one image reader, named by LZ16_READER when this
// file is compiled (read_png, read_jpeg, ...): any byte string read as a
// file of that format. It either reads, with as many pixels as its size,
// channels and frame count say, and the same size and frame count as
// reading only its header gives; or it fails with a one-line reason. It
// never touches memory it does not own, leaks or hangs. The limits are
// held low, so that a few bytes cannot ask for gigabytes.
#include <cstdlib>

#include "readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lz16::readers;
  const lz16::ImageLimits limits{int64_t{1} << 20, 64};
  lz16::Image img, info;
  const std::string error = LZ16_READER({{data, size}, limits, Read::pixels}, img);
  const std::string info_error = LZ16_READER({{data, size}, limits, Read::info}, info);
  if (error.find('\n') != std::string::npos || info_error.find('\n') != std::string::npos) std::abort();
  if (!error.empty()) return 0;
  const size_t frame_bytes = size_t{img.width} * img.height * static_cast<size_t>(img.channels);
  if (frame_bytes == 0 || img.frames() == 0 || img.frames() > limits.frames ||
      img.pixels.size() != frame_bytes * img.frames())
    std::abort();
  // What the header promised: a file that reads whole reads as far as its size and frames too.
  if (!info_error.empty() || info.width != img.width || info.height != img.height || info.frames() != img.frames())
    std::abort();
  return 0;
}
