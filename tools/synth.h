// Synthetic test images as raw 24-bit RGB, deterministic for a given seed:
// the sample image, the test suites and the benchmarks all draw on them.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace lz16::synth {

// Known kinds:
//   gradient  smooth two-axis colour ramps (wallpaper-like)
//   noise     independent random bytes (photo noise, worst case for matching)
//   flat      one colour
//   tiles     a tile map of 16x16 sprite-like tiles with a few colours each
//   twocolor  random choice between two colours per pixel
//   periodic  a random row of period near the window, repeated with rare changes
//   stripes   runs of equal pixels of random length 1..40, few colours
// Returns an empty vector for an unknown kind.
std::vector<uint8_t> make_rgb24(std::string_view kind, int width, int height, uint64_t seed = 1);

// All kinds, for loops over them.
inline constexpr std::string_view kinds[] = {"gradient", "noise", "flat", "tiles", "twocolor", "periodic", "stripes"};

}  // namespace lz16::synth
