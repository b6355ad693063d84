// One image file through the whole chain: read, cut into frames, composite
// and reduce to pixel words, encode, check each file by decoding it again,
// write its asset files. Single-image and reentrant: a batch runs several
// at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "assets.h"
#include "colour.h"
#include "format.h"
#include "frames.h"

namespace lz16 {

// What one run's inputs share as they are packed side by side.
struct PackRun {
  TempFiles temps;                  // the temporary files being written, for an interrupt to remove
  std::atomic<uint64_t> files{0};   // asset files written so far
  uint64_t max_files = 262144;      // more in one run is refused
};

struct PackOptions {
  AssetFormat format = AssetFormat::lz;
  Reduction reduction;
  FrameCut cut;              // frames to cut each image into; 0 x 0 for none
  Scale scale;               // how each frame is scaled, then
  Turn turn;                 // rotated and mirrored
  bool join_frames = false;  // an image's frames as one file, not one file each
  bool trim = false;         // each frame as the box of its pixels that show (needs alpha or a key)
  bool preview = false;  // also STEM.preview.png: the picture as the device shows it
  bool page_pictures = false;  // the source and the picture the device shows, for a page
  std::string out_dir = ".";
  int64_t pixel_limit = max_pixels;
  PackRun* run = nullptr;  // shared by a run's inputs; none for one image on its own
};

// A picture for a page: PNG bytes, scaled down to at most page_pixels.
struct PagePicture {
  uint32_t width = 0, height = 0;
  std::string png;
};
inline constexpr uint64_t page_pixels = 512 * 512;

struct PackResult {
  std::string error;  // "" when the asset was written and verified
  Asset asset;        // stem, size, the key's word and the frames; its bytes are let go once written
  uint64_t bytes = 0; // of the compressed image, or of its frames' files once each, alpha planes included
  uint64_t alpha_bytes = 0;  // of those, the alpha planes'
  bool opaque = false;  // alpha was asked for, and the image has none
  ColourLoss loss;    // of the picture shown against the source, over every frame
  uint64_t moved = 0; // opaque pixels moved off the key
  std::vector<std::string> outputs;  // the files written, by name in the output directory
  // With page_pictures: the source, every frame laid out as it was cut, and
  // what the device shows, the key's pixels as a checkerboard.
  PagePicture source, shown;
};

// The names of the files pack_image writes for stem, but for frames'
// files of their own (STEM-000.lz, ...), which the frame count names.
std::vector<std::string> pack_file_names(const std::string& stem, const PackOptions& options);

// Whether the image at path may give frames' files of their own: with the
// lz format, when frames are cut and not joined, or for a GIF by its name.
bool may_write_frame_files(const std::string& path, const PackOptions& options);

// Packs the image at path under the name stem. On any failure the reason
// is in error and none of the asset's files is left under its final name,
// not even one from an earlier run. Frames' files that an earlier run of
// stem wrote and this one does not are removed too: those listed in the
// note it left beside them, ".STEM.lz16frames", and still as it wrote them,
// so that another input's file of the same name is never taken.
PackResult pack_image(const std::string& path, const std::string& stem, const PackOptions& options);

}  // namespace lz16
