#include "pixels.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace lz16 {

namespace {

void convert_rgb24_scalar(const uint8_t* rgb, size_t npix, uint16_t* rgb16_raw) {
  for (size_t k = 0; k < npix; ++k, rgb += 3) rgb16_raw[k] = pixel_word(rgb[0], rgb[1], rgb[2]);
}

#if defined(__x86_64__) || defined(__i386__)
// Eight pixels (24 bytes) per step with SSSE3 byte shuffles: each channel
// is gathered into 16-bit lanes, then word = (r & 0xF8) << 8 |
// (g & 0xF8) << 3 | b >> 3, which is pixel_word.
__attribute__((target("ssse3"))) void convert_rgb24_ssse3(const uint8_t* rgb, size_t npix, uint16_t* rgb16_raw) {
  // Pixels 0-2 come from the bytes at offset 0, pixels 3-7 from those at
  // offset 8 (bytes 9-23 are its lanes 1-15); -1 makes a zero byte.
  const __m128i r_lo = _mm_setr_epi8(-1, 0, -1, 3, -1, 6, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i r_hi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, 1, -1, 4, -1, 7, -1, 10, -1, 13);
  const __m128i g_lo = _mm_setr_epi8(1, -1, 4, -1, 7, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i g_hi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 2, -1, 5, -1, 8, -1, 11, -1, 14, -1);
  const __m128i b_lo = _mm_setr_epi8(2, -1, 5, -1, 8, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m128i b_hi = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, 3, -1, 6, -1, 9, -1, 12, -1, 15, -1);
  const __m128i top5 = _mm_set1_epi16(0xF8);
  size_t k = 0;
  for (; k + 8 <= npix; k += 8, rgb += 24) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgb + 8));
    const __m128i r = _mm_or_si128(_mm_shuffle_epi8(lo, r_lo), _mm_shuffle_epi8(hi, r_hi));
    const __m128i g = _mm_or_si128(_mm_shuffle_epi8(lo, g_lo), _mm_shuffle_epi8(hi, g_hi));
    const __m128i b = _mm_or_si128(_mm_shuffle_epi8(lo, b_lo), _mm_shuffle_epi8(hi, b_hi));
    const __m128i word = _mm_or_si128(_mm_or_si128(_mm_and_si128(r, _mm_set1_epi16(static_cast<short>(0xF800))),
                                                   _mm_slli_epi16(_mm_and_si128(g, top5), 3)),
                                      _mm_srli_epi16(b, 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rgb16_raw + k), word);
  }
  convert_rgb24_scalar(rgb, npix - k, rgb16_raw + k);
}
#endif

// Reading in large blocks keeps stdio out of the per-pixel path; the block is
// a multiple of 3 so that a full block ends on a pixel boundary.
constexpr size_t read_block = 3 * 65536;

// For a regular file the pixel count is known up front, so the buffer can be
// sized once instead of growing (and briefly doubling) while reading.
void reserve_for_file(std::FILE* in, PixelWords& rgb16_raw, int64_t pixel_limit) {
  struct stat st;
  if (fstat(fileno(in), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const int64_t pixels = static_cast<int64_t>(st.st_size) / 3;
  if (pixels > 0 && pixels <= pixel_limit) rgb16_raw.reserve(rgb16_raw.size() + static_cast<size_t>(pixels));
}

}  // namespace

void convert_rgb24(const uint8_t* rgb, size_t npix, uint16_t* rgb16_raw) {
#if defined(__x86_64__) || defined(__i386__)
  static const bool ssse3 = __builtin_cpu_supports("ssse3");
  if (ssse3) return convert_rgb24_ssse3(rgb, npix, rgb16_raw);
#endif
  convert_rgb24_scalar(rgb, npix, rgb16_raw);
}

ReadStatus read_pixels(std::FILE* in, PixelWords& rgb16_raw, int64_t pixel_limit) {
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
