// lz16pack: image files of every kind in, the converter's bytes out, and
// failures that leave nothing behind.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <png.h>
#include <qoi.h>
#include <stb/stb_image_write.h>
#include <webp/encode.h>

#include <cmath>
#include <filesystem>
#include <set>

#include "colour.h"
#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_in.h"
#include "helpers.h"
#include "planes.h"

namespace lz16 {
namespace {

constexpr uint32_t W = 16, H = 6;

// The test picture: four grey levels, 0, 85, 170, 255 (two, 0 and 255, at
// one bit), so every PNG form can hold it exactly.
int level(uint32_t x, uint32_t y, int levels) {
  return static_cast<int>((x * 3 + y * 5 + x * y) % 4) * (levels - 1) / 3;
}

struct Png {
  const char* what;
  int type, depth;
  bool interlace = false, clear_black = false;  // clear_black: black pixels fully transparent, their colour other
};

// Writes the picture in the given PNG form.
void write_png(const std::string& path, const Png& v) {
  const int levels = v.depth == 1 ? 2 : 4, top = (1 << v.depth) - 1;
  const int channels = v.type == PNG_COLOR_TYPE_PALETTE
                           ? 1
                           : 1 + (v.type & PNG_COLOR_MASK_COLOR ? 2 : 0) + (v.type & PNG_COLOR_MASK_ALPHA ? 1 : 0);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, f);
  png_set_IHDR(png, info, W, H, v.depth, v.type, v.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (v.type == PNG_COLOR_TYPE_PALETTE) {
    png_color palette[4];
    for (int i = 0; i < levels; ++i)
      palette[i].red = palette[i].green = palette[i].blue = static_cast<uint8_t>(255 * i / (levels - 1));
    if (v.clear_black) palette[0] = {200, 100, 50};
    png_set_PLTE(png, info, palette, levels);
    const png_byte alpha[1] = {0};
    if (v.clear_black) png_set_tRNS(png, info, alpha, 1, nullptr);
  }
  png_write_info(png, info);
  png_set_packing(png);
  png_set_interlace_handling(png);
  const int bytes = v.depth == 16 ? 2 : 1;
  std::vector<uint8_t> image(size_t{W} * H * static_cast<size_t>(channels * bytes));
  std::vector<png_bytep> rows(H);
  for (uint32_t y = 0; y < H; ++y) {
    rows[y] = image.data() + size_t{W} * y * static_cast<size_t>(channels * bytes);
    for (uint32_t x = 0; x < W; ++x) {
      // 16-bit levels lie 128 below 257 * 85 * l: scaling gives 85 * l, stripping the low byte 85 * l - 1.
      const int l = level(x, y, levels), sample = v.type == PNG_COLOR_TYPE_PALETTE ? l
                                                  : v.depth == 16 && l > 0         ? 257 * 85 * l - 128
                                                                                   : top * l / (levels - 1);
      const bool clear = v.clear_black && l == 0;
      for (int c = 0; c < channels; ++c) {
        const bool alpha = (v.type & PNG_COLOR_MASK_ALPHA) && c == channels - 1;
        const int s = alpha ? (clear ? 0 : top) : clear && v.type != PNG_COLOR_TYPE_PALETTE ? top / 3 : sample;
        for (int b = 0; b < bytes; ++b)
          rows[y][(x * channels + c) * bytes + b] = static_cast<uint8_t>(s >> 8 * (bytes - 1 - b));
      }
    }
  }
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
}

// A JPEG of one flat colour (four components for CMYK).
void write_jpeg(const std::string& path, J_COLOR_SPACE space, int components, uint8_t value) {
  jpeg_compress_struct c;
  jpeg_error_mgr err;
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  jpeg_stdio_dest(&c, f);
  c.image_width = W, c.image_height = H, c.input_components = components, c.in_color_space = space;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, 100, TRUE);
  jpeg_start_compress(&c, TRUE);
  std::vector<uint8_t> row(W * static_cast<size_t>(components), value);
  for (JSAMPROW r = row.data(); c.next_scanline < H;) jpeg_write_scanlines(&c, &r, 1);
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  std::fclose(f);
}

class Pack : public test::ProcessTest {
 protected:
  test::Proc pack(const std::string& args) {
    return run_cmd("cd " + dir_ + " && " + LZ16PACK_EXE + " " + args, "> /dev/null");
  }
  std::vector<uint16_t> words(const std::string& name) {
    Image img;
    EXPECT_EQ(read_image(path(name.c_str()), img), "") << name;
    std::vector<uint16_t> w(size_t{img.width} * img.height);
    image_words(img.pixels.data(), img.channels, img.width, w.size(), {}, w.data());
    return w;
  }
};

TEST_F(Pack, EveryPngFormGivesTheSameWords) {
  std::vector<uint16_t> want(W * H), want1(W * H);
  for (uint32_t k = 0; k < W * H; ++k) {
    const auto v = static_cast<uint8_t>(85 * level(k % W, k / W, 4)),
               v1 = static_cast<uint8_t>(255 * level(k % W, k / W, 2));
    want[k] = pixel_word(v, v, v), want1[k] = pixel_word(v1, v1, v1);
  }
  const Png forms[] = {{"palette 1", PNG_COLOR_TYPE_PALETTE, 1}, {"palette 2", PNG_COLOR_TYPE_PALETTE, 2},
                       {"palette 4", PNG_COLOR_TYPE_PALETTE, 4}, {"palette 8 tRNS", PNG_COLOR_TYPE_PALETTE, 8, false, true},
                       {"grey 1", PNG_COLOR_TYPE_GRAY, 1}, {"grey 2", PNG_COLOR_TYPE_GRAY, 2},
                       {"grey 4", PNG_COLOR_TYPE_GRAY, 4}, {"grey 8", PNG_COLOR_TYPE_GRAY, 8},
                       {"grey 16", PNG_COLOR_TYPE_GRAY, 16}, {"grey+alpha", PNG_COLOR_TYPE_GRAY_ALPHA, 8, false, true},
                       {"rgb", PNG_COLOR_TYPE_RGB, 8}, {"rgba", PNG_COLOR_TYPE_RGBA, 8, false, true},
                       {"rgba 16", PNG_COLOR_TYPE_RGBA, 16, false, true}, {"rgb 16 interlaced", PNG_COLOR_TYPE_RGB, 16, true},
                       {"palette 2 interlaced", PNG_COLOR_TYPE_PALETTE, 2, true}};

  for (const Png& form : forms) {
    write_png(path("a.png"), form);
    EXPECT_TRUE(words("a.png") == (form.depth == 1 ? want1 : want)) << form.what;
    Image img;
    read_image(path("a.png"), img);
    for (uint32_t k = 0; form.depth == 16 && k < W * H; ++k)
      ASSERT_EQ(img.channels == 3 || img.pixels[4 * k + 3] ? img.pixels[img.channels * k] : 0, 85 * level(k % W, k / W, 4));
  }
  // JPEG (colour and grey) at a level well inside one 5-bit step; CMYK is refused.
  write_jpeg(path("c.jpg"), JCS_RGB, 3, 0x84);
  write_jpeg(path("g.jpg"), JCS_GRAYSCALE, 1, 0x84);
  EXPECT_TRUE(words("c.jpg") == std::vector<uint16_t>(W * H, pixel_word(0x84, 0x84, 0x84)));
  EXPECT_TRUE(words("g.jpg") == std::vector<uint16_t>(W * H, pixel_word(0x84, 0x84, 0x84)));
  write_jpeg(path("k.jpg"), JCS_CMYK, 4, 0x84);
  Image img;
  EXPECT_EQ(read_image(path("k.jpg"), img), "CMYK JPEG is not supported: convert it to RGB first");
}

TEST(Colour, CompositesOverTheBackground) {
  // {r, g, b, a} over background 204060: (c * a + bg * (255 - a) + 127) / 255.
  const uint8_t rgba[] = {255, 0, 100, 0, 255, 0, 100, 128, 255, 0, 100, 255, 7, 8, 9, 1};
  std::vector<uint16_t> w(4);
  Reduction over;
  over.background = *parse_rgb("#204060");
  image_words(rgba, 4, 4, 4, over, w.data());
  EXPECT_EQ(w, (std::vector<uint16_t>{pixel_word(0x20, 0x40, 0x60), pixel_word(144, 32, 98), pixel_word(255, 0, 100),
                                      pixel_word(32, 64, 96)}));
}

TEST(Colour, RoundingPicksTheNearestWidenedLevelAndTiesGoLower) {
  int ties = 0;
  for (unsigned v = 0; v < 256; ++v) {
    unsigned nearest = 0;  // first of the closest: the lower on a tie
    for (unsigned l = 1; l < 32; ++l)
      if (std::abs(widen5(l) - int(v)) < std::abs(widen5(nearest) - int(v))) nearest = l;
    ties += nearest < 31 && widen5(nearest + 1) - int(v) == int(v) - widen5(nearest);
    EXPECT_EQ(channel_level(v, true, -1), nearest) << v;
    EXPECT_EQ(channel_level(v, false, -1), v >> 3) << v;
  }
  EXPECT_EQ(ties, 24);  // between levels l and l + 1 for every l but 3, 7, 11, ..., 31
  for (const auto& [a, level] : {std::pair{0u, 0u}, {4, 0}, {5, 1}, {128, 16}, {251, 30}, {252, 31}, {255, 31}})
    EXPECT_EQ(alpha_level(a), level) << a;  // the nearest widened level, as colour rounds: both ends exact
  for (const auto& [v, level] : {std::pair{4u, 0u}, {5, 1}, {12, 1}, {37, 4}, {70, 8}, {71, 9}, {251, 30}, {252, 31}})
    EXPECT_EQ(channel_level(v, true, -1), level) << v;
}

TEST(Colour, DitherKeepsExactColoursFlatAndBreaksBands) {
  // Every level's widened value, in every channel: dithered or not, the same words.
  std::vector<uint8_t> exact;
  for (unsigned k = 0; k < 32 * 32; ++k)
    for (unsigned c : {k % 32, k / 32, (k * 7) % 32}) exact.push_back(widen5(c));
  // A grey ramp 248 wide (short of the values that keeping the top bits
  // puts in the last level, with none above to dither with), 8 high: once
  // dithered, no column may repeat its neighbour more than 3 times.
  std::vector<uint8_t> ramp;
  for (unsigned k = 0; k < 248 * 8; ++k) ramp.insert(ramp.end(), 3, static_cast<uint8_t>(k % 248));
  for (int way = 0; way < 4; ++way) {
    Reduction r;
    r.round = way & 1, r.dither = way & 2;
    std::vector<uint16_t> w(32 * 32), plain(32 * 32), g(248 * 8);
    image_words(exact.data(), 3, 32, w.size(), r, w.data());
    image_words(exact.data(), 3, 32, w.size(), {}, plain.data());
    EXPECT_EQ(w, plain) << way;
    image_words(ramp.data(), 3, 248, g.size(), r, g.data());
    size_t run = 1, longest = 1;
    for (size_t x = 1; x < 248; ++x, longest = std::max(longest, run)) {
      bool same = true;
      for (size_t y = 0; y < 8; ++y) same &= g[y * 248 + x] == g[y * 248 + x - 1];
      run = same ? run + 1 : 1;
    }
    EXPECT_TRUE(r.dither ? longest <= 4 : longest >= 8) << way << ": " << longest;
  }
}

TEST(Colour, KeyTakesClearPixelsAndNoOpaquePixelLandsOnIt) {
  // Colours at and around two keys, at alphas on both sides of 128.
  for (const Rgb key : {Rgb{255, 0, 255}, Rgb{0, 0, 0}}) {
    std::vector<uint8_t> rgba;
    for (unsigned k = 0; k < 16 * 16; ++k)
      for (unsigned c : {key.r ^ k % 4, key.g ^ k / 4 % 4, key.b ^ k / 16 % 8, k % 3 ? 255u : k % 5 ? 127u : 128u})
        rgba.push_back(static_cast<uint8_t>(c));
    for (int way = 0; way < 4; ++way) {
      Reduction r;
      r.round = way & 1, r.dither = way & 2;
      std::vector<uint16_t> free(256), keyed(256);
      image_words(rgba.data(), 4, 16, 256, r, free.data());
      r.key = key;
      const uint16_t kw = key_word(r);
      const uint64_t moved = image_words(rgba.data(), 4, 16, 256, r, keyed.data()).moved;
      uint64_t hits = 0;
      for (size_t k = 0; k < 256; ++k) {
        const bool clear = rgba[4 * k + 3] < 128, hit = !clear && free[k] == kw;
        const unsigned blue = free[k] & 31;
        hits += hit;
        EXPECT_EQ(keyed[k], clear ? kw : hit ? (free[k] & ~31u) | (blue >= 16 ? blue - 1 : blue + 1) : free[k]) << k;
      }
      EXPECT_EQ(moved, hits);
      EXPECT_GT(hits, 0u) << way;
    }
  }
}

TEST(Colour, LossCountsOnlyPixelsShownAndPsnrFollows) {
  // RGBA: 100 shows as 99; 16 17 18 at alpha 128 over black is 8 9 9, shown as 8 8 8; alpha 127 is not shown.
  // RGB: 100 shows as 99, 16 17 18 as 16 16 16.
  const uint8_t rgba[] = {100, 100, 100, 255, 0, 0, 0, 127, 16, 17, 18, 128}, rgb[] = {100, 100, 100, 16, 17, 18};
  struct Case {
    const uint8_t* pixels;
    int channels;
    size_t npix;
    uint64_t squared_error;
  };
  for (const Case& c : {Case{rgba, 4, 3, 3 + 1 + 1}, Case{rgb, 3, 2, 3 + 1 + 4}}) {
    uint16_t words[3];
    const ColourLoss loss = image_words(c.pixels, c.channels, 3, c.npix, {}, words).loss;
    EXPECT_EQ(loss.samples, 6u);
    EXPECT_EQ(loss.squared_error, c.squared_error) << c.channels;
  }
  EXPECT_NEAR(psnr({5, 6}), 10 * std::log10(255.0 * 255 * 6 / 5), 1e-9);
  EXPECT_TRUE(std::isinf(psnr({0, 6})));
}

TEST_F(Pack, WebpBmpTgaAndQoiGiveThePngsAssets) {
  // The picture of an RGBA PNG (and of an RGB one) in every other format that holds it.
  auto save = [&](const char* name, const void* p, size_t n) { write_file(name, test::Bytes((char*)p, (char*)p + n)); };
  for (const int channels : {4, 3}) {
    write_png(path("p.png"), {"png", channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB, 8, false, true});
    Image png;
    ASSERT_EQ(read_image(path("p.png"), png), "");
    const uint8_t* px = png.pixels.data();
    stbi_write_bmp(path("b.bmp").c_str(), W, H, channels, px);
    stbi_write_tga_with_rle = 0;
    stbi_write_tga(path("t.tga").c_str(), W, H, channels, px);
    stbi_write_tga_with_rle = 1;
    stbi_write_tga(path("r.tga").c_str(), W, H, channels, px);
    int n;
    const qoi_desc desc{W, H, static_cast<unsigned char>(channels), QOI_SRGB};
    const std::unique_ptr<void, decltype(&std::free)> qoi(qoi_encode(px, &desc, &n), &std::free);
    save("q.qoi", qoi.get(), static_cast<size_t>(n));
    uint8_t* webp;
    const size_t webp_size = (channels == 4 ? WebPEncodeLosslessRGBA : WebPEncodeLosslessRGB)(px, W, H, W * channels, &webp);
    save("w.webp", webp, webp_size);
    WebPFree(webp);
    ASSERT_EQ(pack("--alpha -o o p.png b.bmp t.tga r.tga q.qoi w.webp").status, 0);
    for (const char* stem : {"b", "t", "r", "q", "w"})
      for (const char* plane : {".lz", ".alpha.lz"})
        EXPECT_EQ(read_file(path(("o/" + std::string(stem) + plane).c_str())), read_file(path((std::string("o/p") + plane).c_str())))
            << stem << plane << ", " << channels << " channels";
  }
  const std::string rle = read_file(path("r.tga"));  // its last packets cut off
  write_file("cut.tga", test::Bytes(rle.begin(), rle.end() - 20));
  EXPECT_EQ(pack("-q -o c cut.tga").err, "lz16pack: cut.tga: bad TGA: the file ends early\n");
  // An animated WebP: every frame the canvas as shown, each with its delay.
  Image img;
  ASSERT_EQ(read_image(test::animated_webp(3), img), "");
  std::vector<uint8_t> frames;
  for (int k = 0; k < 3; ++k) frames.insert(frames.end(), {uint8_t(40 * k), 1, 2, 255, 3, 4, 5, 255, 6, 7, 8, 255, 9, 10, 11, 255});
  EXPECT_TRUE(img.pixels == frames && img.delay_ms == std::vector<uint32_t>({40, 80, 120}));
}

TEST_F(Pack, TrimmedFramesDrawnAtTheirBoxesAreTheFrames) {
  // Four 8x8 frames, each a soft shape somewhere in a clear frame; each frame drawn at its box over a clear
  // frame (the key, or colour and alpha 0) gives the untrimmed frame's words and alphas.
  std::vector<uint8_t> sheet(32 * 8 * 4, 0);
  for (uint32_t k = 0; k < 32 * 8; ++k)
    if (k % 32 % 8 >= k % 32 / 8 + 1 && k / 32 >= k % 32 / 16 + 2 && k % 32 % 8 < 7 && k / 32 < 7 - k % 32 / 8)
      std::copy_n(std::array<uint8_t, 4>{uint8_t(k * 7), 90, uint8_t(k), uint8_t(k % 3 ? 255 : 100 + k % 50)}.data(), 4, &sheet[4 * k]);
  stbi_write_png(path("s.png").c_str(), 32, 8, 4, sheet.data(), 32 * 4);
  std::ofstream(path("draw.c"))
      << "#include <stdio.h>\n#include <string.h>\n#include \"lz16dec.h\"\n#include \"s.h\"\n"
         "int main(void) {\n  static uint16_t frame[S_PIXELS], part[S_PIXELS];\n  static uint8_t alpha[S_PIXELS], part_alpha[S_PIXELS];\n"
         "  for (unsigned k = 0, r; k < S_FRAMES; ++k) {\n    const struct lz16_frame *f = &s_frames[k];\n#ifdef S_TRIMMED\n"
         "    const unsigned x = s_boxes[k].x, y = s_boxes[k].y, w = s_boxes[k].width, h = s_boxes[k].height;\n#else\n"
         "    const unsigned x = 0, y = 0, w = S_WIDTH, h = S_HEIGHT;\n#endif\n#ifdef S_ALPHA_SIZE\n"
         "    struct lz16_blend_stream b;\n    const struct lz16_plane *p = &s_alpha_frames[k];\n"
         "    if (lz16_blend_init(&b, s_lz16 + f->offset, f->size, s_alpha + p->offset, p->size) ||\n"
         "        lz16_blend_read_alpha(&b, part, part_alpha, w * h) != (int32_t)(w * h)) return 1;\n"
         "    memset(frame, 0, sizeof frame), memset(alpha, 0, sizeof alpha);\n#else\n"
         "    if (lz16_decode(s_lz16 + f->offset, f->size, part, S_PIXELS) != (int32_t)(w * h)) return 1;\n"
         "    for (r = 0; r < S_PIXELS; ++r) frame[r] = S_KEY;\n#endif\n"
         "    for (r = 0; r < h; ++r) memcpy(frame + (y + r) * S_WIDTH + x, part + r * w, 2 * w),\n"
         "                            memcpy(alpha + (y + r) * S_WIDTH + x, part_alpha + r * w, w);\n"
         "    fwrite(frame, 2, S_PIXELS, stdout), fwrite(alpha, 1, S_PIXELS, stdout);\n  }\n  return 0;\n}\n";
  for (const std::string mode : {"--alpha", "--key ff00ff"}) {
    std::string drawn[2];
    size_t bytes[2];
    for (const std::string trim : {"", " --trim"}) {
      const test::Proc packed = pack(mode + trim + " --frames 8x8 -f h -o d" + std::to_string(trim.size()) + " s.png");
      ASSERT_EQ(packed.status, 0) << mode;
      bytes[trim.empty()] = std::stoul(packed.err.substr(packed.err.find("stored, ") + 8));
      const test::Proc p = run_cmd("cd " + dir_ + " && cc -std=c99 -pedantic -Werror -Id" + std::to_string(trim.size()) +
                                   " -I" LZ16_DEVICE_DIR " draw.c " LZ16_DEVICE_DIR "/lz16dec.c -o draw && ./draw");
      drawn[trim.empty()] = std::string(p.out.begin(), p.out.end());
    }
    EXPECT_TRUE(drawn[0] == drawn[1] && drawn[0].size() == 4 * 64 * 3 && bytes[0] < bytes[1]) << mode;
  }
}

TEST_F(Pack, LzIsTheConvertersFileAndCAndHCompileToTheSameBytes) {
  write_png(path("a.png"), {"rgba", PNG_COLOR_TYPE_RGBA, 8, false, true});
  // A 3x1 PPM with a comment, whose stem needs "img_" and '_' in its ID.
  write_file("2b-c.ppm", test::hex("50 36 0a 23 20 68 69 0a 33 20 31 0a 32 35 35 0a 0a 14 1e 0a 14 1e 01 02 03"));
  // An animation with holes, whose third frame, a clear pixel, repeats the first.
  const std::vector<GifColorType> colours = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {250, 250, 250}};
  test::write_gif(path("m.gif"), 5, 3, colours,
                  {{0, 0, 5, 3, DISPOSE_DO_NOT, 4, 0, false, {}},
                   {0, 0, 1, 1, DISPOSE_PREVIOUS, 2, NO_TRANSPARENT_COLOR, false, {}},
                   {0, 0, 1, 1, DISPOSE_DO_NOT, 3, test::index_at(2, 0, 0), false, {}}});
  ASSERT_EQ(pack("a.png 2b-c.ppm m.gif").status, 0);
  for (const char* name : {"a.png", "2b-c.ppm"}) {
    const std::vector<uint16_t> w = words(name);
    const test::Bytes want = container_file(encode_exhaustive(w.data(), static_cast<int32_t>(w.size())));
    const std::string stem = std::filesystem::path(name).stem().string();
    EXPECT_EQ(read_file(path((stem + ".lz").c_str())), std::string(want.begin(), want.end())) << name;
  }
  // With --alpha, a and m (a clear pixel) get alpha planes that give back their
  // words and levels; 2b-c, opaque, is written as without, and said to be.
  const test::Proc alpha = pack("--alpha -o al a.png 2b-c.ppm m.gif");
  EXPECT_NE(alpha.err.find("2b-c.ppm: 3x1, 24 bytes, 400.0%, opaque, "), std::string::npos) << alpha.err;
  EXPECT_TRUE(read_file(path("al/2b-c.lz")) == read_file(path("2b-c.lz")) && !std::filesystem::exists(path("al/2b-c.alpha.lz")));
  {
    Image img;
    read_image(path("a.png"), img);
    Reduction r;
    r.alpha = true;
    PixelWords want(W * H), got;
    std::vector<uint8_t> levels(W * H), got_levels;
    image_words(img.pixels.data(), 4, W, W * H, r, want.data(), levels.data());
    const std::string c = read_file(path("al/a.lz")), a = read_file(path("al/a.alpha.lz"));
    DecodeResult dr;
    const auto colour = decode_to_vector(reinterpret_cast<const uint8_t*>(c.data()), c.size(), &dr);
    const std::span plane(reinterpret_cast<const uint8_t*>(a.data()), a.size());
    EXPECT_EQ(join_coded(colour, c.size(), plane, got, got_levels), "");
    EXPECT_TRUE(got == want && got_levels == levels);
    EXPECT_EQ(join_coded(colour, c.size() + 2, plane, got, got_levels), "the alpha plane is not the colour plane's");
  }
  // The index lists every asset; a program dumps each frame and its alpha
  // plane from it, built against the C files and against the
  // self-contained headers, as C and C++.
  ASSERT_EQ(pack("-f c -j 1 --alpha --index all.h -o c a.png 2b-c.ppm m.gif").status, 0);
  ASSERT_EQ(pack("-f h -j 2 --alpha --index all.h -o h a.png 2b-c.ppm m.gif").status, 0);
  // --index-only writes the same index from the names alone.
  ASSERT_EQ(pack("-f c --index all.h --index-only -o only a.png 2b-c.ppm m.gif").status, 0);
  EXPECT_EQ(read_file(path("only/all.h")), read_file(path("c/all.h")));
  EXPECT_EQ(names_in("only"), "all.h");
  std::ofstream(path("dump.c"))
      << "#include <stdio.h>\n#include <string.h>\n#include \"all.h\"\nint main(void) {\n"
         "  for (unsigned i = 0; i < ALL_COUNT; ++i) {\n"
         "    for (unsigned k = 0; k < all[i].frames; ++k) {\n"
         "      const struct lz16_frame *f = all[i].frame_table ? &all[i].frame_table[k] : 0;\n"
         "      const struct lz16_plane *p = all[i].alpha_frame_table ? &all[i].alpha_frame_table[k] : 0;\n"
         "      char name[64];\n"
         "      if (f) sprintf(name, \"%s-%03u\", all[i].name, k); else sprintf(name, \"%s\", all[i].name);\n"
         "      FILE *out = fopen(name, \"wb\");\n"
         "      fwrite(all[i].data + (f ? f->offset : 0), 1, f ? f->size : all[i].size, out);\n      fclose(out);\n"
         "      if (!all[i].alpha) continue;\n      out = fopen(strcat(name, \".alpha\"), \"wb\");\n"
         "      fwrite(all[i].alpha + (p ? p->offset : 0), 1, p ? p->size : all[i].alpha_size, out);\n"
         "      fclose(out);\n"
         "    }\n"
         "    printf(\"%s %u %u %u\\n\", all[i].name, (unsigned)all[i].width, (unsigned)all[i].height,"
         " (unsigned)all[i].frames);\n"
         "  }\n  return 0;\n}\n";
  for (const std::string build : {"cc -std=c99 -Ic dump.c c/a.c c/2b-c.c c/m.c", "c++ -x c++ -Ic dump.c c/a.c c/2b-c.c c/m.c",
                                  "cc -std=c99 -Ih dump.c", "c++ -x c++ -Ih dump.c"}) {
    const test::Proc p = run_cmd("cd " + dir_ + " && " + build + " -Wall -Wextra -pedantic -Werror -o dump && ./dump");
    EXPECT_EQ(p.status, 0) << build << "\n" << p.err;
    EXPECT_EQ(std::string(p.out.begin(), p.out.end()), "a 16 6 1\n2b-c 3 1 1\nm 5 3 3\n") << build;
    for (const std::string stem : {"a", "2b-c", "m-000", "m-001", "m-002", "a.alpha", "m-000.alpha", "m-002.alpha"})
      EXPECT_EQ(read_file(path(stem.c_str())), read_file(path(("al/" + stem + ".lz").c_str()))) << build << " " << stem;
  }
  // 4-byte aligned in objects for CPUs that fault on odd addresses, in a section of the user's too.
  std::ofstream(path("placed.c")) << "#define A_ATTR __attribute__((section(\".rodata.placed\")))\n#include \"a.c\"\n";
  for (const std::string cc : {"arm-none-eabi-gcc -mthumb -mcpu=cortex-m0", "m68k-linux-gnu-gcc -mcpu=68000"}) {
    ASSERT_EQ(run_cmd("cd " + dir_ + " && " + cc + " -std=c99 -pedantic -Werror -Ic -c placed.c -o placed.o").status, 0);
    const test::Proc p = run_cmd("readelf -SW " + path("placed.o") + " | grep rodata.placed");
    const std::string row(p.out.begin(), p.out.end());
    EXPECT_GE(std::stoi(row.substr(row.find_last_of(' ', row.size() - 2) + 1)), 4) << cc << ": " << row;
  }
}

// --mask keeps the alpha alone: the levels read back, an opaque image is a
// filled rectangle (and warned of), the C outputs and the index say which
// assets are masks, and a program draws each in a colour through them.
TEST_F(Pack, AMaskIsTheAlphaAloneNamedAsSuchAndDrawnInAColour) {
  write_png(path("a.png"), {"rgba", PNG_COLOR_TYPE_RGBA, 8, false, true});
  write_file("b.ppm", test::hex("50 36 0a 32 20 31 0a 32 35 35 0a 14 1e 0a 14 1e 01"));
  const test::Proc p = pack("--mask a.png b.ppm");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_NE(p.err.find("b.ppm: has no transparency: its mask is a filled rectangle"), std::string::npos) << p.err;
  Image img;
  ASSERT_EQ(read_image(path("a.png"), img), "");
  for (const auto& [name, want] : {std::pair{"a.lz", std::vector<uint8_t>(W * H)}, {"b.lz", std::vector<uint8_t>(2, 31)}}) {
    std::vector<uint8_t> levels, expected = want;
    for (size_t k = 0; name[0] == 'a' && k < W * H; ++k) expected[k] = static_cast<uint8_t>(alpha_level(img.pixels[4 * k + 3]));
    const std::string bytes = read_file(path(name));
    EXPECT_EQ(read_mask(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), levels), "") << name;
    EXPECT_EQ(levels, expected) << name;
  }
  for (const auto& [options, why] : {std::pair{"--mask --alpha", "take one"}, {"--mask --key 00ff00", "no --key"},
                                     {"--mask --dither", "do not apply"}, {"--mask --background 102030", "do not apply"}}) {
    const test::Proc bad = pack(std::string(options) + " -o bad a.png");
    EXPECT_TRUE(bad.status == 2 && bad.err.find(why) != std::string::npos) << options << ": " << bad.err;
  }
  ASSERT_EQ(pack("-f c --mask --index all.h -o c a.png b.ppm").status, 0);
  std::ofstream(path("draw.c"))
      << "#include <stdio.h>\n#include \"all.h\"\n#include \"lz16dec.h\"\nint main(void) {\n"
         "  static uint16_t px[W_PIXELS];\n"
         "  for (unsigned i = 0; i < ALL_COUNT; ++i)\n"
         "    printf(\"%s %d %ld\\n\", all[i].name, all[i].mask,\n"
         "           (long)lz16_decode_mask(all[i].data, all[i].size, 0xFFFF, px, sizeof px / 2));\n"
         "  return A_MASK != 1 || B_MASK != 1;\n}\n";
  const test::Proc c = run_cmd("cd " + dir_ + " && cc -std=c99 -Wall -Wextra -pedantic -Werror -DW_PIXELS=96 -Ic -I" +
                               LZ16_DEVICE_DIR + " draw.c c/a.c c/b.c " + LZ16_DEVICE_DIR + "/lz16dec.c -o draw && ./draw");
  EXPECT_EQ(c.status, 0) << c.err;
  EXPECT_EQ(std::string(c.out.begin(), c.out.end()), "a 1 96\nb 1 2\n");
}

TEST_F(Pack, PreviewShowsTheDecodedPictureAndColourOptionsIgnoreCores) {
  write_png(path("a.png"), {"rgba", PNG_COLOR_TYPE_RGBA, 8, false, true});
  write_png(path("b.png"), {"rgb 16", PNG_COLOR_TYPE_RGB, 16});
  const std::string options = "--round --dither --key 00ff00 --preview -f h ";
  const test::Proc one = pack(options + "-j 1 -o one a.png b.png");
  ASSERT_EQ(one.status, 0);
  EXPECT_NE(one.err.find(", PSNR "), std::string::npos) << one.err;
  EXPECT_NE(one.err.find(" dB, 0 moved off the key, verified\n"), std::string::npos) << one.err;
  ASSERT_EQ(pack(options + "-j 2 -o two a.png b.png").status, 0);
  for (const char* name : {"a.h", "b.h", "a.preview.png", "b.preview.png"})
    EXPECT_EQ(read_file(path("one/") + name), read_file(path("two/") + name)) << name;
  EXPECT_NE(read_file(path("one/a.h")).find("#define A_KEY LZ16_PIXEL_WORD(0x07c0) "), std::string::npos);

  ASSERT_EQ(pack("--dither --key 00ff00 --preview -o p a.png").status, 0);
  const std::string lz = read_file(path("p/a.lz"));
  DecodeResult r;
  const std::vector<uint16_t> w = decode_to_vector(reinterpret_cast<const uint8_t*>(lz.data()), lz.size(), &r);
  Image shown;
  ASSERT_EQ(read_image(path("p/a.preview.png"), shown), "");
  ASSERT_EQ(shown.pixels.size(), 3 * w.size());
  size_t keyed = 0;
  for (size_t k = 0; k < w.size(); ++k) {
    const uint8_t* rgb = &shown.pixels[3 * k];
    keyed += w[k] == 0x07c0;
    if (w[k] == 0x07c0)  // the grey checkerboard
      EXPECT_TRUE(rgb[0] == rgb[1] && rgb[1] == rgb[2] && (rgb[0] == widen5(24) || rgb[0] == widen5(18))) << k;
    else
      EXPECT_TRUE(rgb[0] == widen5(w[k] >> 11) && rgb[1] == widen5(w[k] >> 6 & 31) && rgb[2] == widen5(w[k] & 31)) << k;
  }
  EXPECT_GT(keyed, 0u);
}

TEST_F(Pack, ARerunTouchesOnlyTheFilesWhoseBytesChangeAndAPictureNoPanelHoldsIsWarnedOf) {
  namespace fs = std::filesystem;
  write_png(path("a.png"), {"grey", PNG_COLOR_TYPE_GRAY, 8});
  write_png(path("b.png"), {"rgb", PNG_COLOR_TYPE_RGB, 8});
  const std::string args = "-q -f c --index i.h --report r.json --html p.html -o o a.png b.png";
  ASSERT_EQ(pack(args).status, 0);
  const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(24);
  for (const auto& e : fs::directory_iterator(path("o"))) fs::last_write_time(e.path(), long_ago);
  write_png(path("b.png"), {"rgb", PNG_COLOR_TYPE_RGB, 8, false, true});  // other pixels: b's files change
  ASSERT_EQ(pack(args).status, 0);
  std::set<std::string> touched;
  for (const auto& e : fs::directory_iterator(path("o")))
    if (fs::last_write_time(e.path()) != long_ago) touched.insert(e.path().filename());
  EXPECT_EQ(touched, (std::set<std::string>{"b.c", "b.h", "p.html", "r.json"}));
  // 2049 x 1025, more than any panel: written, and warned of, unless scaled.
  std::string ppm = "P6 2049 1025 255\n";
  ppm.resize(ppm.size() + 2049 * 1025 * 3, '\x40');
  write_file("big.ppm", test::Bytes(ppm.begin(), ppm.end()));
  for (const auto& [scale, warned] : {std::pair{"", true}, {"--fit 320x240", false}, {"--resize 100%", false}})
    EXPECT_EQ(pack(std::string("-o o ") + scale + " big.ppm").err.starts_with(
                  "lz16pack: warning: big.ppm: 2049x1025 is larger than any panel: --fit WxH"), warned) << scale;
}

TEST_F(Pack, AFailedInputIsOneLineAndLeavesNothingBehind) {
  write_png(path("good.png"), {"grey", PNG_COLOR_TYPE_GRAY, 8});
  const std::string good = read_file(path("good.png"));
  write_file("cut.png", test::Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)));
  test::Bytes corrupt(good.begin(), good.end());
  corrupt[40] ^= 0xFF;  // inside the image data: a CRC error
  write_file("corrupt.png", corrupt);
  write_file("huge.ppm", test::hex("50 36 20 36 35 35 33 36 20 36 35 35 33 36 20 32 35 35 0a"));  // 65536 x 65536
  write_file("huge.gif", test::hex("47 49 46 38 39 61 ff ff ff ff 00 00 00 3b"));  // 65535 x 65535
  test::write_gif(path("a.gif"), 4, 4, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {0, 0, 0}},
                  {{0, 0, 4, 4, 0, 0, -1, false, {}}, {1, 1, 2, 2, 0, 0, -1, true, {}}});
  const std::string gif = read_file(path("a.gif"));
  write_file("cut.gif", test::Bytes(gif.begin(), gif.end() - 9));
  test::Bytes bad_gif(gif.begin(), gif.end());
  bad_gif[25] = 0;  // where a record starts, after the colour table
  write_file("corrupt.gif", bad_gif);
  write_file("bad.ppm", test::hex("50 36 20 31 32 20 78 20 32 35 35 0a"));
  write_file("text.png", test::hex("68 65 6c 6c 6f 0a"));
  write_file("text.dat", test::hex("68 65 6c 6c 6f 0a"));
  write_file("notadir", {});
  const std::pair<std::string, std::string> cases[] = {
      {"cut.png", "cut.png: bad PNG: "}, {"corrupt.png", "corrupt.png: bad PNG: "}, {"bad.ppm", "bad.ppm: bad PPM header"},
      {"huge.ppm", "huge.ppm: image too large: 65536x65536 is more than 1073741823 pixels"},
      {"huge.gif", "huge.gif: image too large: 65535x65535 is more than 1073741823 pixels"},
      {"cut.gif", "cut.gif: bad GIF: "}, {"corrupt.gif", "corrupt.gif: bad GIF: Wrong record type detected"},
      {"text.png", "text.png: not a PNG file, though its name says so, nor any image lz16pack reads: its 6 bytes"},
      {"text.dat", "text.dat: not an image lz16pack reads (PNG, JPEG, GIF, WebP, BMP, TGA, QOI, binary PPM): convert it "},
      {"missing.png", "missing.png: No such file or directory"}};
  for (const auto& [bad, err] : cases) {
    std::filesystem::remove_all(path("assets"));
    const test::Proc p = pack("-o assets good.png " + bad);
    EXPECT_EQ(p.status, 1) << bad;
    EXPECT_EQ(p.err.find("\nlz16pack: " + err), p.err.find('\n')) << p.err;  // after good.png's line
    EXPECT_EQ(names_in("assets"), "good.lz") << bad;  // nothing else, no temporary
  }
  write_file("cut.lz", test::hex("01 02"));  // from an earlier run that went well
  // An output directory that cannot be is one error, saying why, and no image is read.
  const test::Proc unwritable = pack("-q -o notadir good.png cut.png");
  EXPECT_EQ(unwritable.err, "lz16pack: cannot make the directory notadir: Not a directory\n");
  EXPECT_EQ(unwritable.status, 1);
  // One that cannot be written, as someone else (not root, who may write anywhere).
  const std::string other = getuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
  run_cmd("mkdir " + path("ro") + " && chmod 555 " + path("ro") + " && chmod o+rx " + dir_);
  for (const auto& [dir, error] : {std::pair{"ro", "cannot write into ro: Permission denied"},
                                   {"ro/sub", "cannot make the directory ro/sub: Permission denied"}})
    EXPECT_EQ(run_cmd("cd " + dir_ + " && " + other + LZ16PACK_EXE + " -q -o " + dir + " good.png a.gif").err,
              "lz16pack: " + std::string(error) + "\n");
  EXPECT_EQ(pack("-q good.png cut.png").status, 1);
  EXPECT_FALSE(std::filesystem::exists(path("cut.lz"))) << "a failed input's earlier output stays";
  // Usage errors: nothing is written at all.
  std::filesystem::remove(path("good.lz"));
  std::filesystem::remove_all(path("assets"));
  for (const char* args :
       {"-o assets --frobnicate good.png", "-o assets", "-o assets good.png sub/Good.ppm", "good.png good.lz",
        "-o assets --background 12345 good.png", "-o assets --index x.h good.png",
        "-f c -o assets --index-only good.png", "-o assets --frames 8x good.png",
        "-o assets a.gif sub/a-001.png", "-o assets --alpha --key 00ff00 good.png", "-o assets --resize 50 good.png",
        "-o assets --anchor top --fit 8x8 good.png"}) {
    const test::Proc p = pack(args);
    EXPECT_EQ(p.status, 2) << args;
    EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << p.err;
    EXPECT_FALSE(std::filesystem::exists(path("assets")) || std::filesystem::exists(path("good.lz"))) << args;
  }
}

}  // namespace
}  // namespace lz16
