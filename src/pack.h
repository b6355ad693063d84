// One image file through the whole chain: read, composite and reduce to
// pixel words, encode, check the file by decoding it again, write its
// asset files. Single-image and reentrant: a batch runs several at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "assets.h"
#include "colour.h"
#include "format.h"

namespace lz16 {

struct PackOptions {
  AssetFormat format = AssetFormat::lz;
  Reduction reduction;
  bool preview = false;  // also STEM.preview.png: the picture as the device shows it
  std::string out_dir = ".";
  int64_t pixel_limit = max_pixels;
};

struct PackResult {
  std::string error;  // "" when the asset was written and verified
  Asset asset;        // stem, size, the .lz bytes and the key's word
  ColourLoss loss;    // of the picture shown against the source
  uint64_t moved = 0; // opaque pixels moved off the key
};

// The names of the files pack_image writes for stem.
std::vector<std::string> pack_file_names(const std::string& stem, const PackOptions& options);

// Packs the image at path under the name stem. On any failure the reason
// is in error and none of the asset's files is left under its final name,
// not even one from an earlier run.
PackResult pack_image(const std::string& path, const std::string& stem, const PackOptions& options);

}  // namespace lz16
