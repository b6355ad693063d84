#include "pack.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <span>

#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_in.h"
#include "image_out.h"
#include "pixels.h"
#include "planes.h"

namespace lz16 {

namespace {

const char preview_suffix[] = ".preview.png";
// What a mask is drawn in for its preview: a blue that shows over every background.
constexpr uint16_t mask_preview_ink = 0x249E;

// The words as an lz16 file, appended to to once decoding it again with
// the strict decoder has given exactly those words; its offset and size
// there, or nothing if it did not decode so. Room for one word more in
// back shows a file that holds too many.
std::optional<std::pair<uint32_t, uint32_t>> append_verified(std::span<const uint16_t> words, std::vector<uint8_t>& to,
                                                             PixelWords& back) {
  const SegmentPieces seg = encode_pieces(words.data(), static_cast<int32_t>(words.size()));
  std::vector<uint8_t> file = container_file(seg.code, seg.data);
  back.resize(words.size() + 1);
  const DecodeResult r = decode(file.data(), file.size(), back.data(), back.size());
  const size_t offset = to.size();
  if (r.error != DecodeError::none || r.npix != words.size() || !std::equal(words.begin(), words.end(), back.begin()) ||
      offset + file.size() > UINT32_MAX)
    return std::nullopt;
  if (to.empty())
    to = std::move(file);  // a still picture's file, or the first frame's
  else
    to.insert(to.end(), file.begin(), file.end());
  return std::pair{static_cast<uint32_t>(offset), static_cast<uint32_t>(to.size() - offset)};
}

// Appends the levels' mask (all opaque where there are none) to the
// asset's bytes once it reads back as them; false if not, or if the bytes
// outgrew 4 GiB. Sets where it lies.
bool append_mask(size_t npix, std::span<const uint8_t> levels, uint32_t width, Asset& asset, AssetFrame& at) {
  const std::vector<uint8_t> opaque(levels.empty() ? npix : 0, static_cast<uint8_t>(alpha_max));
  if (levels.empty()) levels = opaque;
  const std::vector<uint8_t> mask = code_mask(levels, width);
  std::vector<uint8_t> back;
  if (!read_mask(mask, back).empty() || !std::equal(levels.begin(), levels.end(), back.begin(), back.end()) ||
      asset.lz.size() + mask.size() > UINT32_MAX)
    return false;
  at.offset = static_cast<uint32_t>(asset.lz.size()), at.size = static_cast<uint32_t>(mask.size());
  asset.lz.insert(asset.lz.end(), mask.begin(), mask.end());
  return true;
}

// Appends the image of words, width pixels wide, and with levels its colour
// plane and coded alpha plane instead (or for a mask, its mask alone), to
// the asset's bytes; false if the files did not decode to what they were
// made of (or the bytes outgrew 4 GiB). Sets where they lie.
bool append_image(std::span<const uint16_t> words, std::span<const uint8_t> levels, uint32_t width, Asset& asset,
                  AssetFrame& at, PixelWords& back) {
  if (asset.mask) return append_mask(words.size(), levels, width, asset, at);
  if (levels.empty()) {
    const auto file = append_verified(words, asset.lz, back);
    if (file) std::tie(at.offset, at.size) = *file;
    return file.has_value();
  }
  CodedPlanes planes = code_planes(words, levels, width);
  DecodeResult r;
  const std::vector<uint16_t> colour = decode_to_vector(planes.colour.data(), planes.colour.size(), &r);
  PixelWords joined;
  std::vector<uint8_t> joined_levels;
  if (r.error != DecodeError::none || !join_coded(colour, planes.colour.size(), planes.alpha, joined, joined_levels).empty() ||
      !std::equal(levels.begin(), levels.end(), joined_levels.begin(), joined_levels.end()) ||
      asset.lz.size() + planes.colour.size() > UINT32_MAX || asset.alpha.size() + planes.alpha.size() > UINT32_MAX)
    return false;
  for (size_t k = 0; k < words.size(); ++k)
    if (levels[k] && joined[k] != words[k]) return false;
  at.offset = static_cast<uint32_t>(asset.lz.size()), at.size = static_cast<uint32_t>(planes.colour.size());
  at.alpha_offset = static_cast<uint32_t>(asset.alpha.size()), at.alpha_size = static_cast<uint32_t>(planes.alpha.size());
  asset.lz.insert(asset.lz.end(), planes.colour.begin(), planes.colour.end());
  asset.alpha.insert(asset.alpha.end(), planes.alpha.begin(), planes.alpha.end());
  return true;
}

// Every name stem's asset may have beside its frames' files, this run's and earlier runs'.
std::vector<std::string> stale_names(const std::string& stem, const PackOptions& options) {
  std::vector<std::string> names = asset_file_names(stem, options.format);  // alpha planes included
  if (options.preview) names.push_back(stem + preview_suffix);
  return names;
}

// Writes the asset's files under the directory's lock, and removes what an
// earlier run of it wrote that this one does not.
std::string write_asset(const std::string& stem, std::vector<OutFile>& files, const PackOptions& options) {
  if (PackRun* run = options.run; run && (run->files += files.size()) > run->max_files)
    return "the run would write more than " + std::to_string(run->max_files) + " files";
  DirectoryLock lock;
  if (std::string error = lock_directory(options.out_dir, lock); !error.empty()) return error;
  const std::vector<std::string> earlier = earlier_frames(options.out_dir, stem);
  if (std::string error = write_files(options.out_dir, files, options.run ? &options.run->temps : nullptr);
      !error.empty())
    return error;
  remove_stale(options.out_dir, stale_names(stem, options), earlier, files);
  return "";
}

// The frame's words and levels as stored: within its box, where that is
// not the whole frame.
void stored_pixels(const Frames& frames, size_t k, Box box, PixelWords& cropped, std::vector<uint8_t>& cropped_levels,
                   std::span<const uint16_t>& words, std::span<const uint8_t>& levels) {
  words = frames.frame(k), levels = frames.frame_levels(k);
  if (box == Box{0, 0, frames.width, frames.height}) return;
  crop(frames, k, box, cropped, cropped_levels);
  words = cropped, levels = cropped_levels;
}

std::string pack(PackedInput& in, PackResult& result) {
  const PackOptions& options = in.options;
  Asset& asset = result.asset;
  Frames frames;
  Reduction reduction = options.reduction;
  {
    Image img;
    const ImageLimits limits{options.pixel_limit, max_frames};
    if (std::string error = in.held.empty() ? read_image(in.path, img, limits) : read_image(in.held, img, limits, in.path);
        !error.empty())
      return error;
    uint64_t count = 0;
    if (std::string error = count_frames(img.width, img.height, img.frames(), options, count); !error.empty())
      return error;
    if (names_follow_frames(options) && count != in.frames)
      return "the file changed while lz16pack read it: run lz16pack again";
    const uint32_t cut_w = options.cut.width ? options.cut.width : img.width,
                   cut_h = options.cut.width ? options.cut.height : img.height;
    uint32_t sw, sh, cw, ch;  // a frame scaled (to cover, with --fill), and as kept
    scaled_size(cut_w, cut_h, options.scale, sw, sh);
    shown_size(cut_w, cut_h, options.scale, cw, ch);
    const auto limit = static_cast<uint64_t>(options.pixel_limit);
    if (uint64_t{cw} * ch * count > limit || uint64_t{sw} * sh > limit)
      return "image too large: " + std::to_string(count) + " frames scaled to " + std::to_string(sw) + "x" +
             std::to_string(sh) + " are more than " + std::to_string(options.pixel_limit) + " pixels";
    const bool alpha = options.reduction.alpha || options.mask;
    reduction.alpha = alpha && has_transparency(img);
    reduction.mask = options.mask;
    result.opaque = alpha && !reduction.alpha;
    if (options.mask && result.opaque) result.warning = "has no transparency: its mask is a filled rectangle";
    asset.framed = is_framed(count, options);
    frames = cut_frames(img, options.cut, reduction, options.turn, options.scale);
    if (options.page_pictures) {  // the frames of an animation one below the other
      PagePicture& p = result.source;
      p.width = p.full_width = img.width;
      p.height = p.full_height = static_cast<uint32_t>(img.height * img.frames());
      p.png = page_png(img.pixels.data(), img.channels, p.width, p.height, page_pixels);
    }
  }
  asset.width = frames.width;
  asset.height = frames.height;
  if (options.scale.mode == Scale::Mode::none && frames.pixels() > panel_pixels)
    result.warning = std::to_string(frames.width) + "x" + std::to_string(frames.height) +
                     " is larger than any panel: --fit WxH shrinks it to the panel's size";
  asset.joined = asset.framed && options.join_frames;
  asset.trimmed = options.trim;
  asset.mask = options.mask;
  result.moved = frames.reduced.moved;
  result.loss = frames.reduced.loss;
  if (options.reduction.key) asset.key = key_word(options.reduction);

  // Each frame is stored within its box (the whole frame, unless trimmed),
  // once: a repeat of an earlier frame shares its files. Joined frames are
  // one file of every frame's pixels.
  std::vector<Box> boxes(frames.count(), Box{0, 0, frames.width, frames.height});
  for (size_t k = 0; options.trim && k < frames.count(); ++k) boxes[k] = shown_box(frames, k, asset.key);
  PixelWords back, cropped;
  std::vector<uint8_t> cropped_levels;
  const char* const broken = "the compressed image does not decode to its pixels (or its files outgrow 4 GiB)";
  AssetFrame joined{};
  if (asset.joined && !append_image(frames.words, frames.levels, frames.width, asset, joined, back)) return broken;
  const std::vector<uint32_t> first = asset.joined ? std::vector<uint32_t>() : first_copies(frames, boxes);
  for (size_t k = 0; k < frames.count(); ++k) {
    if (asset.joined) {
      asset.frames.push_back(joined);
    } else if (first[k] != k) {
      asset.frames.push_back(asset.frames[first[k]]);
    } else {
      std::span<const uint16_t> words;
      std::span<const uint8_t> levels;
      stored_pixels(frames, k, boxes[k], cropped, cropped_levels, words, levels);
      asset.frames.emplace_back();
      if (!append_image(words, levels, boxes[k].width, asset, asset.frames.back(), back)) return broken;
    }
    asset.frames.back().delay_ms = frames.delay_ms[k];
    asset.frames.back().box = boxes[k];
  }
  PixelWords().swap(back);

  std::vector<OutFile> files = asset_files(asset, options.format);
  if (options.preview || options.page_pictures) {
    uint32_t width, height;
    std::vector<uint8_t> levels;
    PixelWords words = uncut(frames, width, height, &levels);
    if (asset.mask) std::fill(words.begin(), words.end(), mask_preview_ink);
    const uint32_t frames_width = width;
    const std::vector<uint8_t> rgb = shown_rgb(words, levels, width, asset.key);
    if (options.preview) files.emplace_back(asset.stem + preview_suffix, png_bytes(rgb.data(), 3, width, height));
    if (options.page_pictures) {
      result.shown = {width, height, width, height, width / frames_width, ""};
      result.shown.png = page_png(rgb.data(), 3, result.shown.width, result.shown.height, page_pixels);
    }
  }
  if (std::string error = write_asset(asset.stem, files, options); !error.empty()) return error;
  result.bytes = asset.lz.size() + asset.alpha.size();
  result.alpha_bytes = asset.alpha.size();
  std::vector<uint8_t>().swap(asset.lz);  // written: a batch need not hold every image's bytes
  std::vector<uint8_t>().swap(asset.alpha);
  for (const OutFile& f : files) result.outputs.push_back(f.first);
  return "";
}

}  // namespace

bool is_framed(uint64_t frames, const PackOptions& options) { return options.cut.width || frames > 1; }

std::string count_frames(uint32_t width, uint32_t height, uint64_t image_frames, const PackOptions& options,
                         uint64_t& count) {
  if (std::string error = check_cut(width, height, options.cut); !error.empty()) return error;
  count = image_frames * (options.cut.width ? uint64_t{width / options.cut.width} * (height / options.cut.height) : 1);
  return count > max_frames ? too_many_frames(count, max_frames) : "";
}

bool names_follow_frames(const PackOptions& options) {
  return options.format == AssetFormat::lz && !options.join_frames;
}

std::vector<std::string> pack_file_names(const std::string& stem, const PackOptions& options, uint64_t frames) {
  const bool files_each = names_follow_frames(options) && is_framed(frames, options);
  std::vector<std::string> names = asset_file_names(stem, options.format, files_each ? std::max<uint64_t>(frames, 1) : 0,
                                                    options.reduction.alpha);
  if (options.preview) names.push_back(stem + preview_suffix);
  return names;
}

void pack_image(PackedInput& input) {
  PackResult& result = input.result;
  result = {};
  result.asset.stem = input.stem;
  try {
    result.error = pack(input, result);
  } catch (const std::bad_alloc&) {
    result.error = "out of memory";
  }
  std::vector<uint8_t>().swap(input.held);  // read: a batch need not hold it
  const std::string& dir = input.options.out_dir;
  if (DirectoryLock lock; !result.error.empty() && lock_directory(dir, lock).empty()) {
    // A build must not pick up an earlier run's asset for an image that failed.
    remove_stale(dir, stale_names(input.stem, input.options), earlier_frames(dir, input.stem), {});
  }
}

}  // namespace lz16
