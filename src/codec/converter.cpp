#include "converter.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <new>
#include <vector>

#include "container.h"
#include "encoder.h"
#include "pixels.h"

namespace lz16 {

namespace {

// The banner leaves its line open for the report; an error ends it first so
// that the error stands on a line of its own.
int fail(std::FILE* err, const char* what, const char* why) {
  std::fprintf(err, "\nlz16: %s: %s\n", what, why);
  return 1;
}

void report(std::FILE* err, int32_t npix, size_t code_len, size_t data_len, int64_t total) {
  const double ratio = compression_ratio(total, npix);
  std::fprintf(err, "\npixel count : %i pixels", npix);
  std::fprintf(err, "\ncode segment: %i byte", static_cast<int32_t>(code_len));
  std::fprintf(err, "\ndata segment: %i byte", static_cast<int32_t>(data_len));
  std::fprintf(err, "\ntotal size  : %" PRId64 " byte", total);
  std::fprintf(err, "\ncomp. ratio : %.1f%%", ratio);
  std::fprintf(err, "\ndone!\n");
}

}  // namespace

double compression_ratio(int64_t bytes, int64_t npix) {
  const int64_t raw_size = 2 * npix;
  return raw_size > 0 ? static_cast<double>(bytes) * 100.0 / static_cast<double>(raw_size) : 0.0;
}

int run_converter(std::FILE* in, std::FILE* out, std::FILE* err, int64_t pixel_limit) {
  std::fprintf(err, "processing image.... ");
  std::fflush(err);
  try {
    PixelWords rgb16_raw;
    switch (read_pixels(in, rgb16_raw, pixel_limit)) {
      case ReadStatus::ok:
        break;
      case ReadStatus::io_error:
        return fail(err, "cannot read standard input", std::strerror(errno));
      case ReadStatus::too_large:
        std::fprintf(err, "\nlz16: input too large: more than %" PRId64 " pixels\n", pixel_limit);
        return 1;
    }
    const int32_t npix = static_cast<int32_t>(rgb16_raw.size());
    const SegmentPieces seg = encode_pieces(rgb16_raw.data(), npix);
    const int64_t total = write_container(out, seg.code, seg.data);
    if (total < 0) return fail(err, "cannot write standard output", std::strerror(errno));
    report(err, npix, byte_count(seg.code), byte_count(seg.data), total);
    return 0;
  } catch (const std::bad_alloc&) {
    return fail(err, "out of memory", "the image does not fit in memory");
  }
}

}  // namespace lz16
