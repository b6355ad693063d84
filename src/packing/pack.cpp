#include "pack.h"

#include <algorithm>
#include <cctype>
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
const char frames_note_suffix[] = ".lz16frames";

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

// Appends the image of words, and with levels its colour plane and alpha
// plane instead, to the asset's bytes; false if a file did not decode to
// what it was made of (or the bytes outgrew 4 GiB). Sets where they lie.
bool append_image(std::span<const uint16_t> words, std::span<const uint8_t> levels, Asset& asset, AssetFrame& at,
                  PixelWords& back) {
  const PixelWords shown = levels.empty() ? PixelWords() : colour_plane(words, levels);
  const auto colour = append_verified(levels.empty() ? words : std::span<const uint16_t>(shown), asset.lz, back);
  if (!colour) return false;
  std::tie(at.offset, at.size) = *colour;
  if (levels.empty()) return true;
  const auto alpha = append_verified(alpha_plane(levels, at.size), asset.alpha, back);
  if (alpha) std::tie(at.alpha_offset, at.alpha_size) = *alpha;
  return alpha.has_value();
}

// The box of the pixels of a width x height frame that show (level above 0,
// or with a key, any other word); a 1x1 box at the corner if none does.
// Its words and levels cropped to it go to words_out and levels_out.
Box trim(std::span<const uint16_t> words, std::span<const uint8_t> levels, uint32_t width,
         std::optional<uint16_t> key, PixelWords& words_out, std::vector<uint8_t>& levels_out) {
  uint32_t x0 = width, y0 = UINT32_MAX, x1 = 0, y1 = 0;
  for (size_t k = 0; k < words.size(); ++k) {
    if (levels.empty() ? key && words[k] == *key : levels[k] == 0) continue;
    const auto x = static_cast<uint32_t>(k % width), y = static_cast<uint32_t>(k / width);
    x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = y;
  }
  const Box box = y0 == UINT32_MAX ? Box{0, 0, 1, 1} : Box{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
  words_out.clear(), levels_out.clear();
  for (uint32_t y = box.y; y < box.y + box.height; ++y) {
    const size_t at = size_t{y} * width + box.x;
    words_out.insert(words_out.end(), words.begin() + at, words.begin() + at + box.width);
    if (!levels.empty()) levels_out.insert(levels_out.end(), levels.begin() + at, levels.begin() + at + box.width);
  }
  return box;
}

// The picture as the device shows it, in 8-bit RGB: a key's pixels as a
// grey checkerboard of 8x8 squares; an image with alpha three times side by
// side, drawn over such a checkerboard, over dark grey and over light grey.
// Sets width to the picture's.
std::vector<uint8_t> shown_rgb(const PixelWords& words, const std::vector<uint8_t>& levels, uint32_t& width,
                               std::optional<uint16_t> key) {
  constexpr uint16_t light = level_word(24, 24, 24), dark = level_word(18, 18, 18);
  const uint32_t panels = levels.empty() ? 1 : 3;
  std::vector<uint8_t> rgb(3 * panels * words.size());
  for (size_t k = 0; k < panels * words.size(); ++k) {
    const size_t x = k % (panels * width), y = k / (panels * width), panel = x / width, at = y * width + x % width;
    const uint16_t board = (x / 8 + y / 8) % 2 ? dark : light, w = key && words[at] == *key ? board : words[at];
    widen_rgb24(&w, 1, &rgb[3 * k]);
    if (levels.empty()) continue;
    const uint8_t under[3] = {widen5(board >> 11), widen5(4), widen5(28)};
    for (int c = 0; c < 3; ++c) rgb[3 * k + c] = composite(rgb[3 * k + c], widen5(levels[at]), under[panel]);
  }
  width *= panels;
  return rgb;
}

// Whether any pixel of an RGBA image is less than opaque.
bool has_alpha(const Image& img) {
  for (size_t k = 3; img.channels == 4 && k < img.pixels.size(); k += 4)
    if (img.pixels[k] < 255) return true;
  return false;
}

// The frames' files of stem's that a note records, with the digest each
// had when it was written.
using NotedFiles = std::vector<std::pair<std::string, uint64_t>>;

// The note of the frames' files among files: a line each, "REST DIGEST",
// the file being STEM-REST (REST is NUMBER.lz or NUMBER.alpha.lz).
std::string frames_note(const std::string& stem, const std::vector<OutFile>& files) {
  std::string note;
  for (const auto& [name, bytes] : files) {
    if (!is_frame_file_name(name, stem)) continue;
    char hex[24];
    std::snprintf(hex, sizeof hex, " %016llx\n", static_cast<unsigned long long>(digest(bytes)));
    note += name.substr(stem.size() + 1) + hex;
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
    const std::string name = stem + "-" + std::string(line.substr(0, space));
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

// Removes what an earlier run of stem's wrote that keep does not hold: its
// outputs by name, but for a frame's file that another input's note
// claims, and its noted frames' files.
void remove_stale(const std::string& stem, const PackOptions& options, const NotedFiles& noted,
                  const std::vector<OutFile>& keep) {
  for (const std::string& name : pack_file_names(stem, options))
    if (std::none_of(keep.begin(), keep.end(), [&](const OutFile& f) { return f.first == name; }) &&
        !claimed_frame(options.out_dir, name))
      remove_output(options.out_dir, name);
  remove_noted_frames(options.out_dir, stem, noted, keep);
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
  remove_stale(stem, options, earlier, files);
  return "";
}

std::string pack(const std::string& path, const PackOptions& options, PackResult& result) {
  Asset& asset = result.asset;
  Frames frames;
  Reduction reduction = options.reduction;
  {
    Image img;
    if (std::string error = read_image(path, img, {options.pixel_limit, max_frames}); !error.empty()) return error;
    if (std::string error = check_cut(img.width, img.height, options.cut); !error.empty()) return error;
    const uint64_t count = img.frames() * (options.cut.width ? uint64_t{img.width / options.cut.width} *
                                                                   (img.height / options.cut.height)
                                                             : 1);
    if (count > max_frames)
      return std::to_string(count) + " frames, more than the " + std::to_string(max_frames) + " one image may give";
    uint32_t sw, sh;
    scaled_size(options.cut.width ? options.cut.width : img.width, options.cut.width ? options.cut.height : img.height,
                options.scale, sw, sh);
    if (uint64_t{sw} * sh * count > static_cast<uint64_t>(options.pixel_limit))
      return "image too large: " + std::to_string(count) + " frames scaled to " + std::to_string(sw) + "x" +
             std::to_string(sh) + " are more than " + std::to_string(options.pixel_limit) + " pixels";
    reduction.alpha = options.reduction.alpha && has_alpha(img);
    result.opaque = options.reduction.alpha && !reduction.alpha;
    frames = cut_frames(img, options.cut, reduction, options.turn, options.scale);
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
  const char* const broken = "the compressed image does not decode to its pixels (or its files outgrow 4 GiB)";
  PixelWords cropped;
  std::vector<uint8_t> cropped_levels;
  asset.trimmed = options.trim;
  if (options.trim && !framed) {  // a still picture: one box
    asset.box = trim(frames.words, frames.levels, frames.width, asset.key, cropped, cropped_levels);
    AssetFrame whole{};
    if (!append_image(cropped, cropped_levels, asset, whole, back)) return broken;
  } else if (options.trim) {  // a box a frame; repeats are the same box and pixels
    std::map<std::string, uint32_t> stored;
    for (uint32_t k = 0; k < frames.count(); ++k) {
      const Box box = trim(frames.frame(k), frames.frame_levels(k), frames.width, asset.key, cropped, cropped_levels);
      std::string seen(reinterpret_cast<const char*>(&box), sizeof box);
      seen.append(reinterpret_cast<const char*>(cropped.data()), 2 * cropped.size());
      seen.append(cropped_levels.begin(), cropped_levels.end());
      const auto [first, fresh] = stored.emplace(std::move(seen), k);
      asset.frames.push_back(fresh ? AssetFrame{} : asset.frames[first->second]);
      asset.frames[k].delay_ms = frames.delay_ms[k];
      asset.frames[k].box = box;
      if (fresh && !append_image(cropped, cropped_levels, asset, asset.frames[k], back)) return broken;
    }
  } else if (!framed || options.join_frames) {
    AssetFrame whole{};
    if (!append_image(frames.words, frames.levels, asset, whole, back)) return broken;
    for (size_t k = 0; framed && k < frames.count(); ++k) {
      asset.frames.push_back(whole);
      asset.frames[k].delay_ms = frames.delay_ms[k];
    }
    asset.joined = framed;
  } else {
    const std::vector<uint32_t> first = first_copies(frames);
    for (size_t k = 0; k < frames.count(); ++k) {
      asset.frames.push_back(first[k] != k ? asset.frames[first[k]] : AssetFrame{});
      asset.frames[k].delay_ms = frames.delay_ms[k];
      if (first[k] == k && !append_image(frames.frame(k), frames.frame_levels(k), asset, asset.frames[k], back))
        return broken;
    }
  }
  PixelWords().swap(back);

  std::vector<OutFile> files = asset_files(asset, options.format);
  if (options.preview || options.page_pictures) {
    uint32_t width, height;
    std::vector<uint8_t> levels;
    const PixelWords words = uncut(frames, width, height, &levels);
    const std::vector<uint8_t> rgb = shown_rgb(words, levels, width, asset.key);
    if (options.preview) files.emplace_back(asset.stem + preview_suffix, png_bytes(rgb.data(), 3, width, height));
    if (options.page_pictures) {
      result.shown = {width, height, ""};
      result.shown.png = page_png(rgb.data(), 3, result.shown.width, result.shown.height, page_pixels);
    }
  }
  if (std::string error = write_asset(asset.stem, files, options); !error.empty()) return error;
  result.bytes = asset.lz.size() + asset.alpha.size();
  result.alpha_bytes = asset.alpha.size();
  std::vector<uint8_t>().swap(asset.lz);  // written: a batch need not hold every image's bytes
  std::vector<uint8_t>().swap(asset.alpha);
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
    remove_stale(stem, options, noted_frames(options.out_dir, stem), {});
  }
  return result;
}

}  // namespace lz16
