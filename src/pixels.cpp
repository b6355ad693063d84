#include "pixels.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace lz16 {

void convert_rgb24(const uint8_t* rgb, size_t npix, uint16_t* rgb16_raw) {
  // pixel_word on the three bytes as one number: fewer operations per pixel.
  for (size_t k = 0; k < npix; ++k, rgb += 3) {
    const uint32_t v = rgb[0] | uint32_t{rgb[1]} << 8 | uint32_t{rgb[2]} << 16;
    rgb16_raw[k] = static_cast<uint16_t>((v & 0xF8) << 8 | ((v >> 5) & 0x07C0) | ((v >> 19) & 0x1F));
  }
}

namespace {

// Reading in large blocks keeps stdio out of the per-pixel path; the block is
// a multiple of 3 so that a full block ends on a pixel boundary.
constexpr size_t read_block = 3 * 65536;

// For a regular file the pixel count is known up front, so the buffer can be
// sized once instead of growing (and briefly doubling) while reading.
void reserve_for_file(std::FILE* in, std::vector<uint16_t>& rgb16_raw, int64_t pixel_limit) {
  struct stat st;
  if (fstat(fileno(in), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const int64_t pixels = static_cast<int64_t>(st.st_size) / 3;
  if (pixels > 0 && pixels <= pixel_limit) rgb16_raw.reserve(rgb16_raw.size() + static_cast<size_t>(pixels));
}

}  // namespace

ReadStatus read_pixels(std::FILE* in, std::vector<uint16_t>& rgb16_raw, int64_t pixel_limit) {
  reserve_for_file(in, rgb16_raw, pixel_limit);
  std::vector<uint8_t> block(read_block);
  size_t carried = 0;  // bytes of an incomplete pixel left from the previous block
  for (;;) {
    const size_t wanted = read_block - carried;
    const size_t got = std::fread(block.data() + carried, 1, wanted, in);
    const size_t have = carried + got;
    const size_t whole = have / 3;
    if (whole > 0) {
      const size_t start = rgb16_raw.size();
      if (static_cast<int64_t>(start + whole) > pixel_limit) return ReadStatus::too_large;
      rgb16_raw.resize(start + whole);
      convert_rgb24(block.data(), whole, rgb16_raw.data() + start);
    }
    carried = have - whole * 3;
    std::memmove(block.data(), block.data() + whole * 3, carried);
    if (got < wanted) return std::ferror(in) ? ReadStatus::io_error : ReadStatus::ok;
  }
}

}  // namespace lz16
