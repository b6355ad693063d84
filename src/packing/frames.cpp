#include "frames.h"

#include <stb/stb_image_resize.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <string_view>
#include <unordered_map>

namespace lz16 {

std::string check_cut(uint32_t width, uint32_t height, FrameCut cut) {
  if (cut.width == 0 || (width % cut.width == 0 && height % cut.height == 0)) return "";
  return std::to_string(width) + "x" + std::to_string(height) + " is not a whole number of " +
         std::to_string(cut.width) + "x" + std::to_string(cut.height) + " frames";
}

namespace {

// The w x h frame at from, scaled to sw x sh, into to.
void scale_frame(const uint8_t* from, int channels, uint32_t w, uint32_t h, const Scale& scale, uint32_t sw,
                 uint32_t sh, uint8_t* to) {
  if (scale.nearest) {
    for (uint32_t y = 0; y < sh; ++y)
      for (uint32_t x = 0; x < sw; ++x)
        std::copy_n(from + channels * (uint64_t{y} * h / sh * w + uint64_t{x} * w / sw), channels,
                    to + channels * (size_t{y} * sw + x));
    return;
  }
  if (!stbir_resize_uint8_generic(from, static_cast<int>(w), static_cast<int>(h), 0, to, static_cast<int>(sw),
                                  static_cast<int>(sh), 0, channels, channels == 4 ? 3 : STBIR_ALPHA_CHANNEL_NONE, 0,
                                  STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_SRGB, nullptr))
    throw std::bad_alloc();  // its only failure
}

// The w x h frame at from, turned, into to.
void turn_frame(const uint8_t* from, size_t channels, uint32_t w, uint32_t h, Turn turn, uint8_t* to) {
  const bool across = turn.degrees == 90 || turn.degrees == 270;
  const uint32_t tw = across ? h : w, th = across ? w : h;
  for (uint32_t y = 0; y < th; ++y)
    for (uint32_t x = 0; x < tw; ++x) {
      const uint32_t u = turn.flip_h ? tw - 1 - x : x, v = turn.flip_v ? th - 1 - y : y;  // in the rotated frame
      const uint32_t sx = turn.degrees == 90 ? v : turn.degrees == 180 ? w - 1 - u : turn.degrees == 270 ? w - 1 - v : u;
      const uint32_t sy = turn.degrees == 90 ? h - 1 - u : turn.degrees == 180 ? h - 1 - v : turn.degrees == 270 ? u : v;
      std::copy_n(from + channels * (size_t{sy} * w + sx), channels, to + channels * (size_t{y} * tw + x));
    }
}

}  // namespace

void scaled_size(uint32_t w, uint32_t h, const Scale& scale, uint32_t& out_w, uint32_t& out_h) {
  double sx = 1, sy = 1;
  if (scale.mode == Scale::Mode::fit)
    sx = sy = std::min({double(scale.width) / w, double(scale.height) / h, scale.enlarge ? HUGE_VAL : 1.0});
  else if (scale.mode == Scale::Mode::fill)
    sx = sy = std::max(double(scale.width) / w, double(scale.height) / h);
  else if (scale.mode == Scale::Mode::exact)
    sx = double(scale.width) / w, sy = double(scale.height) / h;
  else if (scale.mode == Scale::Mode::percent)
    sx = sy = scale.percent / 100.0;
  out_w = static_cast<uint32_t>(std::clamp(std::lround(w * sx), 1L, 1L << 30));
  out_h = static_cast<uint32_t>(std::clamp(std::lround(h * sy), 1L, 1L << 30));
  if (scale.mode == Scale::Mode::fill)  // rounding never leaves the box short
    out_w = std::max(out_w, scale.width), out_h = std::max(out_h, scale.height);
}

void shown_size(uint32_t w, uint32_t h, const Scale& scale, uint32_t& out_w, uint32_t& out_h) {
  if (scale.mode == Scale::Mode::fill)
    out_w = scale.width, out_h = scale.height;
  else
    scaled_size(w, h, scale, out_w, out_h);
}

Frames cut_frames(const Image& img, FrameCut cut, const Reduction& reduction, Turn turn, Scale scale) {
  Frames fr;
  const uint32_t cut_width = cut.width ? cut.width : img.width, cut_height = cut.width ? cut.height : img.height;
  uint32_t sw, sh, cw, ch;  // each frame scaled, then cropped
  scaled_size(cut_width, cut_height, scale, sw, sh);
  shown_size(cut_width, cut_height, scale, cw, ch);
  const bool scales = sw != cut_width || sh != cut_height, crops = cw != sw || ch != sh;
  const bool across = turn.degrees == 90 || turn.degrees == 270, turns = turn.degrees || turn.flip_h || turn.flip_v;
  fr.width = across ? ch : cw;
  fr.height = across ? cw : ch;
  // where the crop starts in the scaled frame
  const size_t crop_x = (sw - cw) * size_t{scale.anchor_x} / 2, crop_y = (sh - ch) * size_t{scale.anchor_y} / 2;
  fr.across = img.width / cut_width;
  fr.down = img.height / cut_height;
  const size_t per_image = size_t{fr.across} * fr.down, n = img.frames() * per_image;
  const size_t channels = static_cast<size_t>(img.channels), row_bytes = cut_width * channels;
  fr.words.resize(n * fr.pixels());
  if (reduction.alpha) fr.levels.resize(n * fr.pixels());
  fr.delay_ms.resize(n);
  std::vector<uint8_t> tile, scaled_tile(scales ? size_t{sw} * sh * channels : 0),
      cropped_tile(crops ? fr.pixels() * channels : 0), turned_tile(turns ? fr.pixels() * channels : 0);
  for (size_t k = 0; k < n; ++k) {
    const size_t source = k / per_image, col = k % per_image % fr.across, row = k % per_image / fr.across;
    const uint8_t* from = img.pixels.data() + channels * (size_t{img.width} * img.height * source +
                                                          size_t{img.width} * cut_height * row + cut_width * col);
    if (per_image > 1) {  // a frame of its own, so that its rows lie together
      tile.resize(cut_height * row_bytes);
      for (size_t y = 0; y < cut_height; ++y)
        std::copy_n(from + y * img.width * channels, row_bytes, tile.data() + y * row_bytes);
      from = tile.data();
    }
    if (scales) {
      scale_frame(from, img.channels, cut_width, cut_height, scale, sw, sh, scaled_tile.data());
      from = scaled_tile.data();
    }
    if (crops) {
      for (size_t y = 0; y < ch; ++y)
        std::copy_n(from + channels * ((crop_y + y) * sw + crop_x), channels * cw,
                    cropped_tile.data() + channels * y * cw);
      from = cropped_tile.data();
    }
    if (turns) {
      turn_frame(from, channels, cw, ch, turn, turned_tile.data());
      from = turned_tile.data();
    }
    const Reduced r = image_words(from, img.channels, fr.width, fr.pixels(), reduction, fr.words.data() + k * fr.pixels(),
                                  reduction.alpha ? fr.levels.data() + k * fr.pixels() : nullptr);
    fr.reduced.moved += r.moved;
    fr.reduced.loss.squared_error += r.loss.squared_error;
    fr.reduced.loss.samples += r.loss.samples;
    fr.delay_ms[k] = img.delay_ms[source];
  }
  return fr;
}

Box shown_box(const Frames& fr, size_t k, std::optional<uint16_t> key) {
  const std::span<const uint16_t> words = fr.frame(k);
  const std::span<const uint8_t> levels = fr.frame_levels(k);
  uint32_t x0 = fr.width, y0 = UINT32_MAX, x1 = 0, y1 = 0;
  for (size_t at = 0; at < words.size(); ++at) {
    if (levels.empty() ? key && words[at] == *key : levels[at] == 0) continue;
    const auto x = static_cast<uint32_t>(at % fr.width), y = static_cast<uint32_t>(at / fr.width);
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = y;
  }
  return y0 == UINT32_MAX ? Box{0, 0, 1, 1} : Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
}

void crop(const Frames& fr, size_t k, Box box, PixelWords& words, std::vector<uint8_t>& levels) {
  words.clear(), levels.clear();
  for (uint32_t y = box.y; y < box.y + box.height; ++y) {
    const size_t at = size_t{y} * fr.width + box.x;
    words.insert(words.end(), fr.frame(k).begin() + at, fr.frame(k).begin() + at + box.width);
    if (!fr.levels.empty())
      levels.insert(levels.end(), fr.frame_levels(k).begin() + at, fr.frame_levels(k).begin() + at + box.width);
  }
}

std::vector<uint32_t> first_copies(const Frames& fr, std::span<const Box> boxes) {
  // Frame k's rows within its box, each as bytes: its words', then its levels'.
  auto rows = [&](uint32_t k, auto each) {
    const Box& b = boxes[k];
    for (uint32_t y = b.y; y < b.y + b.height; ++y) {
      const size_t at = size_t{y} * fr.width + b.x;
      each(std::string_view(reinterpret_cast<const char*>(fr.frame(k).data() + at), 2 * size_t{b.width}));
      if (!fr.levels.empty())
        each(std::string_view(reinterpret_cast<const char*>(fr.frame_levels(k).data() + at), b.width));
    }
  };
  auto all_rows = [&](uint32_t k) {
    std::vector<std::string_view> out;
    rows(k, [&](std::string_view r) { out.push_back(r); });
    return out;
  };
  auto same = [&](uint32_t a, uint32_t b) { return boxes[a] == boxes[b] && all_rows(a) == all_rows(b); };
  std::vector<uint32_t> first(fr.count());
  std::unordered_multimap<uint64_t, uint32_t> seen;  // a digest of a frame's box, words and levels -> frames stored
  for (uint32_t k = 0; k < fr.count(); ++k) {
    uint64_t hash = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(&boxes[k]), sizeof(Box)));
    rows(k, [&](std::string_view r) { hash = hash * 0x100000001b3u ^ std::hash<std::string_view>{}(r); });
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
