// lz16pack: image files in, device-ready lz16 assets out, a batch at a time.
#include <pthread.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "encoder.h"
#include "pack.h"
#include "report.h"

namespace fs = std::filesystem;

namespace {

int usage_error(const std::string& message) {
  std::fprintf(stderr, "lz16pack: %s (try 'lz16pack --help')\n", lz16::one_line(message).c_str());
  return 2;
}

using Jobs = std::vector<lz16::PackedInput>;

// The checks that come before anything is written. Returns "" or the usage
// error. reports are the paths of the batch's report files.
std::string check_batch(const Jobs& jobs, const lz16::PackOptions& options, const std::string& index,
                        const std::vector<std::string>& reports) {
  std::map<std::string, std::string> ids;   // ID -> input that has it
  std::map<fs::path, std::string> outputs;  // output path -> input that writes it
  std::error_code ec;
  auto where = [&](const std::string& name) { return fs::weakly_canonical(fs::path(options.out_dir) / name, ec); };
  for (const auto& job : jobs) {
    if (options.format != lz16::AssetFormat::lz)
      if (std::string why = lz16::c_name_problem(job.stem); !why.empty())
        return "'" + job.path + "': " + why + ": rename the file, or use -f lz";
    const std::string id = lz16::asset_id(job.stem);
    if (auto [it, fresh] = ids.emplace(id, job.path); !fresh)
      return "'" + it->second + "' and '" + job.path + "' would both be named " + id;
    for (const std::string& name : lz16::pack_file_names(job.stem, options)) outputs[where(name)] = job.path;
  }
  if (!index.empty()) outputs[where(index)] = "--index";
  for (const std::string& report : reports)
    if (!report.empty()) outputs[fs::weakly_canonical(report, ec)] = report;
  for (const auto& job : jobs)
    if (auto it = outputs.find(fs::weakly_canonical(job.path, ec)); it != outputs.end())
      return "'" + job.path + "' is an input and would be overwritten by an output";
  for (const auto& framed : jobs) {
    if (!lz16::may_write_frame_files(framed.path, options)) continue;
    for (const auto& job : jobs)
      if (lz16::is_frame_file_name(job.stem + ".lz", framed.stem))
        return "'" + framed.path + "' and '" + job.path + "' would both write " + job.stem + ".lz";
  }
  // Frames must tile every image (each one that does not is named); an
  // image that cannot be read now fails later, on its own.
  std::string untiled;
  for (const auto& job : jobs) {
    uint32_t width, height;
    if (options.cut.width && lz16::read_image_size(job.path, width, height).empty())
      if (std::string error = lz16::check_cut(width, height, options.cut); !error.empty())
        untiled += (untiled.empty() ? "'" : "; '") + job.path + "': " + error;
  }
  return untiled;
}

// "WxH" as a frame size of at least 1 x 1.
std::optional<lz16::FrameCut> parse_cut(std::string_view text) {
  lz16::FrameCut cut;
  const char* const end = text.data() + text.size();
  const auto [x, width_error] = std::from_chars(text.data(), end, cut.width);
  if (width_error != std::errc() || x == end || *x != 'x') return std::nullopt;
  const auto [rest, height_error] = std::from_chars(x + 1, end, cut.height);
  if (height_error != std::errc() || rest != end || !cut.width || !cut.height) return std::nullopt;
  return cut;
}

// --fit WxH, or --resize WxH or N%, as a scale; empty if it is neither.
std::optional<lz16::Scale> parse_scale(const std::string& fit, const std::string& resize, const std::string& filter) {
  lz16::Scale scale;
  scale.nearest = filter == "nearest";
  const std::string& text = fit.empty() ? resize : fit;
  if (text.empty()) return scale;
  if (!fit.empty() && !resize.empty()) return std::nullopt;
  if (const auto box = parse_cut(text)) {
    scale.mode = fit.empty() ? lz16::Scale::Mode::exact : lz16::Scale::Mode::fit;
    scale.width = box->width, scale.height = box->height;
    return scale;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), scale.percent);
  if (!fit.empty() || error != std::errc() || std::string_view(end) != "%" || !scale.percent || scale.percent > 100000)
    return std::nullopt;
  scale.mode = lz16::Scale::Mode::percent;
  return scale;
}

// Writes files into dir under the lock of the first one's name, as an
// asset's are; "" or why not.
std::string write_locked(const std::string& dir, const std::vector<lz16::OutFile>& files, lz16::PackRun& run) {
  lz16::UnitLock lock;
  if (std::string error = lz16::lock_unit(dir, files.front().first, lock); !error.empty()) return error;
  return lz16::write_files(dir, files, &run.temps);
}

// Writes a report to its path, made as the outputs are; "" or why not.
std::string write_report(const std::string& path, const std::string& text, lz16::PackRun& run) {
  const fs::path where(path);
  const std::string dir = where.has_parent_path() ? where.parent_path().string() : ".";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return write_locked(dir, {{where.filename().string(), text}}, run);
}

// From here on SIGINT, SIGTERM and SIGHUP are taken by a thread of their
// own, which removes the run's temporary files, says so and ends the
// process with 128 + the signal's number. Call before any other thread
// starts, so that every thread leaves these signals to it.
void stop_on_signals(lz16::PackRun& run, const std::atomic<bool>& progress) {
  static sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([&run, &progress] {
    int s = 0;
    while (sigwait(&signals, &s) != 0) {
    }
    lz16::remove_temp_files(run.temps);
    std::fprintf(stderr, "%slz16pack: interrupted (%s); no temporary file is left\n", progress ? "\r\033[K" : "",
                 s == SIGINT ? "SIGINT" : s == SIGTERM ? "SIGTERM" : "SIGHUP");
    std::_Exit(128 + s);
  }).detach();
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

// CLI11's "arguments were not expected" for unknown options, with the
// nearest real option for each that is close to one.
std::string unknown_options(const CLI::App& app, const std::string& what) {
  std::string message;
  for (const std::string& arg : app.remaining()) {
    if (arg.size() < 2 || arg[0] != '-') continue;
    const std::string name = arg.substr(0, arg.find('='));
    std::string best;
    size_t fewest = std::max<size_t>(2, name.size() / 3) + 1;
    for (const CLI::Option* opt : app.get_options())
      for (const std::string& lname : opt->get_lnames())
        if (const size_t n = edits(name, "--" + lname); n < fewest) fewest = n, best = "--" + lname;
    message += (message.empty() ? "" : "; ") + ("unknown option " + name) + (best.empty() ? "" : ": did you mean " + best + "?");
  }
  return message.empty() ? what : message;
}

// The stem an input's assets are named after: standard input's is "stdin".
std::string stem_of(const std::string& path) { return path == "-" ? "stdin" : fs::path(path).stem().string(); }

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "lz16pack: converts PNG, JPEG, GIF, WebP, BMP, TGA, QOI and binary PPM images to lz16 compressed assets.\n"
      "Each output is verified by decoding it again before it is written.",
      "lz16pack"};
  std::vector<std::string> inputs;
  std::string format = "lz", background = "000000", key, cut, json, page, budget, flip, fit, resize, filter = "smooth";
  lz16::RunOptions run;
  lz16::PackOptions& options = run.pack;
  static lz16::PackRun pack_run;  // static, like the signal thread that may use it until the very end
  static std::atomic<bool> progress = false;
  options.run = &pack_run;
  stop_on_signals(pack_run, progress);
  std::string& index = run.index;
  bool quiet = false, index_only = false;
  int jobs = lz16::usable_cores();
  app.add_option("IMAGE", inputs,
                 "PNG, JPEG, GIF or WebP (still or animated), BMP, TGA, QOI or binary PPM (P6) files; - for standard "
                 "input");
  app.add_option("-o,--output", options.out_dir, "directory for the outputs (default: the current one)");
  app.add_option("-f,--format", format,
                 "lz: STEM.lz (default); c: STEM.h and STEM.c; h: one self-contained STEM.h; lvgl: STEM.h and "
                 "STEM.c with an lv_image_dsc_t for LVGL (integrations/lvgl)")
      ->check(CLI::IsMember({"lz", "c", "h", "lvgl"}));
  app.add_option("--background", background,
                 "RRGGBB colour that transparent pixels are composited over (default 000000)");
  app.add_flag("--round", options.reduction.round,
               "each channel to the nearest 5-bit level, not its top five bits");
  app.add_flag("--dither", options.reduction.dither,
               "4x4 ordered dither against banding; colours the levels hold exactly stay flat");
  app.add_option("--key", key,
                 "RRGGBB colour for pixels with alpha below 128; opaque pixels are kept off it (ID_KEY in C outputs)");
  app.add_flag("--alpha", options.reduction.alpha,
               "keep transparency: an image with any pixel not opaque becomes a colour plane and an alpha plane "
               "(STEM.lz and STEM.alpha.lz, or ID_lz16 and ID_alpha), drawn with lz16dec's _blend functions");
  app.add_option("--frames", cut,
                 "WxH: cut each image (each frame of an animation) into frames of W x H pixels, left to right, "
                 "then top to bottom");
  app.add_option("--fit", fit, "WxH: scale each frame to fit inside W x H pixels, keeping its shape");
  app.add_option("--resize", resize, "WxH or N%: scale each frame to W x H pixels, or to N% of its size");
  app.add_option("--filter", filter,
                 "how --fit and --resize scale: smooth (default; in linear light, weighted by alpha) or nearest "
                 "(for pixel art, by whole factors)")
      ->check(CLI::IsMember({"smooth", "nearest"}));
  app.add_option("--rotate", options.turn.degrees, "turn each frame clockwise by 90, 180 or 270 degrees")
      ->check(CLI::IsMember({0, 90, 180, 270}));
  app.add_option("--flip", flip, "mirror each frame (after --rotate): h left to right, v top to bottom")
      ->check(CLI::IsMember({"h", "v"}));
  app.add_flag("--trim", options.trim,
               "store each frame as the box of its pixels that show (with --alpha or --key; -f c, h or lvgl give "
               "each box)");
  app.add_flag("--join-frames", options.join_frames,
               "an image's frames as one lz16 file, played from the start, not a file each");
  app.add_flag("--preview", options.preview, "also write STEM.preview.png, the picture as the device shows it");
  app.add_option("--index", index,
                 "also write this header (in the output directory), listing every asset; needs -f c, h or lvgl");
  app.add_flag("--index-only", index_only,
               "write only the --index header, from the images' names; read and convert no image");
  app.add_option("--report", json, "also write this JSON report of the batch: every input's figures and outputs");
  app.add_option("--html", page,
                 "also write this page: every asset's source and picture on the device side by side, with its "
                 "figures, the largest first");
  app.add_option("--budget", budget,
                 "bytes the compressed images may take together (65536, 64K, 1M: K is 1024); over it, say so and "
                 "exit 1 (the files are still written)");
  app.add_option("-j,--jobs", jobs, "images converted at once (default: the number of cores)")
      ->check(CLI::Range(1, 1024));
  app.add_flag("-q,--quiet", quiet, "print only errors");
  app.set_version_flag("--version", "lz16pack " LZ16_VERSION);
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

  if (inputs.empty()) return usage_error("no input images");
  if (!budget.empty() && !(run.budget = lz16::parse_bytes(budget)))
    return usage_error("--budget takes a number of bytes such as 65536, 64K or 1M, not '" + budget + "'");
  const auto bg = lz16::parse_rgb(background);
  if (!bg) return usage_error("--background takes RRGGBB, not '" + background + "'");
  options.reduction.background = *bg;
  if (!key.empty()) {
    options.reduction.key = lz16::parse_rgb(key);
    if (!options.reduction.key) return usage_error("--key takes RRGGBB, not '" + key + "'");
    if (options.reduction.alpha) return usage_error("--alpha and --key are two ways to keep transparency: take one");
  }
  options.format = format == "c"      ? lz16::AssetFormat::c
                   : format == "h"    ? lz16::AssetFormat::h
                   : format == "lvgl" ? lz16::AssetFormat::lvgl
                                      : lz16::AssetFormat::lz;
  if (!index.empty() && (options.format == lz16::AssetFormat::lz || index.find('/') != std::string::npos))
    return usage_error("--index takes a file name, and needs --format c, h or lvgl");
  if (options.format == lz16::AssetFormat::lvgl && (options.join_frames || !key.empty()))
    return usage_error(options.join_frames ? "--join-frames makes one stream that LVGL cannot draw a frame of: "
                                             "leave it out with -f lvgl"
                                           : "LVGL would draw the --key colour: use --alpha with -f lvgl");
  if (options.trim && (!options.reduction.alpha && key.empty()))
    return usage_error("--trim crops each frame to its pixels that show: it needs --alpha or --key to know the rest");
  if (options.trim && (options.join_frames || options.format == lz16::AssetFormat::lz))
    return usage_error(options.join_frames ? "--trim gives each frame a size of its own; joined frames share one"
                                           : "--trim's boxes are written in C: use -f c, h or lvgl");
  if (index_only && index.empty()) return usage_error("--index-only needs --index");
  if (index_only && (!json.empty() || !page.empty() || run.budget))
    return usage_error("--index-only converts nothing to report on or hold to a budget");
  options.page_pictures = !page.empty();
  options.turn.flip_h = flip == "h", options.turn.flip_v = flip == "v";
  const auto scale = parse_scale(fit, resize, filter);
  if (!scale)
    return usage_error(!fit.empty() && !resize.empty() ? "--fit and --resize are two ways to scale: take one"
                                                        : "--fit takes WxH, and --resize WxH or N%, not '" + fit + resize + "'");
  options.scale = *scale;
  if (!cut.empty()) {
    const auto frames = parse_cut(cut);
    if (!frames) return usage_error("--frames takes WxH, two whole numbers from 1, not '" + cut + "'");
    options.cut = *frames;
  }

  Jobs batch(inputs.size());
  for (size_t k = 0; k < inputs.size(); ++k) batch[k] = {inputs[k], stem_of(inputs[k]), {}};
  if (std::string error = check_batch(batch, options, index, {json, page}); !error.empty()) return usage_error(error);
  std::error_code ec;
  fs::create_directories(options.out_dir, ec);
  if (index_only) {
    std::vector<std::string> stems;
    for (const auto& job : batch) stems.push_back(job.stem);
    const std::string error = write_locked(options.out_dir, {lz16::index_file(index, stems, options.format)}, pack_run);
    if (!error.empty()) std::fprintf(stderr, "lz16pack: %s\n", lz16::one_line(error).c_str());
    return error.empty() ? 0 : 1;
  }

  // Workers take the images in turn; the report follows input order.
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next{0};
  std::vector<char> done(batch.size(), 0);
  auto work = [&] {
    for (size_t k; (k = next++) < batch.size();) {
      lz16::PackResult result = lz16::pack_image(batch[k].path, batch[k].stem, options);
      std::lock_guard lock(mutex);
      batch[k].result = std::move(result);
      done[k] = 1;
      finished.notify_all();
    }
  };
  std::vector<std::jthread> workers;
  for (int w = 0; w < std::min<int>(jobs, static_cast<int>(batch.size())); ++w) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer workers; with none at all, the images are converted here
    }
  }
  if (workers.empty()) work();

  progress = !quiet && batch.size() > 1 && isatty(STDERR_FILENO);
  std::vector<std::string> written;  // the stems of the assets written
  for (size_t k = 0; k < batch.size(); ++k) {
    if (progress)
      std::fprintf(stderr, "\r[%zu/%zu] %s\033[K", k + 1, batch.size(), lz16::one_line(batch[k].path).c_str());
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return done[k] != 0; });
    const lz16::PackResult& r = batch[k].result;
    if (progress) std::fprintf(stderr, "\r\033[K");
    if (!r.error.empty()) {
      std::fprintf(stderr, "lz16pack: %s\n", lz16::one_line(batch[k].path + ": " + r.error).c_str());
      continue;
    }
    written.push_back(batch[k].stem);
    if (!quiet) std::fprintf(stderr, "%s\n", lz16::one_line(lz16::report_line(batch[k], run)).c_str());
  }
  workers.clear();

  const lz16::BatchTotals totals = lz16::batch_totals(batch);
  bool failed = totals.failed > 0;
  auto fail = [&](const std::string& error) {
    std::fprintf(stderr, "lz16pack: %s\n", lz16::one_line(error).c_str());
    failed = true;
  };
  if (!index.empty() && !written.empty())
    if (std::string error = write_locked(options.out_dir, {lz16::index_file(index, written, options.format)}, pack_run); !error.empty())
      fail(error);
  if (!json.empty())
    if (std::string error = write_report(json, lz16::report_json(batch, totals, run), pack_run); !error.empty()) fail(error);
  if (!page.empty())
    if (std::string error = write_report(page, lz16::report_html(batch, totals, run), pack_run); !error.empty()) fail(error);
  if (!quiet) std::fprintf(stderr, "%s\n", lz16::one_line(lz16::total_line(batch, totals)).c_str());
  if (std::string over = lz16::budget_line(totals, run); !over.empty()) fail(over);
  return failed ? 1 : 0;
}
