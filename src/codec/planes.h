// Images with alpha as two planes, a colour plane and an alpha plane, each
// an lz16 file's words (the layout is in format.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pixels.h"

namespace lz16 {

// The colour plane: the words of the pixels whose level is above 0.
PixelWords colour_plane(std::span<const uint16_t> words, std::span<const uint8_t> levels);

// The alpha plane of the levels, for a colour plane file of colour_size bytes.
PixelWords alpha_plane(std::span<const uint8_t> levels, size_t colour_size);

// An image's words and levels from its planes' words, a pixel of level 0
// getting the word 0. Returns "" or why the planes do not belong together.
std::string join_planes(std::span<const uint16_t> colour, size_t colour_size, std::span<const uint16_t> alpha,
                        PixelWords& words, std::vector<uint8_t>& levels);

}  // namespace lz16
