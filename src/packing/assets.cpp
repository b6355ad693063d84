#include "assets.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace lz16 {

namespace {

bool is_alnum(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

std::string upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// A C string literal's contents for text: quotes, backslashes and anything
// outside printable ASCII escaped in octal.
std::string c_string(std::string_view text) {
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\' || c < 0x20 || c > 0x7E) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\%03o", c);
      out += esc;
    } else {
      out += ch;
    }
  }
  return out;
}

enum class Arrays { declared, defined, defined_static };

// Byte array rows, 16 bytes a row: "    0x63, 0x6f, ...".
std::string byte_rows(const std::vector<uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(6 * bytes.size() + bytes.size() / 4);
  for (size_t k = 0; k < bytes.size(); ++k) {
    s += k % 16 == 0 ? "    0x" : " 0x";
    s += digits[bytes[k] >> 4];
    s += digits[bytes[k] & 15];
    s += k % 16 == 15 || k + 1 == bytes.size() ? ",\n" : ",";
  }
  return s;
}

// Table rows of numbers: "    {1, 2, 3},".
std::string number_rows(const std::vector<std::vector<uint32_t>>& rows) {
  std::string s;
  for (const auto& row : rows) {
    s += "    {";
    for (size_t k = 0; k < row.size(); ++k) s.append(k ? ", " : "").append(std::to_string(row[k]));
    s += "},\n";
  }
  return s;
}

// The arrays: the bytes, with alpha the alpha planes' bytes, with frames
// the frame table, and with both the alpha planes' table; as declarations,
// or with their contents as definitions.
std::string arrays(const Asset& a, Arrays form) {
  const std::string id = asset_id(a.stem), ID = upper(id), placed = " " + ID + "_ATTR";
  const bool defined = form != Arrays::declared;  // the contents are made only then
  std::vector<std::pair<std::string, std::string>> parts = {
      {"const uint8_t " + id + "_lz16[" + ID + "_LZ16_SIZE]" + placed + " LZ16_ALIGN", defined ? byte_rows(a.lz) : ""}};
  if (!a.alpha.empty())
    parts.emplace_back("const uint8_t " + id + "_alpha[" + ID + "_ALPHA_SIZE]" + placed + " LZ16_ALIGN",
                       defined ? byte_rows(a.alpha) : "");
  std::vector<std::vector<uint32_t>> frames, planes;
  for (const AssetFrame& f : a.frames) {
    frames.push_back({f.offset, f.size, f.delay_ms});
    planes.push_back({f.alpha_offset, f.alpha_size});
  }
  if (a.framed)
    parts.emplace_back("const struct lz16_frame " + id + "_frames[" + ID + "_FRAMES]" + placed,
                       defined ? number_rows(frames) : "");
  if (a.framed && !a.alpha.empty())
    parts.emplace_back("const struct lz16_plane " + id + "_alpha_frames[" + ID + "_FRAMES]" + placed,
                       defined ? number_rows(planes) : "");
  std::vector<std::vector<uint32_t>> boxes;
  for (const AssetFrame& f : a.frames) boxes.push_back({f.box.x, f.box.y, f.box.width, f.box.height});
  if (a.framed && a.trimmed)
    parts.emplace_back("const struct lz16_box " + id + "_boxes[" + ID + "_FRAMES]" + placed,
                       defined ? number_rows(boxes) : "");
  std::string s;
  const std::string storage = form == Arrays::defined_static ? "static " : "";
  for (const auto& [decl, body] : parts)
    s += form == Arrays::declared ? "extern " + decl + ";\n" : storage + decl + " = {\n" + body + "};\n";
  return s;
}

const char frame_struct[] =
    "#ifndef LZ16_FRAME_DEFINED\n#define LZ16_FRAME_DEFINED\n"
    "/* A frame's lz16 file is the size bytes at offset in its asset's array; it\n"
    "   shows for delay_ms milliseconds (0 in a sprite sheet). */\n"
    "struct lz16_frame {\n    uint32_t offset, size, delay_ms;\n};\n#endif\n";

const char plane_struct[] =
    "#ifndef LZ16_PLANE_DEFINED\n#define LZ16_PLANE_DEFINED\n"
    "/* A frame's alpha plane: the size bytes at offset in its asset's alpha array. */\n"
    "struct lz16_plane {\n    uint32_t offset, size;\n};\n#endif\n";

const char box_struct[] =
    "#ifndef LZ16_BOX_DEFINED\n#define LZ16_BOX_DEFINED\n"
    "/* A trimmed frame is the width x height box at x, y of the untrimmed frame;\n"
    "   the rest of that frame is clear (transparent, or the key). */\n"
    "struct lz16_box {\n    uint32_t x, y, width, height;\n};\n#endif\n";

// A digest of the .c file's definitions, in 32 bits, for it to check that
// its header is the one written with it.
std::string definitions_digest(const std::string& definitions) {
  const uint64_t d = digest(definitions);
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lxUL", static_cast<unsigned long>((d ^ d >> 32) & 0xFFFFFFFFu));
  return text;
}

// LVGL's descriptors of the asset's images, each pointing at its planes.
std::string lvgl_definitions(const Asset& a) {
  const std::string id = asset_id(a.stem), ID = upper(id);
  std::string planes, images;
  for (size_t k = 0; k < a.frames.size(); ++k) {
    const AssetFrame& f = a.frames[k];
    const std::string width = a.trimmed ? std::to_string(f.box.width) : ID + "_WIDTH";
    const std::string height = a.trimmed ? std::to_string(f.box.height) : ID + "_HEIGHT";
    const std::string lz = id + "_lz16 + " + std::to_string(f.offset);
    if (a.mask)  // no colour plane: the mask where the alpha plane goes
      planes += "    {LZ16_LVGL_MAGIC, 0, " + std::to_string(f.size) + ", 0, " + lz + "},\n";
    else
      planes += "    {LZ16_LVGL_MAGIC, " + std::to_string(f.size) + ", " + std::to_string(f.alpha_size) + ", " + lz + ", " +
                (a.alpha.empty() ? std::string("0") : id + "_alpha + " + std::to_string(f.alpha_offset)) + "},\n";
    images += std::string(a.framed ? "    {" : "") + ".header.magic = LV_IMAGE_HEADER_MAGIC, .header.cf = " +
              (a.alpha.empty() && !a.mask ? "LV_COLOR_FORMAT_RAW" : "LV_COLOR_FORMAT_RAW_ALPHA") + ", .header.w = " + width +
              ", .header.h = " + height + ",\n     .data_size = sizeof(lz16_lvgl_planes_t), .data = "
              "(const uint8_t *)&" + id + "_planes[" + std::to_string(k) + "]" + (a.framed ? "}," : "") + "\n";
  }
  return "static const lz16_lvgl_planes_t " + id + "_planes[" + std::to_string(a.frames.size()) + "] = {\n" + planes + "};\n" +
         "const lv_image_dsc_t " + id + (a.framed ? "[" + ID + "_FRAMES] = {\n" : " = {") + images + "};\n";
}

// The macros, then the arrays: static definitions in a self-contained
// header, else (given the digest of what the .c file defines) the extern
// declarations, and for LVGL its images'.
std::string header(const Asset& a, const std::string& c_digest, bool lvgl = false) {
  const bool self_contained = c_digest.empty();
  const std::string id = asset_id(a.stem), ID = upper(id), guard = ID + "_LZ16_H";
  const std::string size = std::to_string(a.width) + "x" + std::to_string(a.height);
  std::string s = "/* " + a.stem + ": " +
                  (a.framed ? std::to_string(a.frames.size()) + " frames of " + size : size) +
                  " pixels, lz16 compressed. Generated by lz16pack; do not edit. */\n";
  s += "#ifndef " + guard + "\n#define " + guard + "\n\n#include <stdint.h>\n" +
       (lvgl ? "#include \"lz16_lvgl.h\"\n\n" : "\n");
  s += "#define " + ID + "_WIDTH " + std::to_string(a.width) + "\n";
  s += "#define " + ID + "_HEIGHT " + std::to_string(a.height) + "\n";
  s += "#define " + ID + "_PIXELS " + std::to_string(uint64_t{a.width} * a.height) + "\n";
  s += "#define " + ID + "_LZ16_SIZE " + std::to_string(a.lz.size()) + "\n";
  if (!a.alpha.empty())
    s += "#define " + ID + "_ALPHA_SIZE " + std::to_string(a.alpha.size()) +
         " /* its alpha plane" + (a.framed ? "s" : "") + ", " + id + "_alpha: draw with lz16_*_blend */\n";
  if (a.mask)
    s += "#define " + ID + "_MASK 1 /* " + id + "_lz16 holds " + (a.framed ? "masks" : "a mask") +
         ": the alpha alone, drawn in a colour chosen when drawing, with lz16_decode_mask */\n";
  if (!self_contained)
    s += "#define " + ID + "_LZ16_DIGEST " + c_digest + " /* of what " + a.stem + ".c defines */\n";
  if (a.key) {
    char key[16];
    std::snprintf(key, sizeof key, "0x%04x", *a.key);
    s += "#define " + ID + "_KEY LZ16_PIXEL_WORD(" + key + ") /* transparent pixels' word, as lz16dec gives it */\n";
  }
  if (a.framed) {
    s += "#define " + ID + "_FRAMES " + std::to_string(a.frames.size()) + "\n";
    s += "#define " + ID + "_JOINED " + (a.joined ? "1" : "0") + "\n";
    s += a.joined ? "/* The frames are one lz16 file, " + ID + "_PIXELS pixels each, one after the other,\n"
                    "   played from the start: every entry of " + id + "_frames is the whole file. */\n"
                  : "/* Frame k is an lz16 file of its own, " + id + "_frames[k].size bytes at\n"
                    "   " + id + "_frames[k].offset in " + id + "_lz16; repeated frames share theirs. */\n";
  }
  s += "/* Where the bytes go (PROGMEM, a section, an alignment): define before including.\n"
       "   An Arduino build for AVR puts them in flash, where lz16dec reads them there. */\n";
  s += "#ifndef " + ID + "_ATTR\n#if defined(ARDUINO) && defined(__AVR__)\n#include <avr/pgmspace.h>\n#define " + ID +
       "_ATTR PROGMEM\n#else\n#define " + ID + "_ATTR\n#endif\n#endif\n";
  s += "/* 4-byte aligned where the compiler can say so, for CPUs that fault on odd\n"
       "   addresses and decoders that read words; define LZ16_ALIGN first to change it. */\n";
  s += "#ifndef LZ16_ALIGN\n#ifdef __GNUC__\n#define LZ16_ALIGN __attribute__((aligned(4)))\n#else\n"
       "#define LZ16_ALIGN\n#endif\n#endif\n";
  if (a.trimmed)
    s += "/* Trimmed: each frame is only its box of shown pixels (" +
         (a.framed ? id + "_boxes[k]" : ID + "_BOX_X, _Y, _WIDTH and _HEIGHT") + "), drawn at its place. */\n"
         "#define " + ID + "_TRIMMED 1\n";
  const Box& box = a.frames.front().box;
  if (a.trimmed && !a.framed)
    for (const auto& [name, v] : {std::pair{"X", box.x}, {"Y", box.y}, {"WIDTH", box.width}, {"HEIGHT", box.height}})
      s += "#define " + ID + "_BOX_" + name + " " + std::to_string(v) + "\n";
  if (a.framed) s += frame_struct;
  if (a.framed && !a.alpha.empty()) s += plane_struct;
  if (a.framed && a.trimmed) s += box_struct;
  s += "\n";
  if (self_contained)
    s += arrays(a, Arrays::defined_static);
  else
    s += "#ifdef __cplusplus\nextern \"C\" {\n#endif\n" + arrays(a, Arrays::declared) +
         (lvgl ? "/* The image" + std::string(a.framed ? "s" : "") + " for lv_image_set_src() (lz16_lvgl_init() first). */\n" +
                     "extern const lv_image_dsc_t " + id + (a.framed ? "[" + ID + "_FRAMES]" : "") + ";\n"
               : "") +
         "#ifdef __cplusplus\n}\n#endif\n";
  return s + "\n#endif\n";
}

// The .c file: its header's declarations, a check that the header is the
// one written with it (runs into one folder could mix them), then the
// definitions.
std::string source(const Asset& a, const std::string& definitions, const std::string& c_digest) {
  const std::string ID = upper(asset_id(a.stem));
  return "/* " + a.stem + ": lz16 compressed image. Generated by lz16pack; do not edit. */\n#include \"" + a.stem +
         ".h\"\n\n#if " + ID + "_LZ16_SIZE != " + std::to_string(a.lz.size()) + " || " + ID + "_LZ16_DIGEST != " +
         c_digest + "\n#error \"" + a.stem + ".c and " + a.stem +
         ".h are from different runs of lz16pack: run it again\"\n#endif\n\n" + definitions;
}

// Frame k's files' name, without ".lz" or ".alpha.lz".
std::string frame_file_name(const std::string& stem, size_t k, size_t count) {
  const std::string last = std::to_string(count - 1), number = std::to_string(k);
  return stem + "-" + std::string(std::max<size_t>(3, last.size()) - number.size(), '0') + number;
}

// Names that no asset's C may define: C's and C++'s keywords (a header may
// be included from C++), main, and the widths <stdint.h> defines from C23.
bool reserved_name(std::string_view name) {
  static const std::set<std::string_view> words = {
      "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
      "char", "char8_t", "char16_t", "char32_t", "class", "co_await", "co_return", "co_yield", "compl", "concept",
      "const", "consteval", "constexpr", "constinit", "const_cast", "continue", "decltype", "default", "delete",
      "do", "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for",
      "friend", "goto", "if", "inline", "int", "long", "main", "mutable", "namespace", "new", "noexcept", "not",
      "not_eq", "nullptr", "operator", "or", "or_eq", "private", "protected", "public", "register",
      "reinterpret_cast", "requires", "restrict", "return", "short", "signed", "sizeof", "static",
      "static_assert", "static_cast", "struct", "switch", "template", "this", "thread_local", "throw", "true",
      "try", "typedef", "typeid", "typename", "typeof", "typeof_unqual", "union", "unsigned", "using", "virtual",
      "void", "volatile", "wchar_t", "while", "xor", "xor_eq"};
  if (words.contains(name)) return true;
  if (!name.ends_with("_WIDTH")) return false;
  static const std::set<std::string> widths = [] {
    std::set<std::string> w = {"INTPTR_WIDTH", "UINTPTR_WIDTH", "INTMAX_WIDTH", "UINTMAX_WIDTH", "PTRDIFF_WIDTH",
                               "SIG_ATOMIC_WIDTH", "SIZE_WIDTH", "WCHAR_WIDTH", "WINT_WIDTH"};
    for (const char* kind : {"INT", "INT_LEAST", "INT_FAST"})
      for (const char* sign : {"", "U"})
        for (int bits : {8, 16, 32, 64}) w.insert(sign + std::string(kind) + std::to_string(bits) + "_WIDTH");
    return w;
  }();
  return widths.contains(std::string(name));
}

// The names the C text defines: each macro of a "#define NAME", but those
// every asset's files share, and each object of a "const TYPE NAME" at the
// start of a line (after "extern " or "static "). problem as for c_names.
std::vector<std::string> defined_names(const std::string& text, std::string& problem) {
  static const std::set<std::string_view> shared = {"LZ16_FRAME_DEFINED", "LZ16_PLANE_DEFINED", "LZ16_BOX_DEFINED",
                                                     "LZ16_ALIGN", "LZ16_ASSET_DEFINED", "LZ16_LVGL_ASSET_DEFINED"};
  std::vector<std::string> names;
  auto word = [](std::string_view& line) {
    const size_t end = std::min(line.size(), line.find_first_not_of(
                                                 "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_"));
    const std::string_view w = line.substr(0, end);
    line.remove_prefix(std::min(line.size(), end + 1));
    return w;
  };
  for (size_t at = 0, end; at < text.size(); at = end + 1) {
    end = std::min(text.size(), text.find('\n', at));
    std::string_view line(text.data() + at, end - at), name;
    if (line.starts_with("#define ")) {
      line.remove_prefix(8);
      if (name = word(line); shared.contains(name)) continue;
    } else {
      for (const std::string_view storage : {"extern ", "static "})
        if (line.starts_with(storage)) line.remove_prefix(storage.size());
      if (!line.starts_with("const ")) continue;
      line.remove_prefix(6);
      if (line.starts_with("struct ")) line.remove_prefix(7);
      word(line);  // the type
      name = word(line);
    }
    if (reserved_name(name) && problem.empty())
      problem = "its C name " + std::string(name) + " is " +
                (name.ends_with("_WIDTH") ? "one that <stdint.h> defines" : "a keyword of C or C++");
    names.emplace_back(name);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace

std::vector<std::string> c_names(const Asset& asset, AssetFormat format, std::string& problem) {
  std::string text;
  if (format != AssetFormat::lz)
    for (const auto& [name, bytes] : asset_files(asset, format)) text += bytes;
  return defined_names(text, problem);
}

std::vector<std::string> index_c_names(const std::string& name, const std::vector<IndexEntry>& assets,
                                       std::string& problem) {
  return defined_names(index_file(name, assets).second, problem);  // not the assets' headers it includes
}

std::optional<AssetFormat> parse_format(std::string_view name) {
  for (size_t k = 0; k < format_names.size(); ++k)
    if (format_names[k] == name) return static_cast<AssetFormat>(k);
  return std::nullopt;
}

std::string c_name_problem(std::string_view stem) {
  for (const char ch : stem) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x20 || c == 0x7F || c == '"' || c == '\\')
      return "its name holds a character that a C #include line cannot (a '\"', a '\\' or a control character)";
  }
  if (stem.find("??") != std::string_view::npos) return "its name holds \"??\", which C may read as a trigraph";
  return "";
}

std::string asset_id(std::string_view stem) {
  std::string id;
  for (char c : stem) id += is_alnum(c) ? c : '_';
  id = lower(id);
  if (id.empty() || (id[0] >= '0' && id[0] <= '9')) id = "img_" + id;
  return id;
}

std::vector<std::string> asset_file_names(const std::string& stem, AssetFormat format, uint64_t frame_files,
                                          bool alpha) {
  switch (format) {
    case AssetFormat::lz: {
      std::vector<std::string> names;
      for (uint64_t k = 0; k < std::max<uint64_t>(frame_files, 1); ++k)
        for (const std::string_view suffix : {lz_suffix, alpha_suffix})
          if (alpha || suffix == lz_suffix)
            names.push_back((frame_files ? frame_file_name(stem, k, frame_files) : stem) + std::string(suffix));
      return names;
    }
    case AssetFormat::c:
    case AssetFormat::lvgl:
      return {stem + ".h", stem + ".c"};
    case AssetFormat::h:
      return {stem + ".h"};
  }
  return {};
}

size_t stored_files(const Asset& a) {
  if (!a.framed || a.joined) return 1;
  // A frame stored anew lies after every file before it; a repeat, at one of them.
  size_t n = 1;
  for (size_t k = 1, last = 0; k < a.frames.size(); ++k)
    if (a.frames[k].offset > a.frames[last].offset) ++n, last = k;
  return n;
}

bool is_frame_file_name(std::string_view name, std::string_view stem) {
  const size_t suffix = name.ends_with(alpha_suffix) ? alpha_suffix.size() : name.ends_with(lz_suffix) ? lz_suffix.size() : 0;
  if (!suffix || name.size() < stem.size() + 4 + suffix || name.substr(0, stem.size()) != stem ||
      name[stem.size()] != '-')
    return false;
  const std::string_view number = name.substr(stem.size() + 1, name.size() - stem.size() - 1 - suffix);
  return std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<OutFile> asset_files(const Asset& a, AssetFormat format) {
  switch (format) {
    case AssetFormat::lz: {
      auto bytes = [](const std::vector<uint8_t>& from, size_t offset, size_t size) {
        return std::string(from.begin() + static_cast<ptrdiff_t>(offset),
                           from.begin() + static_cast<ptrdiff_t>(offset + size));
      };
      // One file (and alpha plane) for a still picture or joined frames, else one a frame.
      const bool one = !a.framed || a.joined;
      const bool alpha = !a.alpha.empty();
      const std::vector<std::string> names = asset_file_names(a.stem, format, one ? 0 : a.frames.size(), alpha);
      std::vector<OutFile> files;
      for (size_t k = 0; k < (one ? 1 : a.frames.size()); ++k) {
        const AssetFrame& f = a.frames[k];
        files.emplace_back(names[(alpha ? 2 : 1) * k], bytes(a.lz, f.offset, f.size));
        if (alpha) files.emplace_back(names[2 * k + 1], bytes(a.alpha, f.alpha_offset, f.alpha_size));
      }
      return files;
    }
    case AssetFormat::c:
    case AssetFormat::lvgl: {
      const bool lvgl = format == AssetFormat::lvgl;
      const std::string definitions = arrays(a, Arrays::defined) + (lvgl ? lvgl_definitions(a) : "");
      const std::string c_digest = definitions_digest(definitions);
      const std::vector<std::string> names = asset_file_names(a.stem, format);
      return {{names[0], header(a, c_digest, lvgl)}, {names[1], source(a, definitions, c_digest)}};
    }
    case AssetFormat::h:
      return {{asset_file_names(a.stem, format)[0], header(a, "")}};
  }
  return {};
}

OutFile index_file(const std::string& name, const std::vector<IndexEntry>& assets) {
  const std::string stem = name.substr(0, name.rfind('.'));
  const std::string table = asset_id(stem), TABLE = upper(table), guard = TABLE + "_LZ16_INDEX_H";
  std::string s = "/* " + std::to_string(assets.size()) + " lz16 assets. Generated by lz16pack; do not edit. */\n";
  s += "#ifndef " + guard + "\n#define " + guard + "\n\n#include <stdint.h>\n\n";
  for (const IndexEntry& asset : assets) s += "#include \"" + asset.stem + ".h\"\n";
  s += std::string("\n") + frame_struct + plane_struct +
       "#ifndef LZ16_ASSET_DEFINED\n#define LZ16_ASSET_DEFINED\n"
       "/* A still picture has 1 frame and no frame_table. Joined frames are one lz16\n"
       "   file, data, width * height pixels a frame, one frame after the other. An\n"
       "   opaque asset has no alpha; else alpha (alpha_size bytes) holds the alpha\n"
       "   planes, and alpha_frame_table, beside frame_table, each frame's. A mask\n"
       "   (lz16_decode_mask) holds the alpha alone, in data, drawn in a colour. */\n"
       "struct lz16_asset {\n    const char *name;\n    uint32_t width, height;\n    const uint8_t *data;\n"
       "    uint32_t size;\n    uint32_t frames;\n    const struct lz16_frame *frame_table;\n    int joined;\n"
       "    const uint8_t *alpha;\n    uint32_t alpha_size;\n    const struct lz16_plane *alpha_frame_table;\n"
       "    int mask;\n};\n"
       "#endif\n\n";
  s += "#define " + TABLE + "_COUNT " + std::to_string(assets.size()) + "\n";
  s += "static const struct lz16_asset " + table + "[" + TABLE + "_COUNT] = {\n";
  for (const IndexEntry& entry : assets) {
    const std::string id = asset_id(entry.stem), ID = upper(id);
    s += "    {\"" + c_string(entry.stem) + "\", " + ID + "_WIDTH, " + ID + "_HEIGHT, " + id + "_lz16, " + ID +
         "_LZ16_SIZE,\n#ifdef " + ID + "_FRAMES\n     " + ID + "_FRAMES, " + id + "_frames, " + ID +
         "_JOINED,\n#else\n     1, 0, 0,\n#endif\n#if defined(" + ID + "_ALPHA_SIZE) && defined(" + ID + "_FRAMES)\n     " +
         id + "_alpha, " + ID + "_ALPHA_SIZE, " + id + "_alpha_frames,\n#elif defined(" + ID + "_ALPHA_SIZE)\n     " +
         id + "_alpha, " + ID + "_ALPHA_SIZE, 0,\n#else\n     0, 0, 0,\n#endif\n#ifdef " + ID + "_MASK\n     1},\n#else\n"
         "     0},\n#endif\n";
  }
  s += "};\n";
  const size_t lvgl = static_cast<size_t>(
      std::count_if(assets.begin(), assets.end(), [](const IndexEntry& a) { return a.format == AssetFormat::lvgl; }));
  if (lvgl) {
    // With every asset LVGL's, the two tables are one size; else the second has its own.
    const std::string count = lvgl == assets.size() ? TABLE + "_COUNT" : TABLE + "_LVGL_COUNT";
    s += "\n#ifndef LZ16_LVGL_ASSET_DEFINED\n#define LZ16_LVGL_ASSET_DEFINED\n"
         "/* An asset's LVGL images: 1, or one a frame. */\n"
         "struct lz16_lvgl_asset {\n    const char *name;\n    const lv_image_dsc_t *images;\n    uint32_t frames;\n};\n"
         "#endif\n\n";
    if (lvgl != assets.size()) s += "#define " + count + " " + std::to_string(lvgl) + "\n";
    s += "static const struct lz16_lvgl_asset " + table + "_lvgl[" + count + "] = {\n";
    for (const IndexEntry& asset : assets) {
      if (asset.format != AssetFormat::lvgl) continue;
      const std::string id = asset_id(asset.stem), ID = upper(id), name = c_string(asset.stem);
      s += "#ifdef " + ID + "_FRAMES\n    {\"" + name + "\", " + id + ", " + ID + "_FRAMES},\n#else\n    {\"" + name +
           "\", &" + id + ", 1},\n#endif\n";
    }
    s += "};\n";
  }
  return {name, s + "\n#endif\n"};
}

}  // namespace lz16
