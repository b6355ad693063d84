#include "batch.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "image_in.h"

namespace lz16 {

namespace {

namespace fs = std::filesystem;

// Where a file at path lies: its directory resolved, links and all, and
// its own name as it is, for a link there is replaced, never followed.
std::string where(const fs::path& path) {
  std::error_code ec;
  const fs::path dir = path.has_parent_path() ? path.parent_path() : fs::path(".");
  return (fs::weakly_canonical(fs::absolute(dir, ec), ec) / path.filename()).string();
}

// The file an input is read from: its own place, and where a link there leads.
std::vector<std::string> input_places(const std::string& path) {
  std::error_code ec;
  if (path == "-") return {};
  return {where(path), fs::weakly_canonical(fs::absolute(path, ec), ec).string()};
}

std::string named(const std::string& path) { return "'" + path + "'"; }

// Reads what the names of an input's outputs follow: its frames.
void count_content(PackedInput& in, std::string& untiled) {
  struct stat st;
  std::vector<uint8_t> bytes;
  const bool regular = in.path != "-" && stat(in.path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  if (!read_input(in.path, bytes).empty()) return;  // it fails again, on its own, when packed
  Image info;
  if (!read_image_info(bytes, info, {in.options.pixel_limit, max_frames}).empty()) return;
  if (std::string error = check_cut(info.width, info.height, in.options.cut); !error.empty())
    untiled += (untiled.empty() ? "" : "; ") + named(in.path) + ": " + error;
  else
    count_frames(info.width, info.height, info.frames(), in.options, in.frames);  // too many fails when packed
  if (!regular) in.held = std::move(bytes);
}

// The assets' names in C, and where an asset of the input stands in for
// the one it will be: its frames, its planes, trimmed or not.
std::string check_c_names(const std::vector<PackedInput>& inputs, const RunOptions& run) {
  std::map<std::string, std::string> ids, defined;  // ID, name -> the input with it
  std::vector<IndexEntry> entries;
  auto define = [&](const std::vector<std::string>& names, const std::string& who, const std::string& problem) {
    if (!problem.empty()) return who + ": " + problem + ": rename it";
    for (const std::string& name : names)
      if (auto [it, fresh] = defined.emplace(name, who); !fresh && it->second != who)
        return it->second + " and " + who + " would both define " + name + " in C: rename one";
    return std::string();
  };
  for (const PackedInput& in : inputs) {
    const PackOptions& o = in.options;
    if (o.format != AssetFormat::lz)
      if (std::string why = c_name_problem(in.stem); !why.empty())
        return named(in.path) + ": " + why + ": rename the file, or use -f lz";
    const std::string id = asset_id(in.stem);
    if (auto [it, fresh] = ids.emplace(id, in.path); !fresh)
      return named(it->second) + " and " + named(in.path) + " would both be named " + id;
    if (o.format == AssetFormat::lz) continue;
    entries.push_back({in.stem, o.format});
    Asset stand_in;
    stand_in.stem = in.stem;
    stand_in.framed = is_framed(in.frames, o);
    stand_in.joined = stand_in.framed && o.join_frames;
    stand_in.trimmed = o.trim;
    if (o.reduction.alpha) stand_in.alpha = {0};
    if (o.reduction.key) stand_in.key = 0;
    stand_in.frames.resize(std::max<uint64_t>(1, stand_in.framed ? in.frames : 1));
    std::string problem;
    const std::vector<std::string> names = c_names(stand_in, o.format, problem);
    if (std::string error = define(names, named(in.path), problem); !error.empty()) return error;
  }
  if (run.index.empty()) return "";
  std::string problem;
  const std::vector<std::string> names = index_c_names(run.index, entries, problem);
  return define(names, "--index " + run.index, problem);
}

}  // namespace

std::string plan_batch(std::vector<PackedInput>& inputs, const RunOptions& run, const std::vector<RunFile>& reports,
                       const std::string& manifest, bool read_content) {
  // A glob's match that an input of this run writes is no input of it.
  std::map<std::string, std::string> own;
  for (const PackedInput& in : inputs)
    for (const std::string& name : pack_file_names(in.stem, in.options, 1))
      own.emplace(where(fs::path(in.options.out_dir) / name), in.path);
  std::erase_if(inputs, [&](const PackedInput& in) { return in.found_by_glob && own.contains(where(in.path)); });
  if (inputs.empty()) return "no input images: each one a glob found is an output of this run";

  std::string untiled;
  for (size_t k = 0; read_content && k < inputs.size(); ++k) count_content(inputs[k], untiled);
  if (!untiled.empty()) return untiled;
  if (std::string error = check_c_names(inputs, run); !error.empty()) return error;

  // Every file the run may write, by where it lies: who writes it, and its path as the user would name it.
  std::map<std::string, std::pair<std::string, std::string>> outputs;
  auto output = [&](const fs::path& path, const std::string& who) {
    if (std::string why = file_name_problem(path.filename().string()); !why.empty())
      return who + ": " + why + ", not '" + path.filename().string() + "'";
    const auto [it, fresh] = outputs.emplace(where(path), std::pair{who, path.string()});
    if (!fresh) return it->second.first + " and " + who + " would both write " + path.string();
    return std::string();
  };
  for (const PackedInput& in : inputs)
    for (const std::string& name : pack_file_names(in.stem, in.options, in.frames))
      if (std::string error = output(fs::path(in.options.out_dir) / name, named(in.path)); !error.empty()) return error;
  if (!run.index.empty())
    if (std::string error = output(fs::path(run.pack.out_dir) / run.index, "--index"); !error.empty()) return error;
  for (const RunFile& report : reports)
    if (!report.path.empty())
      if (std::string error = output(report.path, report.option); !error.empty()) return error;
  std::vector<std::pair<std::string, std::string>> read;  // what the run reads: the manifest, the inputs
  if (!manifest.empty()) read.emplace_back(manifest, "the manifest " + named(manifest));
  for (const PackedInput& in : inputs) read.emplace_back(in.path, "the input " + named(in.path));
  for (const auto& [path, what] : read)
    for (const std::string& place : input_places(path))
      if (const auto it = outputs.find(place); it != outputs.end())
        return it->second.first + " would write " + it->second.second + ", which is " + what;
  return "";
}

}  // namespace lz16
