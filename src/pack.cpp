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

// The image as pixel words; "" or why not.
std::string image_words(const std::string& path, const PackOptions& options, Asset& asset, PixelWords& words) {
  Image img;
  if (std::string error = read_image(path, img, options.pixel_limit); !error.empty()) return error;
  asset.width = img.width;
  asset.height = img.height;
  words.resize(size_t{img.width} * img.height);
  rgba_to_words(img.rgba.data(), words.size(), options.background, words.data());
  return "";
}

// The file must decode, with the strict decoder, to exactly the words it
// was made from before it counts as written.
bool verified(const std::vector<uint8_t>& file, const PixelWords& words) {
  DecodeResult r;
  const std::vector<uint16_t> back = decode_to_vector(file.data(), file.size(), &r);
  return r.error == DecodeError::none && std::equal(back.begin(), back.end(), words.begin(), words.end());
}

std::string pack(const std::string& path, const PackOptions& options, Asset& asset) {
  PixelWords words;
  if (std::string error = image_words(path, options, asset, words); !error.empty()) return error;
  asset.lz = container_file(encode(words.data(), static_cast<int32_t>(words.size())));
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
