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
  bool mask = false;         // each frame's alpha alone, as a mask (reduction.alpha set too)
  bool preview = false;  // also STEM.preview.png: the picture as the device shows it
  bool page_pictures = false;  // the source and the picture the device shows, for a page
  std::string out_dir = ".";
  int64_t pixel_limit = max_pixels;
  PackRun* run = nullptr;  // shared by a run's inputs; none for one image on its own
};

// A picture for a page: PNG bytes, scaled down to at most page_pixels.
struct PagePicture {
  uint32_t width = 0, height = 0;            // as held in png
  uint32_t full_width = 0, full_height = 0;  // before it was scaled down
  uint32_t panels = 1;                       // the picture side by side, over other backgrounds
  std::string png;
};
inline constexpr uint64_t page_pixels = 512 * 512;

// Frames of more pixels than this (1920x1080 and a little more) are larger
// than any panel of 16-bit colour: a frame of them, not scaled, is warned of.
inline constexpr uint64_t panel_pixels = 2048 * 1024;

struct PackResult {
  std::string error;  // "" when the asset was written and verified
  std::string warning;  // what the user may not have meant, else ""
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

// One input of a batch: where its image comes from, its name and options,
// what the run planned for it, and what packing it gave.
struct PackedInput {
  std::string path;  // as given; "-" for standard input
  std::string stem;
  PackOptions options;  // a manifest gives each asset its own
  std::vector<uint8_t> held;  // the file's bytes, where the run had to read them first (a pipe); else empty
  uint64_t frames = 0;  // the frames the run counted in the file's content, where its outputs' names need them
  bool found_by_glob = false;  // a manifest's glob found it
  PackResult result;
};

// Whether an image that gives frames frames (as count_frames counts them)
// is given as frames: an animation, or a sheet cut into frames.
bool is_framed(uint64_t frames, const PackOptions& options);

// The frames an image of width x height and image_frames frames gives,
// each frame cut into the options' sheet. "" or why it cannot be cut so, or
// gives too many.
std::string count_frames(uint32_t width, uint32_t height, uint64_t image_frames, const PackOptions& options,
                         uint64_t& count);

// Whether the names of the files an asset writes follow its frame count:
// with -f lz and frames not joined, each frame is a file of its own.
bool names_follow_frames(const PackOptions& options);

// Every file packing may write for an input of stem that gives frames
// frames (as count_frames counts them; 0 as 1): its asset's files (with
// --alpha, the alpha planes too, which it writes only for an image that
// has alpha) and its preview.
std::vector<std::string> pack_file_names(const std::string& stem, const PackOptions& options, uint64_t frames);

// Packs the input, reading its file (or its held bytes), into its result.
// Its frame count must be the one the run counted, where names follow it.
// On any failure the reason is in result.error and none of the asset's
// files is left under its final name, not even one from an earlier run.
// Frames' files that an earlier run of stem wrote and this one does not
// are removed too (earlier_frames() tells them), but never another
// input's file of the same name.
void pack_image(PackedInput& input);

}  // namespace lz16
