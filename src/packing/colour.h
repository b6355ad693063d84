// Colour: 8-bit RGBA to pixel words. A word has no transparency, so each
// pixel is first composited over a background colour (or, with a key, a
// clear pixel becomes the key's word); then each channel is reduced to a
// 5-bit level. With alpha, the colour is kept straight instead, and the
// alpha becomes a 5-bit level of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace lz16 {

struct Rgb {
  uint8_t r, g, b;
};

// "RRGGBB" (six hex digits, an optional leading '#') as a colour.
std::optional<Rgb> parse_rgb(std::string_view text);

// How pixels become words.
struct Reduction {
  Rgb background{0, 0, 0};
  // Each channel to the level whose widened value is nearest (a tie goes
  // to the lower level), instead of its top five bits.
  bool round = false;
  // A 4x4 ordered dither before the reduction. A channel value that a
  // level widens to exactly is kept as that level, undithered.
  bool dither = false;
  // Pixels with alpha below 128 become the key colour's word; an opaque
  // pixel that would get that word has its blue level moved one toward
  // the middle instead.
  std::optional<Rgb> key;
  // Alpha kept as a level of its own: the colour is reduced straight, not
  // composited, and a pixel of level 0 gets the word 0. Not with a key.
  bool alpha = false;
  // Only the alpha matters (a mask): every word is 0, and the loss is the
  // levels' against the source's alpha.
  bool mask = false;
};

// The 5-bit level of the 8-bit channel value v. threshold is the dither
// matrix's entry (0 to 15) for the pixel, or -1 for no dither.
unsigned channel_level(unsigned v, bool round, int threshold);

// The key colour's word (reduced without dither); the reduction must have a key.
uint16_t key_word(const Reduction& reduction);

// The channel value c drawn with alpha a over bg, all 8-bit:
// (c * a + bg * (255 - a) + 127) / 255.
uint8_t composite(unsigned c, unsigned a, unsigned bg);

// The 5-bit level of an 8-bit alpha: the level whose widened value is
// nearest, a tie going to the lower, so that 0 to 4 are transparent (0)
// and 252 to 255 opaque (31).
unsigned alpha_level(unsigned a);

// How far the words' widened colours lie from the source's, over the
// pixels with alpha of 128 or more, composited over the background; with
// alpha, over every pixel drawn over black and over white, the words with
// their widened levels, the source with its own alpha.
struct ColourLoss {
  uint64_t squared_error = 0;  // summed over every channel of those pixels
  uint64_t samples = 0;        // channels compared: 3 a pixel
};

struct Reduced {
  uint64_t moved = 0;  // opaque pixels moved off the key
  ColourLoss loss;
};

// Converts the width-wide image of npix pixels, channels bytes each, RGB (3)
// or RGBA (4), to words. With alpha a, each channel c becomes (c * a + bg *
// (255 - a) + 127) / 255 first. Opaque pixels keep their channels, so an
// opaque image with the default reduction gives the converter's words.
// With reduction.alpha (and RGBA) the levels go to levels, one a pixel.
Reduced image_words(const uint8_t* pixels, int channels, uint32_t width, size_t npix, const Reduction& reduction,
                    uint16_t* words, uint8_t* levels = nullptr);

// Peak signal-to-noise ratio in dB; infinite when nothing was lost.
double psnr(const ColourLoss& loss);

}  // namespace lz16
