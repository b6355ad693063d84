#include "image_in.h"

#include <png.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "readers.h"

namespace lz16 {

namespace readers {

uint64_t allowance(size_t file_size) { return (uint64_t{64} << 20) + 16 * uint64_t{file_size}; }

std::string admit(const Input& in, Image& img, const char* format, uint64_t width, uint64_t height, uint64_t frames,
                  uint64_t pixels_per_byte) {
  if (width == 0 || height == 0) return "the image has no pixels";
  if (frames > in.limits.frames) return too_many_frames(frames, in.limits.frames);
  const auto limit = static_cast<uint64_t>(in.limits.pixels);
  const std::string size = std::to_string(width) + "x" + std::to_string(height);
  if (width > limit || height > limit || width * height > limit)
    return "image too large: " + size + " is more than " + std::to_string(limit) + " pixels";
  if (width * height * frames > limit)
    return "image too large: " + std::to_string(frames) + " frames of " + size + " are more than " +
           std::to_string(limit) + " pixels";
  if (pixels_per_byte && width * height * frames > pixels_per_byte * in.file.size())
    return cannot_fit(format, width, height, in.file.size());
  img.width = static_cast<uint32_t>(width);  // 32 bits at most once the limit has passed
  img.height = static_cast<uint32_t>(height);
  return "";
}

std::string cannot_fit(const char* format, uint64_t width, uint64_t height, size_t file_size) {
  return std::string("bad ") + format + ": " + std::to_string(width) + "x" + std::to_string(height) +
         " pixels cannot fit in its " + std::to_string(file_size) + " bytes";
}

std::string check_first(const Input& in, uint64_t kept_bytes, Reader read) {
  if (in.mode != Read::pixels || kept_bytes <= allowance(in.file.size())) return "";
  Image checked;
  return read(in.with(Read::check), checked);
}

std::string canvas_frames(Image& img, std::vector<uint8_t> pixels, std::vector<uint32_t> delays) {
  if (delays.empty()) return "the image has no pixels";
  img.channels = 4;
  img.pixels = std::move(pixels);
  if (delays.size() == 1) delays = {0};
  img.delay_ms = std::move(delays);
  return "";
}

void info_frames(Image& img, uint64_t frames) {
  img.pixels.clear();
  img.delay_ms.assign(frames, 0);
}

}  // namespace readers

namespace {

using readers::Input;
using readers::Read;

std::string read_bytes(const Input& in, Image& img) {
  const std::span<const uint8_t> f = in.file;
  auto starts = [&](const char* magic, size_t at = 0) {
    const size_t n = std::strlen(magic);
    return f.size() >= at + n && std::memcmp(f.data() + at, magic, n) == 0;
  };
  img = {};
  if (f.size() >= 8 && png_sig_cmp(f.data(), 0, 8) == 0) return readers::read_png(in, img);
  if (starts("\xFF\xD8\xFF")) return readers::read_jpeg(in, img);
  if (starts("GIF8")) return readers::read_gif(in, img);
  if (starts("P6")) return readers::read_ppm(in, img);
  if (starts("qoif")) return readers::read_qoi(in, img);
  if (starts("RIFF") && starts("WEBP", 8)) return readers::read_webp(in, img);
  if (starts("BM")) return readers::read_bmp(in, img);
  // TGA has no signature: a header whose fields make sense for TGA is one.
  if (std::string error = readers::read_tga(in, img); error != "not a TGA") return error;
  // A name that says what the file should be is told it is not that.
  constexpr std::pair<std::string_view, std::string_view> endings[] = {
      {".png", "PNG"}, {".jpg", "JPEG"}, {".jpeg", "JPEG"}, {".gif", "GIF"}, {".webp", "WebP"},
      {".bmp", "BMP"}, {".tga", "TGA"},  {".qoi", "QOI"},   {".ppm", "PPM"}};
  std::string ending = std::filesystem::path(in.name).extension().string();
  std::transform(ending.begin(), ending.end(), ending.begin(), [](unsigned char c) { return std::tolower(c); });
  for (const auto& [suffix, format] : endings)
    if (ending == suffix)
      return "not a " + std::string(format) + " file, though its name says so, nor any image lz16pack reads: its " +
             std::to_string(f.size()) + " bytes are something else";
  return "not an image lz16pack reads (PNG, JPEG, GIF, WebP, BMP, TGA, QOI, binary PPM): convert it to PNG "
         "first, for example with ImageMagick's convert FILE out.png";
}

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

}  // namespace

std::string too_many_frames(uint64_t frames, uint64_t limit) {
  return std::to_string(frames) + " frames, more than the " + std::to_string(limit) + " one image may give";
}

bool has_transparency(const Image& img) {
  for (size_t k = 3; img.channels == 4 && k < img.pixels.size(); k += 4)
    if (img.pixels[k] < 255) return true;
  return false;
}

std::string read_input(const std::string& path, std::vector<uint8_t>& bytes) {
  bytes.clear();
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> opened(path == "-" ? nullptr : std::fopen(path.c_str(), "rb"));
  std::FILE* f = path == "-" ? stdin : opened.get();
  if (!f) return std::strerror(errno);
  std::error_code ec;
  const uintmax_t size = path == "-" ? 0 : std::filesystem::file_size(path, ec);
  size_t chunk = ec || size == 0 ? size_t{1} << 16 : static_cast<size_t>(size) + 1;  // + 1 sees the end at once
  for (;;) {
    const size_t have = bytes.size();
    bytes.resize(have + chunk);
    const size_t n = std::fread(bytes.data() + have, 1, chunk, f);
    bytes.resize(have + n);
    if (n < chunk) break;
    chunk = std::max(chunk, bytes.size());  // doubling: a long stream is copied a few times, not once a chunk
  }
  return std::ferror(f) ? std::strerror(errno ? errno : EIO) : "";
}

std::string read_image(std::span<const uint8_t> file, Image& img, ImageLimits limits, std::string_view name) {
  return read_bytes({file, limits, Read::pixels, name}, img);
}

std::string read_image(const std::string& path, Image& img, ImageLimits limits) {
  std::vector<uint8_t> file;
  if (std::string error = read_input(path, file); !error.empty()) return error;
  return read_image(file, img, limits, path);
}

std::string read_image_info(std::span<const uint8_t> file, Image& img, ImageLimits limits) {
  return read_bytes({file, limits, Read::info}, img);
}

}  // namespace lz16
