// lz16-mkimage: writes a synthetic raw 24-bit RGB image to standard output,
// for trying the converter without an image at hand.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "synth.h"

int main(int argc, char** argv) {
  if (argc < 4 || argc > 5) {
    std::fprintf(stderr, "usage: lz16-mkimage KIND WIDTH HEIGHT [SEED]\nkinds:");
    for (auto k : lz16::synth::kinds) std::fprintf(stderr, " %.*s", static_cast<int>(k.size()), k.data());
    std::fprintf(stderr, "\n");
    return 2;
  }
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const unsigned long long seed = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 1;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
    std::fprintf(stderr, "lz16-mkimage: width and height must be 1 to 16384\n");
    return 2;
  }
  const auto rgb = lz16::synth::make_rgb24(argv[1], width, height, seed);
  if (rgb.empty()) {
    std::fprintf(stderr, "lz16-mkimage: unknown kind '%s'\n", argv[1]);
    return 2;
  }
  if (std::fwrite(rgb.data(), 1, rgb.size(), stdout) != rgb.size() || std::fflush(stdout) != 0) {
    std::perror("lz16-mkimage: cannot write standard output");
    return 1;
  }
  return 0;
}
