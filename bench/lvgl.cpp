// One LVGL screen of images, drawn again and again on a 320x240 RGB565
// display in memory: the time of a full redraw (median), and how far the
// peak of LVGL's heap (its memory monitor) rises over the peak of drawing
// the same screen with the images hidden.
//
//   lz16-lvgl-bench ROWS REPEATS [--whole | --files] X,Y,W,H,FILE...
//
// ROWS: the rows of the partial draw buffer (240: one pass). FILE: an .lz
// colour plane (its alpha plane beside it as .alpha.lz, if there is one),
// or LVGL's .bin file (LVGLImage.py --ofmt BIN). --whole: lz16 images
// decoded whole into LVGL's cache; --files: lz16 images drawn from their
// files through lv_fs (LVGL's stdio driver), a chunk at a time. Prints "MEDIAN_MS FIRST_MS PEAK_BYTES":
// the first draw is the one that fills LVGL's cache, where it is used.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lz16_lvgl.h"

namespace {

constexpr int screen_w = 320, screen_h = 240;

std::vector<uint8_t> slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void flush(lv_display_t* display, const lv_area_t*, uint8_t*) { lv_display_flush_ready(display); }

struct Loaded {
  std::vector<uint8_t> colour, alpha;
  lz16_lvgl_planes_t planes{};
  lv_image_dsc_t dsc{};
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s ROWS REPEATS [--whole] X,Y,W,H,FILE...\n", argv[0]);
    return 2;
  }
  const int rows = std::atoi(argv[1]), repeats = std::atoi(argv[2]);
  int first = 3;
  const bool whole = std::strcmp(argv[3], "--whole") == 0, files = std::strcmp(argv[3], "--files") == 0;
  first += whole || files;
  static std::vector<std::string> paths;
  static std::vector<lz16_lvgl_file_t> table;
  paths.reserve(static_cast<size_t>(argc));
  lv_init();
  lz16_lvgl_init();
  static std::vector<uint8_t> buffer(2 * screen_w * screen_h);
  lv_display_t* display = lv_display_create(screen_w, screen_h);
  lv_display_set_buffers(display, buffer.data(), nullptr, static_cast<uint32_t>(2 * screen_w * rows),
                         LV_DISPLAY_RENDER_MODE_PARTIAL);
  lv_display_set_flush_cb(display, flush);
  lv_obj_t* screen = lv_screen_active();
  lv_obj_set_style_bg_color(screen, lv_color_hex(0x203040), 0);
  std::vector<Loaded> images(static_cast<size_t>(argc - first));
  for (int k = first; k < argc; ++k) {
    Loaded& img = images[static_cast<size_t>(k - first)];
    int x, y, w, h, at = 0;
    if (std::sscanf(argv[k], "%d,%d,%d,%d,%n", &x, &y, &w, &h, &at) != 4 || !at) return 2;
    const std::string path = argv[k] + at;
    lv_obj_t* obj = lv_image_create(screen);
    lv_obj_set_pos(obj, x, y);
    lv_obj_add_flag(obj, LV_OBJ_FLAG_HIDDEN);
    if (files) {
      paths.push_back("A:" + path);
      table.push_back({paths.back().c_str(), static_cast<uint16_t>(w), static_cast<uint16_t>(h)});
      lz16_lvgl_set_files(table.data(), static_cast<uint32_t>(table.size()));
      lv_image_set_src(obj, paths.back().c_str());
      continue;
    }
    img.colour = slurp(path);
    if (path.ends_with(".bin")) {  // LVGL's header, then its data
      std::memcpy(&img.dsc.header, img.colour.data(), sizeof img.dsc.header);
      img.dsc.data = img.colour.data() + sizeof img.dsc.header;
      img.dsc.data_size = static_cast<uint32_t>(img.colour.size() - sizeof img.dsc.header);
    } else {
      img.alpha = slurp(path.substr(0, path.size() - 3) + ".alpha.lz");
      img.planes = {LZ16_LVGL_MAGIC, static_cast<uint32_t>(img.colour.size()), static_cast<uint32_t>(img.alpha.size()),
                    img.colour.data(), img.alpha.empty() ? nullptr : img.alpha.data()};
      img.dsc.header.magic = LV_IMAGE_HEADER_MAGIC;
      img.dsc.header.cf = img.alpha.empty() ? LV_COLOR_FORMAT_RAW : LV_COLOR_FORMAT_RAW_ALPHA;
      img.dsc.header.w = static_cast<uint32_t>(w);
      img.dsc.header.h = static_cast<uint32_t>(h);
      img.dsc.header.flags = whole ? LZ16_LVGL_WHOLE : 0;
      img.dsc.data = reinterpret_cast<const uint8_t*>(&img.planes);
      img.dsc.data_size = sizeof img.planes;
    }
    lv_image_set_src(obj, &img.dsc);
  }
  lv_refr_now(display);
  lv_mem_monitor_t before, after;
  lv_mem_monitor(&before);
  for (uint32_t k = 0; k < lv_obj_get_child_count(screen); ++k)
    lv_obj_remove_flag(lv_obj_get_child(screen, static_cast<int32_t>(k)), LV_OBJ_FLAG_HIDDEN);
  std::vector<double> ms;
  double first_ms = 0;
  for (int r = 0; r < repeats; ++r) {
    lv_obj_invalidate(screen);
    const auto t0 = std::chrono::steady_clock::now();
    lv_refr_now(display);
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
    if (r == 0) first_ms = ms.back();
  }
  lv_mem_monitor(&after);
  std::sort(ms.begin(), ms.end());
  std::printf("%.3f %.3f %zu\n", ms[ms.size() / 2], first_ms, after.max_used - before.max_used);
}
