// Images with alpha: lz16's two planes (the colour plane and the coded
// alpha plane, as lz16pack --alpha writes them) against RGB565A8, the GUI library's
// form (the RGB565 words, then the alpha bytes: 3 bytes a pixel), raw and
// as its converter compresses it, an LZ4 block in fast mode. One line for
// each file that has alpha:
//
//   FILE WIDTH HEIGHT COLOUR_BYTES ALPHA_BYTES LZ4_BYTES LZ4_A8_BYTES MASK_BYTES PSNR PSNR_RGB565A8
//
// LZ4_A8_BYTES: the alpha bytes alone in an LZ4 block, the GUI library's A8
// (a mask, drawn in a colour chosen when drawing); MASK_BYTES: lz16's mask
// of the same alpha (lz16pack --mask).
//
// The PSNRs are of the picture drawn over black and over white against the
// source drawn the same way, as lz16pack reports it; RGB565A8 keeps 6 bits
// of green and 8 of alpha.
//
//   lz16-alpha-bench FILE...
#include <lz4.h>

#include <cstdio>
#include <vector>

#include "colour.h"
#include "image_in.h"
#include "planes.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    lz16::Image img;
    if (!lz16::read_image(argv[i], img).empty() || img.channels != 4) continue;
    const size_t npix = size_t{img.width} * img.height;  // of the first frame
    bool alpha = false;
    for (size_t k = 0; k < npix; ++k) alpha |= img.pixels[4 * k + 3] < 255;
    if (!alpha) continue;
    lz16::PixelWords words(npix);
    std::vector<uint8_t> levels(npix);
    lz16::Reduction r;
    r.alpha = true;
    const lz16::ColourLoss loss = lz16::image_words(img.pixels.data(), 4, img.width, npix, r, words.data(), levels.data()).loss;
    const lz16::CodedPlanes coded = lz16::code_planes(words, levels, img.width);
    const size_t colour = coded.colour.size(), planes = coded.alpha.size();

    std::vector<char> rgb565a8(3 * npix);
    lz16::ColourLoss loss565{0, 6 * npix};
    for (size_t k = 0; k < npix; ++k) {
      const uint8_t* p = &img.pixels[4 * k];
      const unsigned r5 = p[0] >> 3, g6 = p[1] >> 2, b5 = p[2] >> 3, w = r5 << 11 | g6 << 5 | b5;
      rgb565a8[2 * k] = static_cast<char>(w & 0xFF);
      rgb565a8[2 * k + 1] = static_cast<char>(w >> 8);
      rgb565a8[2 * npix + k] = static_cast<char>(p[3]);
      const unsigned shown[3] = {lz16::widen5(r5), g6 << 2 | g6 >> 4, lz16::widen5(b5)};
      for (const unsigned bg : {0u, 255u})
        for (int c = 0; c < 3; ++c) {
          const int d = lz16::composite(shown[c], p[3], bg) - lz16::composite(p[c], p[3], bg);
          loss565.squared_error += static_cast<uint64_t>(d * d);
        }
    }
    std::vector<char> lz4(static_cast<size_t>(LZ4_compressBound(static_cast<int>(rgb565a8.size()))));
    const auto lz4_of = [&](const char* bytes, size_t n) {
      return LZ4_compress_default(bytes, lz4.data(), static_cast<int>(n), static_cast<int>(lz4.size()));
    };
    std::printf("%s %u %u %zu %zu %d %d %zu %.2f %.2f\n", argv[i], img.width, img.height, colour, planes,
                lz4_of(rgb565a8.data(), rgb565a8.size()), lz4_of(rgb565a8.data() + 2 * npix, npix),
                lz16::code_mask(levels, img.width).size(), lz16::psnr(loss), lz16::psnr(loss565));
  }
  return 0;
}
