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

// An image with alpha in the coded form: the colour plane's lz16 file and
// the alpha plane's bytes, the smaller of the words of every shown pixel
// and those of the pixels that change from the last shown pixel's (one
// word for an image of one colour). width: the image's, where copies from
// the row above are looked for.
struct CodedPlanes {
  std::vector<uint8_t> colour, alpha;
};
CodedPlanes code_planes(std::span<const uint16_t> words, std::span<const uint8_t> levels, uint32_t width);

// Whether an alpha plane is in the coded form (else it is an lz16 file).
bool is_coded_alpha(std::span<const uint8_t> alpha);

// The image of a coded alpha plane and its colour plane's words (from a
// file of colour_size bytes), as join_planes. Reads only alpha's bytes and
// refuses every malformed plane; returns "" or why not.
std::string join_coded(std::span<const uint16_t> colour, size_t colour_size, std::span<const uint8_t> alpha,
                       PixelWords& words, std::vector<uint8_t>& levels);

// A mask: the levels alone, coded as an alpha plane of form coded_mask.
std::vector<uint8_t> code_mask(std::span<const uint8_t> levels, uint32_t width);

// Whether bytes are a mask.
bool is_mask(std::span<const uint8_t> bytes);

// The levels of a mask, refusing every malformed one; returns "" or why not.
std::string read_mask(std::span<const uint8_t> mask, std::vector<uint8_t>& levels);

}  // namespace lz16
