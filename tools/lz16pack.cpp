// lz16pack: image files in, device-ready lz16 assets out, a batch at a time.
#include <pthread.h>
#include <unistd.h>

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
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "encoder.h"
#include "manifest.h"
#include "options.h"
#include "batch.h"
#include "pack.h"
#include "report.h"

namespace fs = std::filesystem;

namespace {

using Jobs = std::vector<lz16::PackedInput>;

// Writes files into dir under its lock, as an asset's are; "" or why not.
std::string write_locked(const std::string& dir, const std::vector<lz16::OutFile>& files, lz16::PackRun& run) {
  lz16::DirectoryLock lock;
  if (std::string error = lz16::lock_directory(dir, lock); !error.empty()) return error;
  return lz16::write_files(dir, files, &run.temps);
}

// Writes a report to its path, made as the outputs are; "" or why not.
std::string write_report(const std::string& path, const std::string& text, lz16::PackRun& run) {
  const fs::path where(path);
  const std::string dir = where.has_parent_path() ? where.parent_path().string() : ".";
  if (std::string error = lz16::make_directory(dir); !error.empty()) return error;
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

// The stem an input's assets are named after: standard input's is "stdin".
std::string stem_of(const std::string& path) { return path == "-" ? "stdin" : fs::path(path).stem().string(); }

}  // namespace


int main(int argc, char** argv) {
  static lz16::PackRun pack_run;  // static, like the signal thread that may use it until the very end
  static std::atomic<bool> progress = false;
  // A reader of standard error or output that goes away (| head) ends no
  // run half-way: its lines are lost, its files written whole.
  std::signal(SIGPIPE, SIG_IGN);
  stop_on_signals(pack_run, progress);
  lz16::Settings cli;
  cli.jobs = lz16::usable_cores();
  if (const int status = lz16::read_command_line(argc, argv, LZ16_VERSION, cli); status >= 0) return status;

  // The batch, from the command line or from a manifest; the run's own
  // options (output, index, reports, budget) are the manifest's top's.
  Jobs batch;
  lz16::Manifest manifest;
  const lz16::Settings* settings = &cli;
  if (!cli.manifest.empty()) {
    if (std::string error = lz16::read_manifest(cli.manifest, manifest); !error.empty()) {
      std::fprintf(stderr, "lz16pack: %s\n", lz16::one_line(error).c_str());
      return 2;
    }
    for (lz16::ManifestAsset& asset : manifest.assets) {
      if (cli.output_given) asset.settings.run.pack.out_dir = cli.run.pack.out_dir;
      for (const lz16::ManifestInput& input : asset.inputs) {
        lz16::PackedInput& in = batch.emplace_back();
        in.path = input.path, in.stem = asset.name.empty() ? stem_of(input.path) : asset.name;
        in.options = asset.settings.run.pack, in.found_by_glob = input.found_by_glob;
      }
    }
    settings = &manifest.assets.front().settings;
  } else {
    if (cli.inputs.empty()) return lz16::usage_error("no input images");
    if (std::string error = lz16::settle(cli); !error.empty()) return lz16::usage_error(error);
    for (const std::string& input : cli.inputs) {
      lz16::PackedInput& in = batch.emplace_back();
      in.path = input, in.stem = stem_of(input), in.options = cli.run.pack;
    }
  }
  const lz16::RunOptions& run = settings->run;
  const std::string &out_dir = run.pack.out_dir, &index = run.index;
  const std::string json = lz16::beside_outputs(out_dir, settings->json),
                    page = lz16::beside_outputs(out_dir, settings->page);
  for (auto& job : batch) job.options.run = &pack_run;
  if (std::string error = lz16::plan_batch(batch, run, {{"--report", json}, {"--html", page}}, cli.manifest,
                                           !cli.index_only);
      !error.empty())
    return lz16::usage_error(error);
  if (cli.list) {
    auto output = [&](const std::string& name) { return out_dir == "." ? name : (fs::path(out_dir) / name).string(); };
    for (const auto& job : batch) {
      std::printf("input %s\n", job.path.c_str());
      for (const std::string& name : lz16::pack_file_names(job.stem, job.options, job.frames))
        std::printf("output %s\n", output(name).c_str());
    }
    if (!index.empty()) std::printf("output %s\n", output(index).c_str());
    for (const std::string& report : {json, page})
      if (!report.empty()) std::printf("output %s\n", report.c_str());
    return 0;
  }
  // Each output directory once: one that cannot take files is one error, not one an image.
  std::set<std::string> dirs;
  for (const auto& job : batch) dirs.insert(job.options.out_dir);
  for (const std::string& dir : dirs)
    if (std::string error = lz16::make_directory(dir); !error.empty()) {
      std::fprintf(stderr, "lz16pack: %s\n", lz16::one_line(error).c_str());
      return 1;
    }
  if (cli.index_only) {
    std::vector<lz16::IndexEntry> assets;
    for (const auto& job : batch) assets.push_back({job.stem, job.options.format});
    const std::string error = write_locked(out_dir, {lz16::index_file(index, assets)}, pack_run);
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
      lz16::pack_image(batch[k]);  // its own entry, which no other thread touches until done
      std::lock_guard lock(mutex);
      done[k] = 1;
      finished.notify_all();
    }
  };
  std::vector<std::jthread> workers;
  for (int w = 0; w < std::min<int>(cli.jobs, static_cast<int>(batch.size())); ++w) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer workers; with none at all, the images are converted here
    }
  }
  if (workers.empty()) work();

  progress = !cli.quiet && batch.size() > 1 && isatty(STDERR_FILENO);
  std::vector<lz16::IndexEntry> written;  // the assets written
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
    written.push_back({batch[k].stem, batch[k].options.format});
    if (!cli.quiet && !r.warning.empty())
      std::fprintf(stderr, "lz16pack: warning: %s\n", lz16::one_line(batch[k].path + ": " + r.warning).c_str());
    if (!cli.quiet) std::fprintf(stderr, "%s\n", lz16::one_line(lz16::report_line(batch[k])).c_str());
  }
  workers.clear();

  const lz16::BatchTotals totals = lz16::batch_totals(batch);
  bool failed = totals.failed > 0;
  auto fail = [&](const std::string& error) {
    std::fprintf(stderr, "lz16pack: %s\n", lz16::one_line(error).c_str());
    failed = true;
  };
  if (!index.empty() && !written.empty())
    if (std::string error = write_locked(out_dir, {lz16::index_file(index, written)}, pack_run); !error.empty())
      fail(error);
  if (!json.empty())
    if (std::string error = write_report(json, lz16::report_json(batch, totals, run), pack_run); !error.empty()) fail(error);
  if (!page.empty())
    if (std::string error = write_report(page, lz16::report_html(batch, totals, run), pack_run); !error.empty()) fail(error);
  if (!cli.quiet) std::fprintf(stderr, "%s\n", lz16::one_line(lz16::total_line(batch, totals)).c_str());
  if (std::string over = lz16::budget_line(totals, run); !over.empty()) fail(over);
  return failed ? 1 : 0;
}
