#include "pack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_in.h"
#include "image_out.h"
#include "pixels.h"

namespace lz16 {

namespace {

const char preview_suffix[] = ".preview.png";

// The image file as pixel words, and how much colour they lost; "" or why not.
std::string read_words(const std::string& path, const PackOptions& options, PackResult& result, PixelWords& words) {
  Image img;
  if (std::string error = read_image(path, img, options.pixel_limit); !error.empty()) return error;
  result.asset.width = img.width;
  result.asset.height = img.height;
  words.resize(size_t{img.width} * img.height);
  const Reduced reduced =
      image_words(img.pixels.data(), img.channels, img.width, words.size(), options.reduction, words.data());
  result.moved = reduced.moved;
  result.loss = reduced.loss;
  return "";
}

// The file decoded again with the strict decoder into back. It must give
// exactly the words it was made from before it counts as written. Room for
// one word more shows a file that holds too many.
bool verified(const std::vector<uint8_t>& file, const PixelWords& words, PixelWords& back) {
  back.resize(words.size() + 1);
  const DecodeResult r = decode(file.data(), file.size(), back.data(), back.size());
  return r.error == DecodeError::none && r.npix == words.size() &&
         std::equal(words.begin(), words.end(), back.begin());
}

// The decoded picture as a PNG, with the key's pixels as a grey
// checkerboard of 8x8 squares.
std::string preview_png(PixelWords& shown, const Asset& asset) {
  shown.resize(size_t{asset.width} * asset.height);
  if (asset.key) {
    constexpr uint16_t light = level_word(24, 24, 24), dark = level_word(18, 18, 18);
    for (size_t k = 0; k < shown.size(); ++k)
      if (shown[k] == *asset.key) shown[k] = (k % asset.width / 8 + k / asset.width / 8) % 2 ? dark : light;
  }
  char* bytes = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&bytes, &size);
  if (!out) throw std::bad_alloc();
  const bool ok = write_png(out, shown.data(), asset.width, asset.height);
  std::fclose(out);
  std::string png(bytes, size);
  std::free(bytes);
  if (!ok) throw std::bad_alloc();  // writing to memory fails only for want of it
  return png;
}

std::string pack(const std::string& path, const PackOptions& options, PackResult& result) {
  Asset& asset = result.asset;
  PixelWords words;
  if (std::string error = read_words(path, options, result, words); !error.empty()) return error;
  if (options.reduction.key) asset.key = key_word(options.reduction);
  const SegmentPieces seg = encode_pieces(words.data(), static_cast<int32_t>(words.size()));
  asset.lz = container_file(seg.code, seg.data);
  PixelWords shown;
  if (!verified(asset.lz, words, shown)) return "the compressed image does not decode to its pixels";
  PixelWords().swap(words);
  std::vector<OutFile> files = asset_files(asset, options.format);
  if (options.preview) files.emplace_back(asset.stem + preview_suffix, preview_png(shown, asset));
  return write_files(options.out_dir, files);
}

}  // namespace

std::vector<std::string> pack_file_names(const std::string& stem, const PackOptions& options) {
  std::vector<std::string> names = asset_file_names(stem, options.format);
  if (options.preview) names.push_back(stem + preview_suffix);
  return names;
}

PackResult pack_image(const std::string& path, const std::string& stem, const PackOptions& options) {
  PackResult result;
  result.asset.stem = stem;
  try {
    result.error = pack(path, options, result);
  } catch (const std::bad_alloc&) {
    result.error = "out of memory";
  }
  if (!result.error.empty()) {
    // A build must not pick up an earlier run's asset for an image that failed.
    for (const std::string& name : pack_file_names(stem, options)) std::remove((options.out_dir + "/" + name).c_str());
  }
  return result;
}

}  // namespace lz16
