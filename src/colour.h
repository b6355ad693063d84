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

// Converts npix RGBA pixels to words: each channel c with alpha a becomes
// (c * a + bg * (255 - a) + 127) / 255, then the pixel its word. Opaque
// pixels keep their channels, so an opaque image gives the converter's words.
void rgba_to_words(const uint8_t* rgba, size_t npix, Rgb background, uint16_t* words);

}  // namespace lz16
