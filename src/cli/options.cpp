#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

#include "files.h"
#include "report.h"

namespace lz16 {

namespace {

constexpr std::array asset_names{"format", "background", "round",  "dither", "key",  "alpha",
                                   "frames", "fit",        "fill",   "enlarge", "anchor", "resize",
                                   "filter", "rotate",     "flip",   "trim",   "join-frames", "preview", "mask"};
constexpr std::array run_names{"output", "index", "report", "html", "budget"};
// The options a command line may give beside --manifest (the run's own, not an asset's).
constexpr std::array<std::string_view, 5> beside_manifest{"--manifest", "--output", "--jobs", "--quiet", "--list"};

// "WxH" as a frame size of at least 1 x 1.
std::optional<FrameCut> parse_cut(std::string_view text) {
  FrameCut cut;
  const char* const end = text.data() + text.size();
  const auto [x, width_error] = std::from_chars(text.data(), end, cut.width);
  if (width_error != std::errc() || x == end || *x != 'x') return std::nullopt;
  const auto [rest, height_error] = std::from_chars(x + 1, end, cut.height);
  if (height_error != std::errc() || rest != end || !cut.width || !cut.height) return std::nullopt;
  return cut;
}

// The scale --fit, --fill or --resize ask for (the first given; settle()
// takes only one); or why it cannot be read.
std::string parse_scale(const Settings& s, Scale& scale) {
  scale.nearest = s.filter == "nearest";
  scale.enlarge = s.enlarge;
  for (const Anchor& a : anchors)
    if (a.name == s.anchor) scale.anchor_x = a.x, scale.anchor_y = a.y;
  if (s.fit.empty() && s.fill.empty() && s.resize.empty()) return "";
  const auto [name, text] = !s.fit.empty()    ? std::pair{"--fit", s.fit}
                            : !s.fill.empty() ? std::pair{"--fill", s.fill}
                                              : std::pair{"--resize", s.resize};
  if (const auto box = parse_cut(text)) {
    scale.mode = !s.fit.empty() ? Scale::Mode::fit : !s.fill.empty() ? Scale::Mode::fill : Scale::Mode::exact;
    scale.width = box->width, scale.height = box->height;
    return "";
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale.percent);
  const bool number = error == std::errc() && scale.percent && scale.percent <= 100000;
  if (s.resize.empty() || !number || (*end && std::string_view(end) != "%"))
    return std::string(name) + " takes WxH" + (s.resize.empty() ? "" : " or N%") + ", not '" + text + "'";
  if (!*end) return "--resize " + text + " needs a unit: " + text + "% of the size, or WxH pixels";
  scale.mode = Scale::Mode::percent;
  return "";
}

// The number of single-character edits that turn a into b.
size_t edits(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j)
      diagonal = std::exchange(row[j], std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])}));
  }
  return row[b.size()];
}

// The long names of app's options.
std::vector<std::string> long_names(const CLI::App& app) {
  std::vector<std::string> names;
  for (const CLI::Option* opt : app.get_options())
    for (const std::string& lname : opt->get_lnames()) names.push_back(lname);
  return names;
}

// Adds every option to app, each writing into s.
void add_options(CLI::App& app, Settings& s) {
  PackOptions& options = s.run.pack;
  app.add_option("IMAGE", s.inputs,
                 "PNG, JPEG, GIF or WebP (still or animated), BMP, TGA, QOI or binary PPM (P6) files; - for standard "
                 "input");
  app.add_option("-o,--output", options.out_dir, "directory for the outputs (default: the current one)");
  app.add_option("-f,--format", s.format,
                 "lz: STEM.lz (default); c: STEM.h and STEM.c; h: one self-contained STEM.h; lvgl: STEM.h and "
                 "STEM.c with an lv_image_dsc_t for LVGL (integrations/lvgl)")
      ->check(CLI::IsMember(std::vector<std::string>(format_names.begin(), format_names.end())));
  app.add_option("--background", s.background,
                 "RRGGBB colour that transparent pixels are composited over (default 000000)");
  app.add_flag("--round", options.reduction.round, "each channel to the nearest 5-bit level, not its top five bits");
  app.add_flag("--dither", options.reduction.dither,
               "4x4 ordered dither against banding; colours the levels hold exactly stay flat");
  app.add_option("--key", s.key,
                 "RRGGBB colour for pixels with alpha below 128; opaque pixels are kept off it (ID_KEY in C outputs)");
  app.add_flag("--alpha", options.reduction.alpha,
               "keep transparency: an image with any pixel not opaque becomes a colour plane and an alpha plane "
               "(STEM.lz and STEM.alpha.lz, or ID_lz16 and ID_alpha), drawn with lz16dec's _blend functions");
  app.add_flag("--mask", options.mask,
               "each image's alpha alone, as a mask drawn in a colour chosen when drawing (symbols, monochrome "
               "icons, anti-aliased text): STEM.lz, or ID_lz16 with ID_MASK, drawn with lz16dec's lz16_decode_mask; "
               "an A8 image for LVGL");
  app.add_option("--frames", s.frames,
                 "WxH: cut each image (each frame of an animation) into frames of W x H pixels, left to right, "
                 "then top to bottom");
  app.add_option("--fit", s.fit,
                 "WxH: shrink each frame to fit inside W x H pixels, keeping its shape (small frames stay as they "
                 "are, unless --enlarge)");
  app.add_flag("--enlarge", s.enlarge, "let --fit enlarge frames smaller than its box, too");
  app.add_option("--fill", s.fill,
                 "WxH: scale each frame, keeping its shape, to cover W x H pixels, and crop what is over (as a "
                 "wallpaper fills a screen); small frames are enlarged");
  std::vector<std::string> anchor_names;
  for (const Anchor& a : anchors) anchor_names.emplace_back(a.name);
  app.add_option("--anchor", s.anchor,
                 "what --fill keeps: centre (default), top, bottom, left, right, top-left, top-right, bottom-left "
                 "or bottom-right")
      ->check(CLI::IsMember(anchor_names));
  app.add_option("--resize", s.resize, "WxH or N%: scale each frame to W x H pixels, or to N% of its size");
  app.add_option("--filter", s.filter,
                 "how --fit, --fill and --resize scale: smooth (default; in linear light, weighted by alpha) or nearest "
                 "(for pixel art, by whole factors)")
      ->check(CLI::IsMember({"smooth", "nearest"}));
  app.add_option("--rotate", options.turn.degrees, "turn each frame clockwise by 90, 180 or 270 degrees")
      ->check(CLI::IsMember({0, 90, 180, 270}));
  app.add_option("--flip", s.flip, "mirror each frame (after --rotate): h left to right, v top to bottom")
      ->check(CLI::IsMember({"h", "v"}));
  app.add_flag("--trim", options.trim,
               "store each frame as the box of its pixels that show (with --alpha or --key; -f c, h or lvgl give "
               "each box)");
  app.add_flag("--join-frames", options.join_frames,
               "an image's frames as one lz16 file, played from the start, not a file each");
  app.add_flag("--preview", options.preview, "also write STEM.preview.png, the picture as the device shows it");
  app.add_option("--index", s.run.index,
                 "also write this header (in the output directory), listing every asset; needs -f c, h or lvgl");
  app.add_flag("--index-only", s.index_only,
               "write only the --index header, from the images' names; read and convert no image");
  app.add_option("--report", s.json,
                 "also write this JSON report of the batch: every input's figures and outputs (a bare file name is in "
                 "the output directory, as --index's is; ./NAME is in the current one)");
  app.add_option("--html", s.page,
                 "also write this page: every asset's source and picture on the device side by side, with its "
                 "figures, the largest first (where, as for --report)");
  app.add_option("--budget", s.budget,
                 "bytes the compressed images may take together (65536, 64K, 1M: K is 1024); over it, say so and "
                 "exit 1 (the files are still written)");
  app.add_option("--manifest", s.manifest,
                 "a TOML file listing the assets, or globs of them, each with its own options (the long options' "
                 "names as keys; see docs/manifests.md); the command line then takes only -o, -j, -q and --list");
  app.add_flag("--list", s.list,
               "check everything, then print each input and each file the run would write (\"input PATH\", "
               "\"output PATH\"), and write nothing");
  app.add_option("-j,--jobs", s.jobs, "images converted at once (default: the number of cores)")
      ->check(CLI::Range(1, 1024));
  app.add_flag("-q,--quiet", s.quiet, "print only errors");
}

// CLI11's "arguments were not expected" for unknown options, with the
// nearest real option for each that is close to one.
std::string unknown_options(const CLI::App& app, const std::string& what) {
  std::string message;
  for (const std::string& arg : app.remaining()) {
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.substr(0, arg.find('='));
    const std::string best = nearest_name(name.substr(name.find_first_not_of('-')), long_names(app));
    message += (message.empty() ? "" : "; ") + ("unknown option " + name) + (best.empty() ? "" : ": did you mean --" + best + "?");
  }
  return message.empty() ? what : message;
}

// One app with every option, for the questions asked of them by name.
const CLI::App& options_app() {
  static Settings scratch;
  static CLI::App app;
  [[maybe_unused]] static const bool ready = (add_options(app, scratch), true);
  return app;
}

}  // namespace

int usage_error(const std::string& message) {
  std::fprintf(stderr, "lz16pack: %s (try 'lz16pack --help')\n", one_line(message).c_str());
  return 2;
}

int read_command_line(int argc, const char* const* argv, const char* version, Settings& s) {
  CLI::App app{
      "lz16pack: converts PNG, JPEG, GIF, WebP, BMP, TGA, QOI and binary PPM images to lz16 compressed assets.\n"
      "Each output is verified by decoding it again before it is written.",
      "lz16pack"};
  add_options(app, s);
  app.set_version_flag("--version", std::string("lz16pack ") + version);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ExtrasError& e) {
    return usage_error(unknown_options(app, e.what()));
  } catch (const CLI::ParseError& e) {
    return usage_error(e.what());
  }
  s.output_given = app.get_option("--output")->count() > 0;
  if (!s.manifest.empty()) {
    if (!s.inputs.empty()) return usage_error("the manifest lists the images: give none on the command line");
    for (const CLI::Option* opt : app.get_options()) {
      const std::string name = opt->get_name();
      if (opt->count() && std::find(beside_manifest.begin(), beside_manifest.end(), name) == beside_manifest.end())
        return usage_error("with --manifest, the manifest holds the options: the command line takes only -o, -j, -q "
                           "and --list, not " + name);
    }
  }
  return -1;
}

std::string parse_arguments(std::vector<std::string> args, Settings& s) {
  CLI::App app;
  add_options(app, s);
  std::reverse(args.begin(), args.end());  // CLI11 takes a vector last argument first
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    return e.what();
  }
  return "";
}

bool is_option(std::string_view name) {
  return options_app().get_option_no_throw("--" + std::string(name)) != nullptr;
}

bool is_flag(std::string_view name) {
  const CLI::Option* opt = options_app().get_option_no_throw("--" + std::string(name));
  return opt && opt->get_expected_min() == 0;
}

std::span<const char* const> asset_options() { return asset_names; }
std::span<const char* const> run_options() { return run_names; }

bool is_asset_option(std::string_view name) {
  return std::find(asset_names.begin(), asset_names.end(), name) != asset_names.end();
}

bool is_run_option(std::string_view name) {
  return std::find(run_names.begin(), run_names.end(), name) != run_names.end();
}

std::string nearest_name(std::string_view name, const std::vector<std::string>& names) {
  std::string best;
  size_t fewest = std::max<size_t>(2, (name.size() + 2) / 3) + 1;
  for (const std::string& candidate : names)
    if (const size_t n = edits(name, candidate); n < fewest) fewest = n, best = candidate;
  return best;
}

std::optional<uint64_t> parse_bytes(std::string_view text) {
  uint64_t n = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  std::string_view unit = text.substr(static_cast<size_t>(end - text.data()));
  if (error != std::errc() || n >= uint64_t{1} << 53) return std::nullopt;
  int shift = 0;
  if (!unit.empty() && (unit[0] == 'K' || unit[0] == 'k' || unit[0] == 'M' || unit[0] == 'm'))
    shift = unit[0] == 'K' || unit[0] == 'k' ? 10 : 20, unit.remove_prefix(1);
  if (unit == "B" || unit == "b") unit.remove_prefix(1);
  if (!unit.empty() || n > (uint64_t{1} << 53) >> shift) return std::nullopt;
  return n << shift;
}

std::string settle_values(Settings& s) {
  PackOptions& options = s.run.pack;
  if (!s.run.index.empty())
    if (std::string why = file_name_problem(s.run.index); !why.empty())
      return "--index takes the name of a file in the output directory: " + why;
  if (!s.budget.empty() && !(s.run.budget = parse_bytes(s.budget)))
    return "--budget takes a number of bytes such as 65536, 64K or 1M, not '" + s.budget + "'";
  const auto bg = parse_rgb(s.background);
  if (!bg) return "--background takes RRGGBB, not '" + s.background + "'";
  options.reduction.background = *bg;
  if (!s.key.empty() && !(options.reduction.key = parse_rgb(s.key))) return "--key takes RRGGBB, not '" + s.key + "'";
  options.format = parse_format(s.format).value_or(AssetFormat::lz);  // the parse has checked it
  options.turn.flip_h = s.flip == "h", options.turn.flip_v = s.flip == "v";
  options.scale = {};
  if (std::string error = parse_scale(s, options.scale); !error.empty()) return error;
  if (!s.frames.empty()) {
    const auto frames = parse_cut(s.frames);
    if (!frames) return "--frames takes WxH, two whole numbers from 1, not '" + s.frames + "'";
    options.cut = *frames;
  }
  return "";
}

std::string settle(Settings& s) {
  if (std::string error = settle_values(s); !error.empty()) return error;
  const PackOptions& options = s.run.pack;
  if (options.reduction.key && options.reduction.alpha)
    return "--alpha and --key are two ways to keep transparency: take one";
  if (options.mask && (options.reduction.key || options.reduction.alpha))
    return options.reduction.alpha ? "--mask keeps the alpha alone and --alpha the colours with it: take one"
                                   : "--mask keeps the alpha alone: it takes no --key";
  if (options.mask && (options.reduction.round || options.reduction.dither || s.background != "000000"))
    return "--mask keeps the alpha alone: --round, --dither and --background, which change colours, do not apply";
  if (!s.run.index.empty() && options.format == AssetFormat::lz)
    return "--index takes a file name, and needs --format c, h or lvgl";
  if (options.format == AssetFormat::lvgl && (options.join_frames || options.reduction.key))
    return options.join_frames ? "--join-frames makes one stream that LVGL cannot draw a frame of: "
                                 "leave it out with -f lvgl"
                               : "LVGL would draw the --key colour: use --alpha with -f lvgl";
  if (options.trim && !options.reduction.alpha && !options.reduction.key && !options.mask)
    return "--trim crops each frame to its pixels that show: it needs --alpha or --key to know the rest";
  if (options.trim && (options.join_frames || options.format == AssetFormat::lz))
    return options.join_frames ? "--trim gives each frame a size of its own; joined frames share one"
                               : "--trim's boxes are written in C: use -f c, h or lvgl";
  if (!s.fit.empty() + !s.fill.empty() + !s.resize.empty() > 1)
    return "--fit, --fill and --resize are three ways to scale: take one";
  if (s.enlarge && s.fit.empty()) return "--enlarge lets --fit enlarge small images: it needs --fit";
  if (s.anchor != "centre" && s.fill.empty()) return "--anchor says what --fill keeps: it needs --fill";
  if (s.index_only && s.run.index.empty()) return "--index-only needs --index";
  if (s.index_only && (!s.json.empty() || !s.page.empty() || s.run.budget))
    return "--index-only converts nothing to report on or hold to a budget";
  s.run.pack.page_pictures = !s.page.empty();
  return "";
}

}  // namespace lz16
