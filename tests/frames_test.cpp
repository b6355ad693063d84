// Frames: sheets cut in order, repeats stored once, joined frames, and GIF
// animations composed as a viewer shows them.
#include <gtest/gtest.h>

#include <filesystem>

#include "decoder.h"
#include "frames.h"
#include "helpers.h"

namespace lz16 {
namespace {

class Frames : public test::ProcessTest {};

TEST_F(Frames, GifFramesAreTheCanvasAsAViewerShowsIt) {
  const std::vector<GifColorType> global = {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {250, 250, 250}},
                                  local = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}};
  // left, top, width, height, disposal, delay, transparent index, interlaced, local table
  const std::vector<test::GifFrame> frames = {
      {0, 0, 8, 6, DISPOSE_DO_NOT, 7, NO_TRANSPARENT_COLOR, false, {}},
      {2, 1, 3, 2, DISPOSE_BACKGROUND, 0, 1, false, local},  // a hole where index 1 is
      {4, 1, 4, 5, DISPOSE_PREVIOUS, 12, NO_TRANSPARENT_COLOR, true, {}},
      {6, 4, 3, 3, DISPOSAL_UNSPECIFIED, 5, 3, false, local},  // partly off the canvas
      {1, 0, 1, 1, DISPOSE_DO_NOT, 1, NO_TRANSPARENT_COLOR, false, {}}};
  test::write_gif(path("a.gif"), 8, 6, global, frames);
  Image img;
  ASSERT_EQ(read_image(path("a.gif"), img), "");
  ASSERT_EQ(img.delay_ms, (std::vector<uint32_t>{70, 0, 120, 50, 10}));
  ASSERT_EQ(img.channels, 4);
  std::vector<uint8_t> canvas(8 * 6 * 4, 0);
  for (size_t f = 0; f < frames.size(); ++f) {
    const test::GifFrame& fr = frames[f];
    const std::vector<uint8_t> before = canvas;
    for (int y = 0; y < fr.height; ++y)
      for (int x = 0; x < fr.width; ++x) {
        const int i = test::index_at(f, x, y), cx = fr.left + x, cy = fr.top + y;
        if (i == fr.transparent || cx >= 8 || cy >= 6) continue;
        const GifColorType c = (fr.local.empty() ? global : fr.local)[static_cast<size_t>(i)];
        const uint8_t rgba[4] = {c.Red, c.Green, c.Blue, 255};
        std::copy_n(rgba, 4, &canvas[static_cast<size_t>(4 * (cy * 8 + cx))]);
      }
    EXPECT_TRUE(std::equal(canvas.begin(), canvas.end(), img.pixels.begin() + static_cast<long>(f * canvas.size())))
        << "frame " << f;
    for (int y = fr.top; fr.disposal == DISPOSE_BACKGROUND && y < fr.top + fr.height; ++y)
      std::fill_n(&canvas[static_cast<size_t>(4 * (y * 8 + fr.left))], 4 * fr.width, 0);
    if (fr.disposal == DISPOSE_PREVIOUS) canvas = before;
  }
}

TEST_F(Frames, SheetsAreCutInOrderRepeatsStoredOnceAndJoinedFramesPlayInOrder) {
  // 3 x 2 frames of 5x4; frames 1 and 4 alike, and 5 like 0.
  constexpr uint32_t across = 3, down = 2, fw = 5, fh = 4, W = across * fw, H = down * fh;
  const uint8_t looks[6] = {0, 1, 2, 3, 1, 0};
  test::Bytes sheet = test::hex("50 36 20 31 35 20 38 20 32 35 35 0a");  // P6 15 8 255
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x) {
      const uint32_t look = looks[y / fh * across + x / fw], u = x % fw, v = y % fh;
      for (uint32_t c = 0; c < 3; ++c) sheet.push_back(static_cast<uint8_t>(look * 60 + (u * 7 + v * 13 + c * 29) % 50));
    }
  write_file("s.ppm", sheet);
  Image img;
  ASSERT_EQ(read_image(path("s.ppm"), img), "");
  Reduction dither;
  dither.dither = true;
  std::vector<PixelWords> want(6);  // each frame on its own, dithered from its corner
  for (uint32_t k = 0; k < 6; ++k) {
    std::vector<uint8_t> rgb;
    for (uint32_t y = 0; y < fh; ++y) {
      const auto row = img.pixels.begin() + 3 * ((k / across * fh + y) * W + k % across * fw);
      rgb.insert(rgb.end(), row, row + 3 * fw);
    }
    want[k].resize(fw * fh);
    image_words(rgb.data(), 3, fw, fw * fh, dither, want[k].data());
  }
  uint32_t width, height;
  const lz16::Frames cut = cut_frames(img, {fw, fh}, dither);
  ASSERT_EQ(cut.count(), 6u);
  for (uint32_t k = 0; k < 6; ++k) EXPECT_TRUE(std::ranges::equal(cut.frame(k), want[k])) << k;
  const std::vector<Box> whole_frames(6, Box{0, 0, fw, fh});
  EXPECT_EQ(first_copies(cut, whole_frames), (std::vector<uint32_t>{0, 1, 2, 3, 1, 0}));
  const PixelWords whole = uncut(cut_frames(img, {fw, fh}, {}), width, height);
  EXPECT_TRUE(width == W && height == H && whole == cut_frames(img, {}, {}).words);

  auto decoded = [&](const char* name) {
    const std::string lz = read_file(path(name));
    DecodeResult r;
    return decode_to_vector(reinterpret_cast<const uint8_t*>(lz.data()), lz.size(), &r);
  };
  test::Proc p = run_cmd(std::string("cd ") + dir_ + " && " + LZ16PACK_EXE + " --dither --frames 5x4 -o lz s.ppm");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_NE(p.err.find("s.ppm: 5x4, 6 frames, 4 stored, "), std::string::npos) << p.err;
  for (uint32_t k = 0; k < 6; ++k)
    EXPECT_TRUE(std::ranges::equal(decoded(("lz/s-00" + std::to_string(k) + ".lz").c_str()), want[k])) << k;
  p = run_cmd(std::string("cd ") + dir_ + " && " + LZ16PACK_EXE + " --dither --frames 5x4 --join-frames -o j s.ppm");
  std::vector<uint16_t> all;
  for (const PixelWords& w : want) all.insert(all.end(), w.begin(), w.end());
  EXPECT_EQ(decoded("j/s.lz"), all);
  EXPECT_NE(p.err.find("s.ppm: 5x4, 6 frames joined, "), std::string::npos) << p.err;

  // Fewer frames: the earlier run's extra frames go. An uneven cut writes nothing.
  ASSERT_EQ(run_cmd(std::string("cd ") + dir_ + " && " + LZ16PACK_EXE + " --frames 15x4 -o lz s.ppm").status, 0);
  EXPECT_EQ(names_in("lz"), "s-000.lz s-001.lz");
  write_file("t.ppm", test::hex("50 36 0a 35 20 31 0a 32 35 35 0a 09 09 09 09 09 09 09 09 09 09 09 09 09 09 09"));
  p = run_cmd(std::string("cd ") + dir_ + " && " + LZ16PACK_EXE + " --frames 4x4 -o uneven s.ppm t.ppm");
  EXPECT_EQ(p.status, 2);
  EXPECT_EQ(p.err, "lz16pack: 's.ppm': 15x8 is not a whole number of 4x4 frames; 't.ppm': 5x1 is not a whole number "
                   "of 4x4 frames (try 'lz16pack --help')\n");
  EXPECT_FALSE(std::filesystem::exists(path("uneven")));
}

TEST_F(Frames, EachFrameTurnsAsImageMagickTurnsIt) {
  // Two 5x3 frames side by side, dithered from each turned frame's own corner.
  test::Bytes sheet = test::hex("50 36 20 31 30 20 33 20 32 35 35 0a");  // P6 10 3 255
  for (int k = 0; k < 90; ++k) sheet.push_back(static_cast<uint8_t>(k * 37 % 251));
  write_file("s.ppm", sheet);
  for (const auto& [ours, theirs] : {std::pair{"--rotate 90", "-rotate 90"}, {"--rotate 180", "-rotate 180"},
                                     {"--rotate 270", "-rotate 270"}, {"--flip h", "-flop"}, {"--flip v", "-flip"},
                                     {"--rotate 270 --flip v", "-rotate 270 -flip"}}) {
    const std::string pack = std::string(LZ16PACK_EXE) + " -q --dither ";
    ASSERT_EQ(run_cmd("cd " + dir_ + " && rm -rf a b && mkdir b && " + pack + "--frames 5x3 " + ours +
                      " -o a s.ppm && convert s.ppm -crop 5x3 +repage " + theirs + " b/f-%d.ppm && " + pack +
                      "-o b b/f-0.ppm b/f-1.ppm").status, 0) << ours;
    for (const std::string k : {"0", "1"})
      EXPECT_EQ(read_file(path(("a/s-00" + k + ".lz").c_str())), read_file(path(("b/f-" + k + ".lz").c_str()))) << ours;
  }
}

TEST(Scale, NearestRepeatsPixelsFlatStaysFlatAndClearPixelsLendNoColour) {
  // 4x2: opaque reds on the left, clear green on the right.
  Image img{4, 2, 4, {}, {0}};
  for (uint32_t k = 0; k < 8; ++k)
    img.pixels.insert(img.pixels.end(), k % 4 < 2 ? std::initializer_list<uint8_t>{200, uint8_t(20 * k), 30, 255}
                                                  : std::initializer_list<uint8_t>{0, 255, 0, 0});
  using enum Scale::Mode;
  Reduction alpha;
  alpha.alpha = true;
  const lz16::Frames base = cut_frames(img, {}, alpha),
                     tripled = cut_frames(img, {}, alpha, {}, {percent, 0, 0, 300, true});
  ASSERT_TRUE(tripled.width == 12 && tripled.height == 6);
  for (uint32_t k = 0, at = 0; k < 72; ++k, at = k / 36 * 4 + k % 12 / 3)
    ASSERT_TRUE(tripled.words[k] == base.words[at] && tripled.levels[k] == base.levels[at]) << k;
  // The clear pixels' colour changes no pixel that shows.
  Image blue = img;
  for (size_t k = 0; k < 8; ++k) blue.pixels[4 * k + 2] = blue.pixels[4 * k + 3] ? 30 : 255;
  for (const Scale& s : {Scale{exact, 7, 3}, {exact, 2, 1}, {fit, 40, 9, 100, false, true}, {fill, 3, 5}}) {
    const lz16::Frames f = cut_frames(img, {}, alpha, {}, s), g = cut_frames(blue, {}, alpha, {}, s);
    for (size_t k = 0; k < f.words.size(); ++k)
      EXPECT_TRUE(f.levels[k] == g.levels[k] && (f.levels[k] == 0 || f.words[k] == g.words[k]))
          << k << " of " << f.width << "x" << f.height;
  }
  const Image flat{5, 3, 3, std::vector<uint8_t>(45, 77), {0}};
  for (const Scale& s : {Scale{exact, 1, 1}, {exact, 13, 4}, {fit, 100, 100, 100, false, true}, {percent, 0, 0, 37}}) {
    const lz16::Frames f = cut_frames(flat, {}, {}, {}, s);
    EXPECT_EQ(std::count(f.words.begin(), f.words.end(), pixel_word(77, 77, 77)), long(f.words.size())) << f.width;
  }
  // Black and white average in linear light: 188, not 128.
  const lz16::Frames grey = cut_frames(Image{2, 1, 3, {0, 0, 0, 255, 255, 255}, {0}}, {}, {}, {}, {exact, 1, 1});
  EXPECT_EQ(grey.words[0] >> 11, 188 >> 3);
}

TEST(Scale, FitShrinksUnlessToldFillCoversTheBoxAndKeepsItsAnchor) {
  using enum Scale::Mode;
  // {width, height, scale, width and height shown}
  const std::tuple<uint32_t, uint32_t, Scale, uint32_t, uint32_t> cases[] = {
      {100, 50, {fit, 40, 40}, 40, 20}, {48, 48, {fit, 240, 240}, 48, 48}, {48, 48, {fit, 240, 200, 100, false, true}, 200, 200},
      {400, 100, {fit, 320, 240}, 320, 80}, {300, 200, {fill, 320, 240}, 320, 240}, {3000, 20, {fill, 320, 240}, 320, 240},
      {5, 3, {percent, 0, 0, 50}, 3, 2}};
  for (uint32_t w, h; const auto& [width, height, scale, shown_w, shown_h] : cases)
    EXPECT_TRUE((shown_size(width, height, scale, w, h), w == shown_w && h == shown_h)) << width << " gave " << w;
  // 12x4, each column of its own red: filled into 2x2, by nearest, it is
  // halved to 6x2 and two columns of it kept, where the anchor says.
  Image img{12, 4, 3, {}, {0}};
  for (uint32_t k = 0; k < 48; ++k) img.pixels.insert(img.pixels.end(), {uint8_t(20 * (k % 12)), 0, 0});
  for (const Anchor& a : anchors) {
    Scale s{fill, 2, 2, 100, true};
    s.anchor_x = a.x, s.anchor_y = a.y;
    const lz16::Frames f = cut_frames(img, {}, {}, {}, s);
    ASSERT_TRUE(f.width == 2 && f.height == 2) << a.name;
    const uint32_t first = 2 * a.x;  // of the halved picture's columns 0..5
    for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(f.words[k] >> 11, 20 * (2 * (first + k % 2)) >> 3) << a.name << k;
  }
}

}  // namespace
}  // namespace lz16
