#include "planes.h"

#include "format.h"

namespace lz16 {

PixelWords colour_plane(std::span<const uint16_t> words, std::span<const uint8_t> levels) {
  PixelWords colour;
  colour.reserve(words.size());
  for (size_t k = 0; k < words.size(); ++k)
    if (levels[k]) colour.push_back(words[k]);
  return colour;
}

PixelWords alpha_plane(std::span<const uint8_t> levels, size_t colour_size) {
  const size_t words = (levels.size() + alpha_per_word - 1) / alpha_per_word;
  const unsigned padding = static_cast<unsigned>(words * alpha_per_word - levels.size());
  const unsigned tag = static_cast<unsigned>(colour_size) & alpha_tag_mask;
  PixelWords alpha(1 + words);
  alpha[0] = level_word(alpha_mark + padding, tag >> 5, tag & 31);
  for (size_t k = 0; k < words; ++k) {
    unsigned l[alpha_per_word] = {};
    for (size_t i = 0; i < alpha_per_word && alpha_per_word * k + i < levels.size(); ++i)
      l[i] = levels[alpha_per_word * k + i];
    alpha[1 + k] = level_word(l[0], l[1], l[2]);
  }
  return alpha;
}

std::string join_planes(std::span<const uint16_t> colour, size_t colour_size, std::span<const uint16_t> alpha,
                        PixelWords& words, std::vector<uint8_t>& levels) {
  if (alpha.empty() || (alpha[0] >> 11) < alpha_mark || (alpha[0] >> 11) > alpha_mark + 2)
    return "not an alpha plane";
  if (((alpha[0] >> 1 & 0x3E0u) | (alpha[0] & 31u)) != (colour_size & alpha_tag_mask))
    return "the alpha plane is not the colour plane's";
  const size_t padding = (alpha[0] >> 11) - alpha_mark;
  if (alpha.size() < 2 || (alpha.back() & (padding == 2 ? 0x7DFu : padding == 1 ? 0x1Fu : 0u)) != 0)
    return "the alpha plane has no level, or padding that is not 0";
  const size_t npix = alpha_per_word * (alpha.size() - 1) - padding;
  words.assign(npix, 0);
  levels.assign(npix, 0);
  size_t used = 0;
  for (size_t k = 0; k < npix; ++k) {
    const uint16_t w = alpha[1 + k / alpha_per_word];
    levels[k] = static_cast<uint8_t>(k % 3 == 0 ? w >> 11 : k % 3 == 1 ? w >> 6 & 31 : w & 31);
    if (levels[k] && used < colour.size()) words[k] = colour[used];
    used += levels[k] != 0;
  }
  if (used != colour.size())
    return "the colour plane has " + std::to_string(colour.size()) + " pixels for " + std::to_string(used) +
           " that its alpha plane shows";
  return "";
}

}  // namespace lz16
