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
  if (reduction.alpha) fr.levels.resize(n * fr.pixels());
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
    const Reduced r = image_words(from, img.channels, fr.width, fr.pixels(), reduction, fr.words.data() + k * fr.pixels(),
                                  reduction.alpha ? fr.levels.data() + k * fr.pixels() : nullptr);
    fr.reduced.moved += r.moved;
    fr.reduced.loss.squared_error += r.loss.squared_error;
    fr.reduced.loss.samples += r.loss.samples;
    fr.delay_ms[k] = img.delay_ms.empty() ? 0 : img.delay_ms[source];
  }
  return fr;
}

std::vector<uint32_t> first_copies(const Frames& fr) {
  std::vector<uint32_t> first(fr.count());
  auto bytes = [](auto span) { return std::string_view(reinterpret_cast<const char*>(span.data()), span.size_bytes()); };
  auto same = [&](uint32_t a, uint32_t b) {
    return bytes(fr.frame(a)) == bytes(fr.frame(b)) && bytes(fr.frame_levels(a)) == bytes(fr.frame_levels(b));
  };
  std::unordered_multimap<size_t, uint32_t> seen;  // a hash of a frame's words and levels -> frames stored
  for (uint32_t k = 0; k < fr.count(); ++k) {
    const std::hash<std::string_view> hash_of;
    const size_t hash = hash_of(bytes(fr.frame(k))) ^ hash_of(bytes(fr.frame_levels(k)));
    const auto [from, to] = seen.equal_range(hash);
    const auto it = std::find_if(from, to, [&](const auto& e) { return same(e.second, k); });
    first[k] = it == to ? seen.emplace(hash, k)->second : it->second;
  }
  return first;
}

PixelWords uncut(const Frames& fr, uint32_t& width, uint32_t& height, std::vector<uint8_t>* levels) {
  const size_t per_image = size_t{fr.across} * fr.down;
  width = fr.width * fr.across;
  height = static_cast<uint32_t>(fr.height * fr.down * (fr.count() / per_image));
  PixelWords out(size_t{width} * height);
  if (levels) levels->assign(fr.levels.empty() ? 0 : out.size(), 0);
  for (size_t k = 0; k < fr.count(); ++k) {
    const size_t source = k / per_image, col = k % per_image % fr.across, row = k % per_image / fr.across;
    const size_t at = size_t{width} * (fr.height * (fr.down * source + row)) + fr.width * col;
    for (size_t y = 0; y < fr.height; ++y) {
      std::copy_n(fr.frame(k).data() + y * fr.width, fr.width, out.data() + at + y * width);
      if (levels && !fr.levels.empty())
        std::copy_n(fr.frame_levels(k).data() + y * fr.width, fr.width, levels->data() + at + y * width);
    }
  }
  return out;
}

}  // namespace lz16
