#include "colour.h"

#include "pixels.h"

namespace lz16 {

std::optional<Rgb> parse_rgb(std::string_view text) {
  if (!text.empty() && text[0] == '#') text.remove_prefix(1);
  if (text.size() != 6) return std::nullopt;
  uint8_t v[3] = {};
  for (size_t k = 0; k < 6; ++k) {
    const char c = text[k];
    const int d = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
    if (d < 0) return std::nullopt;
    v[k / 2] = static_cast<uint8_t>(v[k / 2] << 4 | d);
  }
  return Rgb{v[0], v[1], v[2]};
}

namespace {

uint8_t over(unsigned c, unsigned a, unsigned bg) { return static_cast<uint8_t>((c * a + bg * (255 - a) + 127) / 255); }

}  // namespace

void image_words(const uint8_t* rgba, int channels, size_t npix, Rgb bg, uint16_t* words) {
  if (channels == 3) return convert_rgb24(rgba, npix, words);
  for (size_t k = 0; k < npix; ++k, rgba += 4) {
    const unsigned a = rgba[3];
    words[k] = a == 255 ? pixel_word(rgba[0], rgba[1], rgba[2])
                        : pixel_word(over(rgba[0], a, bg.r), over(rgba[1], a, bg.g), over(rgba[2], a, bg.b));
  }
}

}  // namespace lz16
