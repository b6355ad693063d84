// Asset files: a compressed image as an .lz file, as C source and header,
// or as one self-contained header, and an index header over many assets.
// Knows C syntax and file names, nothing of pixels. Everything written is a
// function of its arguments alone: no dates, users or absolute paths.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "frames.h"

namespace lz16 {

enum class AssetFormat { lz, c, h, lvgl };

// The formats' names, as options and reports give them, in AssetFormat's order.
inline constexpr std::array<std::string_view, 4> format_names{"lz", "c", "h", "lvgl"};

inline std::string_view format_name(AssetFormat format) { return format_names[static_cast<size_t>(format)]; }
std::optional<AssetFormat> parse_format(std::string_view name);

// "" when stem can name C files, else why not: an #include line cannot hold
// a '"', a '\\' or a control character, and "??" may start a trigraph.
std::string c_name_problem(std::string_view stem);

// A C identifier for a file stem, in lower case: every character other than
// a letter or digit becomes '_', and a stem that starts with a digit gets
// "img_" before it. Macros take it in upper case, so stems that differ only
// in case share an ID.
std::string asset_id(std::string_view stem);

// One frame of an asset: its lz16 file is the size bytes at offset in the
// asset's bytes, and with alpha its alpha plane the alpha_size bytes at
// alpha_offset in the asset's alpha bytes; it shows for delay_ms (0 in a
// sprite sheet or a still picture). Trimmed, it holds only its box of the
// untrimmed frame.
struct AssetFrame {
  uint32_t offset = 0, size = 0, delay_ms = 0, alpha_offset = 0, alpha_size = 0;
  Box box{};
};

struct Asset {
  std::string stem;  // file name without its extension
  uint32_t width = 0, height = 0;  // of one frame, untrimmed
  std::vector<uint8_t> lz;  // the frames' lz16 files one after another (one for a still picture)
  std::vector<uint8_t> alpha;  // with alpha, the alpha planes of lz's files likewise; empty if opaque
  std::optional<uint16_t> key;  // the word of its transparent pixels, if it has a key
  std::vector<AssetFrame> frames;  // at least one: a still picture is one frame
  bool framed = false;   // an animation or a sheet, given as frames (a table, a file each); else one picture
  bool joined = false;   // framed, with the frames as one file, one frame's pixels after another's
  bool trimmed = false;  // each frame is only its box of shown pixels
  bool mask = false;     // lz holds masks: the frames' alpha alone, drawn in a colour chosen when drawing
};

// The lz16 files the asset's frames are stored in: 1 for a still picture or
// joined frames, else one for each frame that repeats no earlier one.
size_t stored_files(const Asset& asset);

// The files that hold the asset in the format: STEM.lz (and with alpha
// STEM.alpha.lz), STEM.h and STEM.c, or STEM.h; for lvgl, STEM.h and STEM.c
// as for c, adding the lv_image_dsc_t ID (or ID[ID_FRAMES]) that LVGL draws
// through lz16_lvgl (not for joined frames). Frames that are files of
// their own give STEM-000.lz, STEM-001.lz, ... (and STEM-000.alpha.lz, ...)
// instead, repeats included.
std::vector<OutFile> asset_files(const Asset& asset, AssetFormat format);

// How the names of .lz files end: a compressed image, and an alpha plane.
inline constexpr std::string_view lz_suffix = ".lz", alpha_suffix = ".alpha.lz";

// Every name asset_files may give for stem, without building the files:
// for lz, STEM.lz (and with alpha STEM.alpha.lz), or, for frame_files
// frames that are files of their own, STEM-000.lz (STEM-000.alpha.lz), ...;
// else STEM.h, and STEM.c for c and lvgl.
std::vector<std::string> asset_file_names(const std::string& stem, AssetFormat format, uint64_t frame_files = 0,
                                          bool alpha = true);

// Whether name is one that asset_files gives to a frame of stem's: stem,
// '-', three digits or more, ".lz" or ".alpha.lz".
bool is_frame_file_name(std::string_view name, std::string_view stem);

// The names the C files of the asset in the format define, objects and
// macros (none for lz), found in the files as written, but for the names
// every asset's files share and define only once (struct guards,
// LZ16_ALIGN). "" in problem, or why one cannot be defined: a C or C++
// keyword, or a name that <stdint.h> defines.
std::vector<std::string> c_names(const Asset& asset, AssetFormat format, std::string& problem);

// An asset as an index lists it.
struct IndexEntry {
  std::string stem;
  AssetFormat format;  // c, h or lvgl
};

// A header that includes the assets' headers and lists them in one table,
// named after the index file's stem, and those of format lvgl in a second
// table of their LVGL images. It takes every figure from those headers,
// frame counts included, so it needs only the assets' stems.
OutFile index_file(const std::string& name, const std::vector<IndexEntry>& assets);

// The names the index defines of its own, and problem as for c_names.
std::vector<std::string> index_c_names(const std::string& name, const std::vector<IndexEntry>& assets,
                                       std::string& problem);

}  // namespace lz16
