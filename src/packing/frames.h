// Frames: the pictures one asset holds. An image is cut into frames of one
// size, left to right, then top to bottom, each frame of an animation in
// turn, and every frame is reduced to pixel words on its own, from its own
// top-left corner, so that a dither pattern lies the same in every frame.
// Repeats are found on those words, as the device will show them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "colour.h"
#include "image_in.h"
#include "pixels.h"

namespace lz16 {

// A box within a frame: a trimmed frame's place in the untrimmed one.
struct Box {
  uint32_t x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Box&) const = default;
};

// The size of the frames to cut; 0 x 0 takes each frame whole.
struct FrameCut {
  uint32_t width = 0, height = 0;
};

// How each frame is scaled once cut, before it is turned: to fit inside
// width x height keeping its shape (only ever smaller, unless enlarge), to
// cover width x height keeping its shape and then cropped to it at anchor,
// to width x height exactly, or to percent of its size, each side at least
// 1 pixel. nearest repeats and drops pixels (for pixel art, by whole
// factors); else the filter is smooth (stb_image_resize's default: Mitchell
// down, Catmull-Rom up), in linear light and weighted by alpha, so that
// clear pixels lend no colour.
struct Scale {
  enum class Mode { none, fit, fill, exact, percent } mode = Mode::none;
  uint32_t width = 0, height = 0, percent = 100;
  bool nearest = false;
  bool enlarge = false;  // fit: small frames grow to the box too
  // fill: what of the covering picture is kept, across (0 left, 1 centre,
  // 2 right) and down (0 top, 1 centre, 2 bottom)
  uint8_t anchor_x = 1, anchor_y = 1;
};

// --anchor's names, and what of a --fill picture each keeps.
struct Anchor {
  std::string_view name;
  uint8_t x, y;
};
inline constexpr std::array<Anchor, 10> anchors{{{"centre", 1, 1}, {"center", 1, 1}, {"top", 1, 0},
                                                 {"bottom", 1, 2}, {"left", 0, 1}, {"right", 2, 1},
                                                 {"top-left", 0, 0}, {"top-right", 2, 0}, {"bottom-left", 0, 2},
                                                 {"bottom-right", 2, 2}}};

// The size a w x h frame scales to (with fill, before it is cropped to the
// box).
void scaled_size(uint32_t w, uint32_t h, const Scale& scale, uint32_t& out_w, uint32_t& out_h);

// The size of a w x h frame once scaled and cropped.
void shown_size(uint32_t w, uint32_t h, const Scale& scale, uint32_t& out_w, uint32_t& out_h);

// How each frame is turned once cut (and scaled): rotated clockwise by 0, 90, 180 or 270
// degrees, then mirrored left to right (flip_h) or top to bottom (flip_v).
struct Turn {
  int degrees = 0;
  bool flip_h = false, flip_v = false;
};

struct Frames {
  uint32_t width = 0, height = 0;  // of one frame
  uint32_t across = 1, down = 1;   // frames cut from each row and column of the image
  PixelWords words;                // every frame's words, one frame after the other
  std::vector<uint8_t> levels;     // with alpha, every frame's alpha levels likewise; else empty
  std::vector<uint32_t> delay_ms;  // one a frame: the delay of the image frame it was cut from, else 0
  Reduced reduced;                 // over every frame

  size_t count() const { return delay_ms.size(); }
  size_t pixels() const { return size_t{width} * height; }
  std::span<const uint16_t> frame(size_t k) const { return {words.data() + k * pixels(), pixels()}; }
  std::span<const uint8_t> frame_levels(size_t k) const {
    return levels.empty() ? std::span<const uint8_t>() : std::span(levels.data() + k * pixels(), pixels());
  }
};

// "" when frames of the cut's size tile a width x height image exactly,
// else why not, naming both sizes.
std::string check_cut(uint32_t width, uint32_t height, FrameCut cut);

// Cuts img into frames, scales and turns each, and reduces each, with alpha
// levels as the reduction says. The cut, in the image's pixels, must tile
// the image. May throw std::bad_alloc.
Frames cut_frames(const Image& img, FrameCut cut, const Reduction& reduction, Turn turn = {}, Scale scale = {});

// The box of frame k's pixels that show (level above 0, or with a key, any
// other word); a 1x1 box at the corner if none does.
Box shown_box(const Frames& frames, size_t k, std::optional<uint16_t> key);

// Frame k's words and levels within box, row after row.
void crop(const Frames& frames, size_t k, Box box, PixelWords& words, std::vector<uint8_t>& levels);

// For each frame, the first frame with the same box (one a frame) and the
// same words and levels within it: itself unless it repeats an earlier one.
std::vector<uint32_t> first_copies(const Frames& frames, std::span<const Box> boxes);

// The frames laid out as they were cut: each image frame's frames in their
// grid, the image frames one below the other, and their levels likewise
// if levels is given. Sets width and height.
PixelWords uncut(const Frames& frames, uint32_t& width, uint32_t& height, std::vector<uint8_t>* levels = nullptr);

}  // namespace lz16
