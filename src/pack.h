// One image file through the whole chain: read, composite and reduce to
// pixel words, encode, check the file by decoding it again, write its
// asset files. Single-image and reentrant: a batch runs several at once.
#pragma once

#include <cstdint>
#include <string>

#include "assets.h"
#include "colour.h"
#include "format.h"

namespace lz16 {

struct PackOptions {
  AssetFormat format = AssetFormat::lz;
  Rgb background{0, 0, 0};
  std::string out_dir = ".";
  int64_t pixel_limit = max_pixels;
};

struct PackResult {
  std::string error;  // "" when the asset was written and verified
  Asset asset;        // stem, size and the .lz bytes
};

// Packs the image at path under the name stem. On any failure the reason
// is in error and none of the asset's files is left under its final name,
// not even one from an earlier run.
PackResult pack_image(const std::string& path, const std::string& stem, const PackOptions& options);

}  // namespace lz16
