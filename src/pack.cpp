#include "pack.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <span>

#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_in.h"
#include "image_out.h"
#include "pixels.h"

namespace lz16 {

namespace {

const char preview_suffix[] = ".preview.png";
const char frames_note_suffix[] = ".lz16frames";

// The words as an lz16 file, appended to lz once decoding it again with the
// strict decoder has given exactly those words; false if it did not. Room
// for one word more in back shows a file that holds too many.
bool append_verified(std::span<const uint16_t> words, std::vector<uint8_t>& lz, PixelWords& back) {
  const SegmentPieces seg = encode_pieces(words.data(), static_cast<int32_t>(words.size()));
  std::vector<uint8_t> file = container_file(seg.code, seg.data);
  back.resize(words.size() + 1);
  const DecodeResult r = decode(file.data(), file.size(), back.data(), back.size());
  if (r.error != DecodeError::none || r.npix != words.size() || !std::equal(words.begin(), words.end(), back.begin()))
    return false;
  if (lz.empty())
    lz = std::move(file);  // a still picture's file, or the first frame's
  else
    lz.insert(lz.end(), file.begin(), file.end());
  return true;
}

// The words as the device shows them, in 8-bit RGB, with the key's pixels
// as a grey checkerboard of 8x8 squares.
std::vector<uint8_t> shown_rgb(const PixelWords& words, uint32_t width, std::optional<uint16_t> key) {
  constexpr uint16_t light = level_word(24, 24, 24), dark = level_word(18, 18, 18);
  std::vector<uint8_t> rgb(3 * words.size());
  for (size_t k = 0; k < words.size(); ++k) {
    const uint16_t w = key && words[k] == *key ? (k % width / 8 + k / width / 8) % 2 ? dark : light : words[k];
    widen_rgb24(&w, 1, &rgb[3 * k]);
  }
  return rgb;
}

// The frames' files of stem's that a note records, with the digest each
// had when it was written.
using NotedFiles = std::vector<std::pair<std::string, uint64_t>>;

// The note of the frames' files among files: a line each, "NUMBER DIGEST",
// the file being STEM-NUMBER.lz.
std::string frames_note(const std::string& stem, const std::vector<OutFile>& files) {
  std::string note;
  for (const auto& [name, bytes] : files) {
    if (!is_frame_file_name(name, stem)) continue;
    char hex[24];
    std::snprintf(hex, sizeof hex, " %016llx\n", static_cast<unsigned long long>(digest(bytes)));
    note += name.substr(stem.size() + 1, name.size() - stem.size() - 4) + hex;
  }
  return note;
}

NotedFiles noted_frames(const std::string& dir, const std::string& stem) {
  std::string note;
  NotedFiles noted;
  if (!read_file(dir + "/" + hidden_name(stem, frames_note_suffix), note)) return noted;
  for (size_t at = 0, end; (end = note.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string_view line(note.data() + at, end - at);
    const size_t space = line.find(' ');
    const std::string name = stem + "-" + std::string(line.substr(0, space)) + ".lz";
    if (space == std::string_view::npos || !is_frame_file_name(name, stem)) continue;  // not a note of lz16pack's
    noted.emplace_back(name, std::strtoull(std::string(line.substr(space + 1)).c_str(), nullptr, 16));
  }
  return noted;
}

// Whether dir/name is still the file that was noted with this digest.
bool as_noted(const std::string& dir, const std::string& name, uint64_t noted) {
  std::string bytes;
  return read_file(dir + "/" + name, bytes) && digest(bytes) == noted;
}

// Removes the noted frames' files that are still as noted, but for those
// among keep, and the note itself where keep has none.
void remove_noted_frames(const std::string& dir, const std::string& stem, const NotedFiles& noted,
                         const std::vector<OutFile>& keep) {
  auto kept = [&](const std::string& name) {
    return std::any_of(keep.begin(), keep.end(), [&](const OutFile& f) { return f.first == name; });
  };
  for (const auto& [name, noted_digest] : noted)
    if (!kept(name) && as_noted(dir, name, noted_digest)) remove_output(dir, name);
  if (const std::string note = hidden_name(stem, frames_note_suffix); !kept(note)) remove_output(dir, note);
}

// Whether dir/name is a frame's file that another input's note claims.
bool claimed_frame(const std::string& dir, const std::string& name) {
  const size_t dash = name.rfind('-');
  if (dash == std::string::npos || !is_frame_file_name(name, name.substr(0, dash))) return false;
  const NotedFiles noted = noted_frames(dir, name.substr(0, dash));
  return std::any_of(noted.begin(), noted.end(),
                     [&](const auto& n) { return n.first == name && as_noted(dir, name, n.second); });
}

// Writes the asset's files under its lock, and removes what an earlier
// run of it wrote that this one does not.
std::string write_asset(const std::string& stem, std::vector<OutFile>& files, const PackOptions& options) {
  if (options.format == AssetFormat::lz && std::any_of(files.begin(), files.end(), [&](const OutFile& f) {
        return is_frame_file_name(f.first, stem);
      }))
    files.emplace_back(hidden_name(stem, frames_note_suffix), frames_note(stem, files));
  if (PackRun* run = options.run; run && (run->files += files.size()) > run->max_files)
    return "the run would write more than " + std::to_string(run->max_files) + " files";
  UnitLock lock;
  if (std::string error = lock_unit(options.out_dir, stem, lock); !error.empty()) return error;
  const NotedFiles earlier = noted_frames(options.out_dir, stem);
  if (std::string error = write_files(options.out_dir, files, options.run ? &options.run->temps : nullptr);
      !error.empty())
    return error;
  remove_noted_frames(options.out_dir, stem, earlier, files);
  return "";
}

std::string pack(const std::string& path, const PackOptions& options, PackResult& result) {
  Asset& asset = result.asset;
  Frames frames;
  {
    Image img;
    if (std::string error = read_image(path, img, options.pixel_limit); !error.empty()) return error;
    if (std::string error = check_cut(img.width, img.height, options.cut); !error.empty()) return error;
    const uint64_t count = img.frames() * (options.cut.width ? uint64_t{img.width / options.cut.width} *
                                                                   (img.height / options.cut.height)
                                                             : 1);
    if (count > max_frames)
      return std::to_string(count) + " frames, more than the " + std::to_string(max_frames) + " one image may give";
    frames = cut_frames(img, options.cut, options.reduction);
    if (options.page_pictures) {  // the frames of an animation one below the other
      PagePicture& p = result.source;
      p.width = img.width;
      p.height = static_cast<uint32_t>(img.height * img.frames());
      p.png = page_png(img.pixels.data(), img.channels, p.width, p.height, page_pixels);
    }
  }
  asset.width = frames.width;
  asset.height = frames.height;
  result.moved = frames.reduced.moved;
  result.loss = frames.reduced.loss;
  if (options.reduction.key) asset.key = key_word(options.reduction);

  const bool framed = options.cut.width || frames.count() > 1;
  PixelWords back;
  const char* const broken = "the compressed image does not decode to its pixels";
  if (!framed || options.join_frames) {
    if (!append_verified(frames.words, asset.lz, back)) return broken;
    for (size_t k = 0; framed && k < frames.count(); ++k)
      asset.frames.push_back({0, static_cast<uint32_t>(asset.lz.size()), frames.delay_ms[k]});
    asset.joined = framed;
  } else {
    const std::vector<uint32_t> first = first_copies(frames);
    for (size_t k = 0; k < frames.count(); ++k) {
      if (first[k] != k) {
        asset.frames.push_back({asset.frames[first[k]].offset, asset.frames[first[k]].size, frames.delay_ms[k]});
        continue;
      }
      const size_t offset = asset.lz.size();
      if (!append_verified(frames.frame(k), asset.lz, back)) return broken;
      if (asset.lz.size() > UINT32_MAX) return "the frames' files add up to more than 4 GiB";
      asset.frames.push_back({static_cast<uint32_t>(offset), static_cast<uint32_t>(asset.lz.size() - offset),
                              frames.delay_ms[k]});
    }
  }
  PixelWords().swap(back);

  std::vector<OutFile> files = asset_files(asset, options.format);
  if (options.preview || options.page_pictures) {
    uint32_t width, height;
    const PixelWords words = uncut(frames, width, height);
    const std::vector<uint8_t> rgb = shown_rgb(words, width, asset.key);
    if (options.preview) files.emplace_back(asset.stem + preview_suffix, png_bytes(rgb.data(), 3, width, height));
    if (options.page_pictures) {
      result.shown = {width, height, ""};
      result.shown.png = page_png(rgb.data(), 3, result.shown.width, result.shown.height, page_pixels);
    }
  }
  if (std::string error = write_asset(asset.stem, files, options); !error.empty()) return error;
  result.bytes = asset.lz.size();
  std::vector<uint8_t>().swap(asset.lz);  // written: a batch need not hold every image's bytes
  for (const OutFile& f : files)
    if (f.first != hidden_name(asset.stem, frames_note_suffix)) result.outputs.push_back(f.first);  // lz16pack's own
  return "";
}

}  // namespace

std::vector<std::string> pack_file_names(const std::string& stem, const PackOptions& options) {
  std::vector<std::string> names = asset_file_names(stem, options.format);
  if (options.preview) names.push_back(stem + preview_suffix);
  return names;
}

bool may_write_frame_files(const std::string& path, const PackOptions& options) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return options.format == AssetFormat::lz && !options.join_frames && (options.cut.width || ext == ".gif");
}

PackResult pack_image(const std::string& path, const std::string& stem, const PackOptions& options) {
  PackResult result;
  result.asset.stem = stem;
  try {
    result.error = pack(path, options, result);
  } catch (const std::bad_alloc&) {
    result.error = "out of memory";
  }
  if (UnitLock lock; !result.error.empty() && lock_unit(options.out_dir, stem, lock).empty()) {
    // A build must not pick up an earlier run's asset for an image that failed.
    for (const std::string& name : pack_file_names(stem, options))
      if (!claimed_frame(options.out_dir, name)) remove_output(options.out_dir, name);
    remove_noted_frames(options.out_dir, stem, noted_frames(options.out_dir, stem), {});
  }
  return result;
}

}  // namespace lz16
