#include "pack.h"

#include <cstdio>
#include <new>

#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_in.h"
#include "pixels.h"

namespace lz16 {

namespace {

// The image file as pixel words; "" or why not.
std::string read_words(const std::string& path, const PackOptions& options, Asset& asset, PixelWords& words) {
  Image img;
  if (std::string error = read_image(path, img, options.pixel_limit); !error.empty()) return error;
  asset.width = img.width;
  asset.height = img.height;
  words.resize(size_t{img.width} * img.height);
  image_words(img.pixels.data(), img.channels, words.size(), options.background, words.data());
  return "";
}

// The file must decode, with the strict decoder, to exactly the words it
// was made from before it counts as written. Room for one word more shows
// a file that holds too many.
bool verified(const std::vector<uint8_t>& file, const PixelWords& words) {
  PixelWords back(words.size() + 1);
  const DecodeResult r = decode(file.data(), file.size(), back.data(), back.size());
  return r.error == DecodeError::none && r.npix == words.size() &&
         std::equal(words.begin(), words.end(), back.begin());
}

std::string pack(const std::string& path, const PackOptions& options, Asset& asset) {
  PixelWords words;
  if (std::string error = read_words(path, options, asset, words); !error.empty()) return error;
  const SegmentPieces seg = encode_pieces(words.data(), static_cast<int32_t>(words.size()));
  asset.lz = container_file(seg.code, seg.data);
  if (!verified(asset.lz, words)) return "the compressed image does not decode to its pixels";
  return write_files(options.out_dir, asset_files(asset, options.format));
}

}  // namespace

PackResult pack_image(const std::string& path, const std::string& stem, const PackOptions& options) {
  PackResult result;
  result.asset.stem = stem;
  try {
    result.error = pack(path, options, result.asset);
  } catch (const std::bad_alloc&) {
    result.error = "out of memory";
  }
  if (!result.error.empty()) {
    // A build must not pick up an earlier run's asset for an image that failed.
    for (const std::string& name : asset_file_names(stem, options.format))
      std::remove((options.out_dir + "/" + name).c_str());
  }
  return result;
}

}  // namespace lz16
