// The converter's run: banner, input, encoding, output, report.
#pragma once

#include <cstdint>
#include <cstdio>

#include "format.h"

namespace lz16 {

// The size of a compressed image of bytes bytes as a percentage of its npix
// pixels as 16-bit words (2 bytes each); 0 for an image with no pixel.
double compression_ratio(int64_t bytes, int64_t npix);

// Converts the raw 24-bit pixel stream on in to a compressed image on out,
// writing the banner, the report and any error to err. Returns the exit
// status: 0 on success, 1 when reading, writing or allocating failed or the
// input holds more than pixel_limit pixels; on a failure the error is one
// line on err, and nothing is written to out unless the write itself failed.
int run_converter(std::FILE* in, std::FILE* out, std::FILE* err, int64_t pixel_limit = max_pixels);

}  // namespace lz16
