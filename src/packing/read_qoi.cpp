// QOI, through libqoi. libqoi decodes a whole file at once and fills the
// pixels of a file that ends early with its last one, so the operations of
// the file are counted first: they must give every pixel its header
// claims, before QOI's end marker.
#define QOI_IMPLEMENTATION
#define QOI_NO_STDIO
#include <qoi.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "readers.h"

namespace lz16::readers {

namespace {

constexpr size_t header_bytes = 14;
constexpr uint8_t end_marker[8] = {0, 0, 0, 0, 0, 0, 0, 1};
// A run byte gives at most 62 pixels.
constexpr uint64_t qoi_pixels_per_byte = 62;

// Whether the operations between the header and the end marker give at
// least pixels pixels, each operation whole.
bool holds(std::span<const uint8_t> file, uint64_t pixels) {
  const size_t end = file.size() - sizeof end_marker;
  uint64_t n = 0;
  for (size_t p = header_bytes; n < pixels; ++n) {
    if (p >= end) return false;
    const uint8_t op = file[p];
    if (op == 0xFE)  // RGB
      p += 4;
    else if (op == 0xFF)  // RGBA
      p += 5;
    else if ((op & 0xC0) == 0x80)  // LUMA
      p += 2;
    else if ((op & 0xC0) == 0xC0)  // RUN of 1 to 62
      n += op & 0x3F, p += 1;
    else  // INDEX, DIFF
      p += 1;
    if (p > end) return false;
  }
  return true;
}

}  // namespace

std::string read_qoi(const Input& in, Image& img) {
  const std::span<const uint8_t> file = in.file;
  if (file.size() < header_bytes + sizeof end_marker) return "bad QOI: the file ends early";
  auto be32 = [&](size_t at) {
    return uint32_t{file[at]} << 24 | uint32_t{file[at + 1]} << 16 | uint32_t{file[at + 2]} << 8 | file[at + 3];
  };
  const uint32_t width = be32(4), height = be32(8);
  const uint8_t channels = file[12], colour_space = file[13];
  if (std::string e = admit(in, img, "QOI", width, height, 1, qoi_pixels_per_byte); !e.empty()) return e;
  if ((channels != 3 && channels != 4) || colour_space > 1) return "bad QOI header";
  if (std::memcmp(file.data() + file.size() - sizeof end_marker, end_marker, sizeof end_marker) != 0)
    return "bad QOI: the file ends early";
  if (!holds(file, uint64_t{width} * height))
    return "bad QOI: its data ends before the " + std::to_string(width) + "x" + std::to_string(height) +
           " pixels its header claims";
  img.channels = channels;
  if (in.mode == Read::info) return info_frames(img, 1), "";
  if (file.size() > INT32_MAX) return "bad QOI: the file is over 2 GB";
  qoi_desc desc;
  const std::unique_ptr<uint8_t, decltype(&std::free)> pixels(
      static_cast<uint8_t*>(qoi_decode(file.data(), static_cast<int>(file.size()), &desc, channels)), &std::free);
  if (!pixels) return "bad QOI header";
  img.delay_ms = {0};
  if (in.mode == Read::pixels) img.pixels.assign(pixels.get(), pixels.get() + size_t{width} * height * channels);
  return "";
}

}  // namespace lz16::readers
