#include "synth.h"

#include <array>

namespace lz16::synth {

namespace {

// splitmix64: small, fast and good enough for test pictures.
struct Rng {
  uint64_t state;
  uint64_t next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  uint32_t below(uint32_t n) { return static_cast<uint32_t>(next() % n); }
};

using Rgb = std::array<uint8_t, 3>;

Rgb random_colour(Rng& rng) {
  const uint64_t v = rng.next();
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16)};
}

void put(std::vector<uint8_t>& out, size_t k, Rgb c) {
  out[3 * k] = c[0];
  out[3 * k + 1] = c[1];
  out[3 * k + 2] = c[2];
}

}  // namespace

std::vector<uint8_t> make_rgb24(std::string_view kind, int width, int height, uint64_t seed) {
  Rng rng{seed};
  const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> out(3 * n);
  if (kind == "gradient") {
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const int u = width > 1 ? x * 255 / (width - 1) : 0, v = height > 1 ? y * 255 / (height - 1) : 0;
        put(out, static_cast<size_t>(y) * width + x,
            {static_cast<uint8_t>(u), static_cast<uint8_t>(v), static_cast<uint8_t>((u + v) / 2)});
      }
  } else if (kind == "noise") {
    for (auto& b : out) b = static_cast<uint8_t>(rng.next());
  } else if (kind == "flat") {
    const Rgb c = random_colour(rng);
    for (size_t k = 0; k < n; ++k) put(out, k, c);
  } else if (kind == "tiles") {
    constexpr int tile = 16, ntiles = 12;
    std::vector<Rgb> tiles(ntiles * tile * tile);
    for (int t = 0; t < ntiles; ++t) {
      const Rgb pal[4] = {random_colour(rng), random_colour(rng), random_colour(rng), random_colour(rng)};
      for (int k = 0; k < tile * tile; ++k) tiles[t * tile * tile + k] = pal[rng.below(8) < 5 ? 0 : rng.below(4)];
    }
    const int cols = (width + tile - 1) / tile, rows = (height + tile - 1) / tile;
    std::vector<int> map(static_cast<size_t>(cols) * rows);
    for (auto& t : map) t = static_cast<int>(rng.below(ntiles));
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x)
        put(out, static_cast<size_t>(y) * width + x,
            tiles[map[(y / tile) * cols + x / tile] * tile * tile + (y % tile) * tile + x % tile]);
  } else if (kind == "twocolor") {
    const Rgb a = random_colour(rng), b = random_colour(rng);
    for (size_t k = 0; k < n; ++k) put(out, k, rng.below(2) ? a : b);
  } else if (kind == "periodic") {
    const size_t period = 2040 + rng.below(16);
    std::vector<Rgb> row(period);
    for (auto& c : row) c = random_colour(rng);
    for (size_t k = 0; k < n; ++k) {
      if (rng.below(64) == 0) row[k % period] = random_colour(rng);
      put(out, k, row[k % period]);
    }
  } else if (kind == "stripes") {
    const Rgb pal[3] = {random_colour(rng), random_colour(rng), random_colour(rng)};
    for (size_t k = 0; k < n;) {
      const Rgb c = pal[rng.below(3)];
      for (size_t run = 1 + rng.below(40); run > 0 && k < n; --run) put(out, k++, c);
    }
  } else {
    out.clear();
  }
  return out;
}

}  // namespace lz16::synth
