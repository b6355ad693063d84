// Colour: 8-bit RGBA to pixel words. The format has no transparency, so
// each pixel is first composited over a background colour.
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

// Converts npix pixels of channels bytes each, RGB (3) or RGBA (4), to
// words. With alpha a, each channel c becomes (c * a + bg * (255 - a) + 127)
// / 255 first. Opaque pixels keep their channels, so an opaque image gives
// the converter's words.
void image_words(const uint8_t* pixels, int channels, size_t npix, Rgb background, uint16_t* words);

}  // namespace lz16
