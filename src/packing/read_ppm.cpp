// Binary PPM (P6) with a maxval of 255.
#include <string>

#include "readers.h"

namespace lz16::readers {

namespace {

// Reads a header number after white space and # comments; -1 if there is none.
int64_t ppm_number(Source& in) {
  int c = in.get();
  for (;;) {
    if (c == '#') {
      while (c != '\n' && c != -1) c = in.get();
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      c = in.get();
    } else {
      break;
    }
  }
  if (c < '0' || c > '9') return -1;
  int64_t v = 0;
  for (; c >= '0' && c <= '9'; c = in.get())
    if ((v = v * 10 + (c - '0')) > (int64_t{1} << 40)) return -1;
  if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return -1;  // one white space before the pixels
  return v;
}

}  // namespace

std::string read_ppm(const Input& in, Image& img) {
  Source src{in.file, 2};
  const int64_t width = ppm_number(src), height = ppm_number(src), maxval = ppm_number(src);
  if (width < 0 || height < 0 || maxval < 0) return "bad PPM header";
  if (maxval != 255) return "PPM with maxval " + std::to_string(maxval) + " is not supported (only 255)";
  if (std::string e = admit(in, img, "PPM", static_cast<uint64_t>(width), static_cast<uint64_t>(height), 1, 0);
      !e.empty())
    return e;
  const size_t bytes = static_cast<size_t>(width * height) * 3;
  if (src.left() < bytes) return "truncated PPM";
  img.channels = 3;
  img.delay_ms = {0};
  if (in.mode == Read::pixels)
    img.pixels.assign(in.file.begin() + static_cast<ptrdiff_t>(src.pos),
                      in.file.begin() + static_cast<ptrdiff_t>(src.pos + bytes));
  return "";
}

}  // namespace lz16::readers
