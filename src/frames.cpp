#include "frames.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>

namespace lz16 {

std::string check_cut(uint32_t width, uint32_t height, FrameCut cut) {
  if (cut.width == 0 || (width % cut.width == 0 && height % cut.height == 0)) return "";
  return std::to_string(width) + "x" + std::to_string(height) + " is not a whole number of " +
         std::to_string(cut.width) + "x" + std::to_string(cut.height) + " frames";
}

Frames cut_frames(const Image& img, FrameCut cut, const Reduction& reduction) {
  Frames fr;
  fr.width = cut.width ? cut.width : img.width;
  fr.height = cut.width ? cut.height : img.height;
  fr.across = img.width / fr.width;
  fr.down = img.height / fr.height;
  const size_t per_image = size_t{fr.across} * fr.down, n = img.frames() * per_image;
  const size_t channels = static_cast<size_t>(img.channels), row_bytes = fr.width * channels;
  fr.words.resize(n * fr.pixels());
  fr.delay_ms.resize(n);
  std::vector<uint8_t> tile;
  for (size_t k = 0; k < n; ++k) {
    const size_t source = k / per_image, col = k % per_image % fr.across, row = k % per_image / fr.across;
    const uint8_t* from = img.pixels.data() + channels * (size_t{img.width} * img.height * source +
                                                          size_t{img.width} * fr.height * row + fr.width * col);
    if (per_image > 1) {  // a frame of its own, so that its rows lie together
      tile.resize(fr.height * row_bytes);
      for (size_t y = 0; y < fr.height; ++y)
        std::copy_n(from + y * img.width * channels, row_bytes, tile.data() + y * row_bytes);
      from = tile.data();
    }
    const Reduced r =
        image_words(from, img.channels, fr.width, fr.pixels(), reduction, fr.words.data() + k * fr.pixels());
    fr.reduced.moved += r.moved;
    fr.reduced.loss.squared_error += r.loss.squared_error;
    fr.reduced.loss.samples += r.loss.samples;
    fr.delay_ms[k] = img.delay_ms.empty() ? 0 : img.delay_ms[source];
  }
  return fr;
}

std::vector<uint32_t> first_copies(const Frames& fr) {
  std::vector<uint32_t> first(fr.count());
  std::unordered_map<std::string_view, uint32_t> seen;  // a frame's words as bytes -> its first frame
  for (uint32_t k = 0; k < fr.count(); ++k) {
    const std::span<const uint16_t> f = fr.frame(k);
    first[k] = seen.try_emplace({reinterpret_cast<const char*>(f.data()), f.size_bytes()}, k).first->second;
  }
  return first;
}

PixelWords uncut(const Frames& fr, uint32_t& width, uint32_t& height) {
  const size_t per_image = size_t{fr.across} * fr.down;
  width = fr.width * fr.across;
  height = static_cast<uint32_t>(fr.height * fr.down * (fr.count() / per_image));
  PixelWords out(size_t{width} * height);
  for (size_t k = 0; k < fr.count(); ++k) {
    const size_t source = k / per_image, col = k % per_image % fr.across, row = k % per_image / fr.across;
    uint16_t* to = out.data() + size_t{width} * (fr.height * (fr.down * source + row)) + fr.width * col;
    for (size_t y = 0; y < fr.height; ++y) std::copy_n(fr.frame(k).data() + y * fr.width, fr.width, to + y * width);
  }
  return out;
}

}  // namespace lz16
