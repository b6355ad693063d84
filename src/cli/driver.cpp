#include "driver.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "batch.h"
#include "encoder.h"
#include "manifest.h"
#include "options.h"
#include "pack.h"
#include "report.h"
#include "threads.h"

namespace fs = std::filesystem;

namespace lz16 {

namespace {

using Jobs = std::vector<PackedInput>;

// Writes files into dir under its lock, as an asset's are; "" or why not.
std::string write_locked(const std::string& dir, const std::vector<OutFile>& files, PackRun& run) {
  DirectoryLock lock;
  if (std::string error = lock_directory(dir, lock); !error.empty()) return error;
  return write_files(dir, files, &run.temps);
}

// Writes a report to its path, made as the outputs are; "" or why not.
std::string write_report(const std::string& path, const std::string& text, PackRun& run) {
  const fs::path where(path);
  const std::string dir = where.has_parent_path() ? where.parent_path().string() : ".";
  if (std::string error = make_directory(dir); !error.empty()) return error;
  return write_locked(dir, {{where.filename().string(), text}}, run);
}

// The stem an input's assets are named after: standard input's is "stdin".
std::string stem_of(const std::string& path) { return path == "-" ? "stdin" : fs::path(path).stem().string(); }

}  // namespace

int run_lz16pack(int argc, const char* const* argv, const char* version, bool terminal, PackRun& run_state,
                 std::atomic<bool>& progress) {
  Settings cli;
  cli.jobs = usable_cores();
  if (const int status = read_command_line(argc, argv, version, cli); status >= 0) return status;

  // The batch, from the command line or from a manifest; the run's own
  // options (output, index, reports, budget) are the manifest's top's.
  Jobs batch;
  Manifest manifest;
  const Settings* settings = &cli;
  if (!cli.manifest.empty()) {
    if (std::string error = read_manifest(cli.manifest, manifest); !error.empty()) {
      std::fprintf(stderr, "lz16pack: %s\n", one_line(error).c_str());
      return 2;
    }
    for (ManifestAsset& asset : manifest.assets) {
      if (cli.output_given) asset.settings.run.pack.out_dir = cli.run.pack.out_dir;
      for (const ManifestInput& input : asset.inputs) {
        PackedInput& in = batch.emplace_back();
        in.path = input.path, in.stem = asset.name.empty() ? stem_of(input.path) : asset.name;
        in.options = asset.settings.run.pack, in.found_by_glob = input.found_by_glob;
      }
    }
    settings = &manifest.assets.front().settings;
  } else {
    if (cli.inputs.empty()) return usage_error("no input images");
    if (std::string error = settle(cli); !error.empty()) return usage_error(error);
    for (const std::string& input : cli.inputs) {
      PackedInput& in = batch.emplace_back();
      in.path = input, in.stem = stem_of(input), in.options = cli.run.pack;
    }
  }
  const RunOptions& run = settings->run;
  const std::string &out_dir = run.pack.out_dir, &index = run.index;
  const std::string json = beside_outputs(out_dir, settings->json),
                    page = beside_outputs(out_dir, settings->page);
  for (auto& job : batch) job.options.run = &run_state;
  if (std::string error = plan_batch(batch, run, {{"--report", json}, {"--html", page}}, cli.manifest,
                                           !cli.index_only);
      !error.empty())
    return usage_error(error);
  if (cli.list) {
    auto output = [&](const std::string& name) { return out_dir == "." ? name : (fs::path(out_dir) / name).string(); };
    for (const auto& job : batch) {
      std::printf("input %s\n", job.path.c_str());
      for (const std::string& name : pack_file_names(job.stem, job.options, job.frames))
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
    if (std::string error = make_directory(dir); !error.empty()) {
      std::fprintf(stderr, "lz16pack: %s\n", one_line(error).c_str());
      return 1;
    }
  if (cli.index_only) {
    std::vector<IndexEntry> assets;
    for (const auto& job : batch) assets.push_back({job.stem, job.options.format});
    const std::string error = write_locked(out_dir, {index_file(index, assets)}, run_state);
    if (!error.empty()) std::fprintf(stderr, "lz16pack: %s\n", one_line(error).c_str());
    return error.empty() ? 0 : 1;
  }

  // Workers take the images in turn; the report follows input order.
  std::mutex mutex;
  std::condition_variable finished;
  std::atomic<size_t> next{0};
  std::vector<char> done(batch.size(), 0);
  auto work = [&] {
    for (size_t k; (k = next++) < batch.size();) {
      pack_image(batch[k]);  // its own entry, which no other thread touches until done
      std::lock_guard lock(mutex);
      done[k] = 1;
      finished.notify_all();
    }
  };
  JoinedThreads workers;
  for (int w = 0; threads_available && w < std::min<int>(cli.jobs, static_cast<int>(batch.size())); ++w) {
    try {
      workers.threads.emplace_back(work);
    } catch (const std::system_error&) {
      break;  // fewer workers; with none at all, each image is converted here when its turn comes
    }
  }

  progress = !cli.quiet && batch.size() > 1 && terminal;
  std::vector<IndexEntry> written;  // the assets written
  for (size_t k = 0; k < batch.size(); ++k) {
    if (progress)
      std::fprintf(stderr, "\r[%zu/%zu] %s\033[K", k + 1, batch.size(), one_line(batch[k].path).c_str());
    if (workers.threads.empty()) pack_image(batch[k]);
    std::unique_lock lock(mutex);
    finished.wait(lock, [&] { return workers.threads.empty() || done[k] != 0; });
    const PackResult& r = batch[k].result;
    if (progress) std::fprintf(stderr, "\r\033[K");
    if (!r.error.empty()) {
      std::fprintf(stderr, "lz16pack: %s\n", one_line(batch[k].path + ": " + r.error).c_str());
      continue;
    }
    written.push_back({batch[k].stem, batch[k].options.format});
    if (!cli.quiet && !r.warning.empty())
      std::fprintf(stderr, "lz16pack: warning: %s\n", one_line(batch[k].path + ": " + r.warning).c_str());
    if (!cli.quiet) std::fprintf(stderr, "%s\n", one_line(report_line(batch[k])).c_str());
  }
  workers.join();

  const BatchTotals totals = batch_totals(batch);
  bool failed = totals.failed > 0;
  auto fail = [&](const std::string& error) {
    std::fprintf(stderr, "lz16pack: %s\n", one_line(error).c_str());
    failed = true;
  };
  if (!index.empty() && !written.empty())
    if (std::string error = write_locked(out_dir, {index_file(index, written)}, run_state); !error.empty())
      fail(error);
  if (!json.empty())
    if (std::string error = write_report(json, report_json(batch, totals, run), run_state); !error.empty()) fail(error);
  if (!page.empty())
    if (std::string error = write_report(page, report_html(batch, totals, run), run_state); !error.empty()) fail(error);
  if (!cli.quiet) std::fprintf(stderr, "%s\n", one_line(total_line(batch, totals)).c_str());
  if (std::string over = budget_line(totals, run); !over.empty()) fail(over);
  return failed ? 1 : 0;
}

}  // namespace lz16
