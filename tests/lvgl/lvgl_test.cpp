// The LVGL decoder, drawn by LVGL itself: every screen with lz16 images
// must come out identical to the same screen with the same pixels given as
// LVGL's own uncompressed RGB565 (or swapped) and RGB565A8 images.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include <sanitizer/asan_interface.h>  // poisoning, which is nothing without AddressSanitizer

#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "helpers.h"
#include "lvgl_assets.h"
#include "lz16_lvgl.h"
#include "lz16dec.h"
#include "src/misc/cache/lv_cache.h"  // lv_image_cache_drop()
#include "planes.h"

namespace lz16 {
namespace {

using test::Bytes;

// An image: its lz16 planes, LVGL's descriptor of them, and the same
// pixels as an uncompressed LVGL image.
struct Image {
  int width, height;
  Bytes colour, alpha;
  lz16_lvgl_planes_t planes{};
  lv_image_dsc_t lz{}, plain{}, plain_swapped{};
  Bytes pixels, pixels_swapped;  // RGB565 words (then levels widened to 8 bits)
};

Bytes bytes(const uint8_t* from, uint32_t size) { return Bytes(from, from + size); }

// An image of lz16 planes (alpha empty if opaque): LVGL's descriptor of
// them, and LVGL's own images of their pixels, decoded by the library's
// decoder: a transparent pixel's colour 0, levels widened as the decoder
// tells LVGL.
std::unique_ptr<Image> image_of(Bytes colour, Bytes alpha, int width, int height) {
  auto img = std::make_unique<Image>();
  img->width = width, img->height = height, img->colour = std::move(colour), img->alpha = std::move(alpha);
  const bool with_alpha = !img->alpha.empty();
  DecodeResult r{};
  const auto decoded = decode_to_vector(img->colour.data(), img->colour.size(), &r);
  PixelWords words(decoded.begin(), decoded.end());
  std::vector<uint8_t> levels(words.size(), 31);
  if (with_alpha && is_coded_alpha(img->alpha)) {
    EXPECT_EQ(join_coded(decoded, img->colour.size(), img->alpha, words, levels), "");
  } else if (with_alpha) {
    const auto alpha_words = decode_to_vector(img->alpha.data(), img->alpha.size(), &r);
    EXPECT_EQ(join_planes(decoded, img->colour.size(), alpha_words, words, levels), "");
  }
  EXPECT_EQ(words.size(), static_cast<size_t>(width) * height);
  img->planes = {LZ16_LVGL_MAGIC, static_cast<uint32_t>(img->colour.size()), static_cast<uint32_t>(img->alpha.size()),
                 img->colour.data(), with_alpha ? img->alpha.data() : nullptr};
  auto header = [&](lv_image_dsc_t& d, lv_color_format_t cf, const Bytes& data) {
    d.header = {.magic = LV_IMAGE_HEADER_MAGIC, .cf = cf, .flags = 0, .w = static_cast<uint32_t>(width),
                .h = static_cast<uint32_t>(height), .stride = static_cast<uint32_t>(2 * width), .reserved_2 = 0};
    d.data = data.data(), d.data_size = static_cast<uint32_t>(data.size());
  };
  for (int swapped = 0; swapped < 2; ++swapped) {
    Bytes& px = swapped ? img->pixels_swapped : img->pixels;
    for (size_t k = 0; k < words.size(); ++k) {
      const uint16_t w = levels[k] == 0 ? 0 : words[k];
      px.push_back(static_cast<uint8_t>(swapped ? w >> 8 : w)), px.push_back(static_cast<uint8_t>(swapped ? w : w >> 8));
    }
    if (with_alpha)
      for (const uint8_t level : levels) px.push_back(static_cast<uint8_t>(level * 8 + level / 4));
    header(swapped ? img->plain_swapped : img->plain,
           with_alpha ? LV_COLOR_FORMAT_RGB565A8 : swapped ? LV_COLOR_FORMAT_RGB565_SWAPPED : LV_COLOR_FORMAT_RGB565, px);
  }
  header(img->lz, with_alpha ? LV_COLOR_FORMAT_RAW_ALPHA : LV_COLOR_FORMAT_RAW, {});
  img->lz.header.stride = 0;
  img->lz.data = reinterpret_cast<const uint8_t*>(&img->planes), img->lz.data_size = sizeof img->planes;
  return img;
}

constexpr int screen_w = 96, screen_h = 72;
std::vector<uint16_t> framebuffer(screen_w * screen_h);

void flush(lv_display_t* display, const lv_area_t* area, uint8_t* px) {
  const int w = lv_area_get_width(area);
  for (int y = area->y1; y <= area->y2; ++y, px += 2 * w)
    std::memcpy(&framebuffer[static_cast<size_t>(y) * screen_w + area->x1], px, 2 * static_cast<size_t>(w));
  lv_display_flush_ready(display);
}

// A screen: a gradient, a panel, images at places (off every edge), and a
// scrolled box holding one more.
struct Placed {
  const void* src;
  int x, y;
};

std::vector<uint16_t> render(const std::vector<Placed>& images, const void* scrolled, lv_color_format_t cf,
                             int band_rows) {
  static std::vector<uint8_t> buffer(2 * screen_w * screen_h);
  lv_display_t* display = lv_display_create(screen_w, screen_h);
  lv_display_set_default(display);
  lv_display_set_color_format(display, cf);
  lv_display_set_buffers(display, buffer.data(), nullptr, static_cast<uint32_t>(2 * screen_w * band_rows),
                         LV_DISPLAY_RENDER_MODE_PARTIAL);
  lv_display_set_flush_cb(display, flush);
  lv_obj_t* screen = lv_screen_active();
  lv_obj_set_style_bg_color(screen, lv_color_hex(0x2040a0), 0);
  lv_obj_set_style_bg_grad_color(screen, lv_color_hex(0xf0c060), 0);
  lv_obj_set_style_bg_grad_dir(screen, LV_GRAD_DIR_VER, 0);
  lv_obj_t* panel = lv_obj_create(screen);
  lv_obj_set_pos(panel, 30, 20);
  lv_obj_set_size(panel, 40, 30);
  lv_obj_set_style_bg_color(panel, lv_color_hex(0x30d050), 0);
  for (const Placed& p : images) {
    lv_obj_t* image = lv_image_create(screen);
    lv_image_set_src(image, p.src);
    lv_obj_set_style_image_recolor(image, lv_color_hex(0xe02060), 0);  // what A8 images (masks) are drawn in
    lv_obj_set_pos(image, p.x, p.y);
  }
  if (scrolled) {
    lv_obj_t* box = lv_obj_create(screen);
    lv_obj_set_pos(box, 50, 40);
    lv_obj_set_size(box, 40, 28);
    lv_obj_set_style_pad_all(box, 0, 0);
    lv_obj_t* image = lv_image_create(box);
    lv_image_set_src(image, scrolled);
    lv_obj_update_layout(box);
    lv_obj_scroll_to(box, 9, 5, LV_ANIM_OFF);
  }
  std::fill(framebuffer.begin(), framebuffer.end(), 0xDEAD);
  lv_refr_now(display);
  lv_display_delete(display);
  return framebuffer;
}

class Lvgl : public test::ProcessTest {
 protected:
  static void SetUpTestSuite() {
    lv_init();
    lz16_lvgl_init();
    opaque = image_of(bytes(sky_gradient_lz16, SKY_GRADIENT_LZ16_SIZE), {}, SKY_GRADIENT_WIDTH, SKY_GRADIENT_HEIGHT).release();
    soft = image_of(bytes(gem_lz16, GEM_LZ16_SIZE), bytes(gem_alpha, GEM_ALPHA_SIZE), GEM_WIDTH, GEM_HEIGHT).release();
    small = image_of(bytes(bounce_lz16 + bounce_frames[2].offset, bounce_frames[2].size),
                     bytes(bounce_alpha + bounce_alpha_frames[2].offset, bounce_alpha_frames[2].size), BOUNCE_WIDTH,
                     BOUNCE_HEIGHT).release();
  }
  static inline Image *opaque, *soft, *small;

  // The screen drawn with the images' lz16 forms, and with LVGL's own.
  static void expect_same(const std::vector<std::pair<const Image*, std::pair<int, int>>>& images,
                          const Image* scrolled, lv_color_format_t cf, int band_rows,
                          const void* (*lz)(const Image*) = [](const Image* i) -> const void* { return &i->lz; }) {
    const bool swapped = cf == LV_COLOR_FORMAT_RGB565_SWAPPED;
    auto plain = [&](const Image* i) -> const void* {
      return swapped && i->alpha.empty() ? &i->plain_swapped : &i->plain;
    };
    std::vector<Placed> with_lz, with_plain;
    for (const auto& [img, at] : images) {
      with_lz.push_back({lz(img), at.first, at.second});
      with_plain.push_back({plain(img), at.first, at.second});
    }
    const auto want = render(with_plain, scrolled ? plain(scrolled) : nullptr, cf, band_rows);
    const auto got = render(with_lz, scrolled ? lz(scrolled) : nullptr, cf, band_rows);
    const auto first = std::mismatch(want.begin(), want.end(), got.begin()).first - want.begin();
    EXPECT_EQ(first, want.end() - want.begin()) << "differ from x " << first % screen_w << ", y " << first / screen_w;
  }
};

TEST_F(Lvgl, ScreensMatchLvglsOwnImagesInBothFormatsThroughAnyBuffer) {
  // Off the left and top, off the right and bottom, overlapping the panel
  // and each other, and a scrolled one; whole-screen and few-row buffers.
  // Between screens the decoder holds at most one stream (LVGL's heap
  // monitor counts only its own heap, not the C library's under ASan).
  lv_mem_monitor_t before, after;
  lv_mem_monitor(&before);
  for (const lv_color_format_t cf : {LV_COLOR_FORMAT_RGB565, LV_COLOR_FORMAT_RGB565_SWAPPED})
    for (const int rows : {screen_h, 5, 1}) {
      SCOPED_TRACE(testing::Message() << "format " << cf << ", " << rows << " rows a pass");
      expect_same({{opaque, {-13, -20}}, {soft, {70, 50}}, {small, {40, -3}}, {soft, {25, 15}}, {opaque, {60, 30}},
                   {small, {-4, 66}}},
                  soft, cf, rows);
      expect_same({{soft, {-30, 10}}, {opaque, {80, -40}}}, opaque, cf, rows);
    }
  lv_mem_monitor(&after);
  EXPECT_LE(before.total_size ? before.free_size - after.free_size : 0, sizeof(::lz16_blend_stream) + 256);
}

TEST_F(Lvgl, WholeImageDecodingAndFilesDrawTheSame) {
  static lv_image_dsc_t whole_opaque, whole_soft;
  whole_opaque = opaque->lz, whole_soft = soft->lz;
  whole_opaque.header.flags |= LZ16_LVGL_WHOLE, whole_soft.header.flags |= LZ16_LVGL_WHOLE;
  for (int twice = 0; twice < 2; ++twice)  // then from LVGL's cache
    expect_same({{opaque, {-5, 3}}, {soft, {50, 40}}}, nullptr, LV_COLOR_FORMAT_RGB565, 4, [](const Image* i) {
      return static_cast<const void*>(i == opaque ? &whole_opaque : &whole_soft);
    });

  static std::string paths[2];
  static lz16_lvgl_file_t table[2];
  for (const Image* img : {opaque, soft}) {
    const bool k = img == soft;
    write_file(k ? "soft.lz" : "opaque.lz", img->colour);
    if (k) write_file("soft.alpha.lz", img->alpha);
    paths[k] = "A:" + path(k ? "soft.lz" : "opaque.lz");
    table[k] = {paths[k].c_str(), static_cast<uint16_t>(img->width), static_cast<uint16_t>(img->height)};
  }
  lz16_lvgl_set_files(table, 2);
  expect_same({{opaque, {-5, 3}}, {soft, {50, 40}}}, soft, LV_COLOR_FORMAT_RGB565, 3,
              [](const Image* i) { return static_cast<const void*>(paths[i == soft].c_str()); });
  lz16_lvgl_set_files(nullptr, 0);
}

TEST_F(Lvgl, Lz16packsImagesAndFramesDrawAsTheirPixels) {
  // The images found through the index's LVGL table, which lists the LVGL
  // assets alone; their pixels through the C arrays' own tables.
  static_assert(LVGL_ASSETS_COUNT == 5 && LVGL_ASSETS_LVGL_COUNT == 4);
  auto images = [](const char* name) {
    const auto* a = std::find_if(lvgl_assets_lvgl, lvgl_assets_lvgl + LVGL_ASSETS_LVGL_COUNT,
                                 [&](const lz16_lvgl_asset& a) { return std::strcmp(a.name, name) == 0; });
    return a == lvgl_assets_lvgl + LVGL_ASSETS_LVGL_COUNT ? nullptr : a->images;
  };
  ASSERT_TRUE(images("gem") && images("bounce") && !images("checker"));
  std::vector<std::unique_ptr<Image>> refs;
  std::vector<Placed> with_lz, with_plain;
  for (int k = 0; k <= BOUNCE_FRAMES; ++k) {
    const bool frame = k < BOUNCE_FRAMES;
    refs.push_back(frame ? image_of(bytes(bounce_lz16 + bounce_frames[k].offset, bounce_frames[k].size),
                                    bytes(bounce_alpha + bounce_alpha_frames[k].offset, bounce_alpha_frames[k].size),
                                    BOUNCE_WIDTH, BOUNCE_HEIGHT)
                         : image_of(bytes(gem_lz16, GEM_LZ16_SIZE), bytes(gem_alpha, GEM_ALPHA_SIZE), GEM_WIDTH,
                                    GEM_HEIGHT));
    with_lz.push_back({frame ? &images("bounce")[k] : images("gem"), 17 * k - 5, 11 * k - 3});
    with_plain.push_back({&refs.back()->plain, 17 * k - 5, 11 * k - 3});
  }
  EXPECT_EQ(render(with_lz, &gem, LV_COLOR_FORMAT_RGB565, 4),
            render(with_plain, &refs.back()->plain, LV_COLOR_FORMAT_RGB565, 4));
}

// A mask is LVGL's A8 image of its levels, drawn in the recolour: in bands
// or whole, from memory or from a file; lz16pack names it as a mask.
TEST_F(Lvgl, MasksDrawAsLvglsOwnA8Images) {
  static_assert(GEM_MASK_MASK == 1);
  ASSERT_TRUE(std::any_of(lvgl_assets, lvgl_assets + LVGL_ASSETS_COUNT,
                          [](const lz16_asset& a) { return a.mask && std::strcmp(a.name, "gem-mask") == 0; }));
  const Bytes mask = bytes(gem_mask_lz16, GEM_MASK_LZ16_SIZE);
  std::vector<uint8_t> levels;
  ASSERT_EQ(read_mask(mask, levels), "");
  static Bytes a8;
  a8.clear();
  for (const uint8_t level : levels) a8.push_back(static_cast<uint8_t>(level * 8 + level / 4));
  static lv_image_dsc_t plain, whole;
  plain.header = {.magic = LV_IMAGE_HEADER_MAGIC, .cf = LV_COLOR_FORMAT_A8, .flags = 0, .w = GEM_MASK_WIDTH,
                  .h = GEM_MASK_HEIGHT, .stride = GEM_MASK_WIDTH, .reserved_2 = 0};
  plain.data = a8.data(), plain.data_size = static_cast<uint32_t>(a8.size());
  whole = gem_mask, whole.header.flags |= LZ16_LVGL_WHOLE;
  write_file("mask.lz", mask);
  static std::string file;
  file = "A:" + path("mask.lz");
  static const lz16_lvgl_file_t table[] = {{file.c_str(), GEM_MASK_WIDTH, GEM_MASK_HEIGHT}};
  lz16_lvgl_set_files(table, 1);
  for (const int rows : {screen_h, 3}) {
    const auto want = render({{&plain, -7, 5}, {&plain, 60, 40}, {&plain, 30, 20}}, &plain, LV_COLOR_FORMAT_RGB565, rows);
    EXPECT_TRUE(render({{&gem_mask, -7, 5}, {&whole, 60, 40}, {file.c_str(), 30, 20}}, &gem_mask,
                       LV_COLOR_FORMAT_RGB565, rows) == want) << rows << " rows a pass";
  }
  lz16_lvgl_set_files(nullptr, 0);
}

TEST_F(Lvgl, AKeptStreamNeverOutlivesTheBytesItReads) {
  // The sky gradient's planes in a buffer of a program's, drawn with only
  // its top 10 rows on the screen, a few rows a pass, which keeps its
  // stream at row 10; then new pixels of the same size in the same buffer,
  // drawn from row 10 on. Each new picture must be drawn as it is.
  DecodeResult r{};
  const std::vector<uint16_t> sky = decode_to_vector(opaque->colour.data(), opaque->colour.size(), &r);
  auto file_of = [](const std::vector<uint16_t>& words) {
    const SegmentPieces seg = encode_pieces(words.data(), static_cast<int32_t>(words.size()));
    return container_file(seg.code, seg.data);
  };
  const Bytes turned = file_of({sky.rbegin(), sky.rend()}), flat = file_of(std::vector<uint16_t>(sky.size(), 0x1234));
  // New bytes, fewer bytes, and fewer without lv_image_cache_drop(), which a program calls once they change.
  for (const auto& [file, dropped] : {std::pair{&turned, true}, {&flat, true}, {&flat, false}}) {
    const Bytes& change = *file;
    SCOPED_TRACE(testing::Message() << change.size() << " bytes, dropped " << dropped);
    std::vector<uint8_t> buffer(opaque->colour.begin(), opaque->colour.end());
    static lz16_lvgl_planes_t planes;
    static lv_image_dsc_t dsc;
    planes = opaque->planes, planes.colour = buffer.data();
    dsc = opaque->lz, dsc.data = reinterpret_cast<const uint8_t*>(&planes);
    render({{&dsc, 0, screen_h - 10}}, nullptr, LV_COLOR_FORMAT_RGB565, 3);
    ASSERT_LE(change.size(), buffer.size());
    std::copy(change.begin(), change.end(), buffer.begin());
    planes.colour_size = static_cast<uint32_t>(change.size());
    ASAN_POISON_MEMORY_REGION(buffer.data() + change.size(), buffer.size() - change.size());  // never to be read
    if (dropped) lv_image_cache_drop(&dsc);
    const std::unique_ptr<Image> now = image_of(change, {}, opaque->width, opaque->height);
    const auto want = render({{&now->plain, 0, -10}}, nullptr, LV_COLOR_FORMAT_RGB565, 3);
    EXPECT_TRUE(render({{&dsc, 0, -10}}, nullptr, LV_COLOR_FORMAT_RGB565, 3) == want);
    ASAN_UNPOISON_MEMORY_REGION(buffer.data(), buffer.size());
    lv_image_cache_drop(nullptr);  // no stream of this buffer kept past it
  }
}

TEST_F(Lvgl, DamagedImagesDrawNothingOutsideTheirPlaceAndOpenFailuresNothingAtAll) {
  struct Damage { const char* what; bool fails_to_open; void (*apply)(Image&); };
  const Damage damages[] = {
      {"header", true, [](Image& i) { i.colour[3] ^= 0x40; }},
      {"colour plane of another picture", true, [](Image& i) { i.planes.colour_size -= 2; }},
      {"colour plane cut", false, [](Image& i) { i.planes.colour_size = i.planes.colour_size / 2 & ~1u; }},
      {"alpha plane cut", false, [](Image& i) { i.planes.alpha_size = 40; }},
      {"tokens", false, [](Image& i) { std::fill(i.colour.begin() + 100, i.colour.begin() + 140, 0xF7); }},
      {"wrong magic", true, [](Image& i) { i.planes.magic ^= 1; }},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.what);
    std::unique_ptr<Image> bad = image_of(soft->colour, soft->alpha, soft->width, soft->height);
    d.apply(*bad);
    const int x = 20, y = 25;
    const auto without = render({}, nullptr, LV_COLOR_FORMAT_RGB565, 3);
    const auto with = render({{&bad->lz, x, y}}, nullptr, LV_COLOR_FORMAT_RGB565, 3);
    for (int k = 0, px = 0, py = 0; k < screen_w * screen_h; ++k, px = k % screen_w, py = k / screen_w) {
      const bool outside = px < x || px >= x + bad->width || py < y || py >= y + bad->height;
      ASSERT_TRUE(with[k] == without[k] || !(outside || d.fails_to_open)) << "at " << px << ", " << py;
    }
  }
}

}  // namespace
}  // namespace lz16
