// The floor for a batch of PNG files: decode each to 8-bit RGBA with libpng
// alone, the files shared out over N threads, and nothing else. lz16pack
// reads PNG the same way and then does all its own work, so its time on the
// same files, beside this, tells what that work costs.
//
//   lz16-png-floor THREADS FILE...
#include <png.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: lz16-png-floor THREADS FILE...\n");
    return 2;
  }
  const int threads = std::atoi(argv[1]);
  std::atomic<int> next{2}, failed{0};
  std::vector<std::jthread> pool;
  for (int t = 0; t < threads; ++t)
    pool.emplace_back([&] {
      std::vector<png_byte> pixels;
      for (int k; (k = next++) < argc;) {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        if (!png_image_begin_read_from_file(&image, argv[k])) {
          ++failed;
          continue;
        }
        image.format = PNG_FORMAT_RGBA;
        pixels.resize(PNG_IMAGE_SIZE(image));
        if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) ++failed;
      }
    });
  pool.clear();
  if (failed) std::fprintf(stderr, "lz16-png-floor: %d files failed\n", failed.load());
  return failed ? 1 : 0;
}
