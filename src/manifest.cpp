#include "manifest.h"

#include <glob.h>

#include <algorithm>
#include <filesystem>
#include <toml++/toml.h>

#include "files.h"

namespace lz16 {

namespace {

namespace fs = std::filesystem;

// A key of a table, where it stands in the file.
struct Entry {
  std::string key;
  const toml::node* value;
  uint32_t line;
};

// A table's keys in the order they stand in the file.
std::vector<Entry> entries(const toml::table& table) {
  std::vector<Entry> out;
  for (const auto& [key, value] : table) out.push_back({std::string(key.str()), &value, key.source().begin.line});
  std::stable_sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.line < b.line; });
  return out;
}

// Parses args (as a command line gives them, without the program's name)
// into s; "" or CLI11's reason.
std::string parse(std::vector<std::string> args, Settings& s) {
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

// A path of the manifest's as lz16pack opens it: relative ones are taken
// from the manifest's directory.
std::string resolve(const fs::path& dir, const std::string& path) {
  return dir.empty() || fs::path(path).is_absolute() ? path : (dir / path).string();
}

// text with glob's special characters taken literally.
std::string glob_literal(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '*' || c == '?' || c == '[' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// The files (not directories) that pattern matches, sorted.
std::vector<std::string> glob_files(const std::string& pattern) {
  std::vector<std::string> files;
  glob_t found{};
  if (glob(pattern.c_str(), GLOB_MARK, nullptr, &found) == 0)
    for (size_t k = 0; k < found.gl_pathc; ++k)
      if (std::string_view path = found.gl_pathv[k]; !path.ends_with('/')) files.emplace_back(path);
  globfree(&found);
  return files;
}

// The manifest being read: its path, and the directory its paths start in.
struct Source {
  std::string path;
  fs::path dir;
};

// "PATH:LINE: key 'KEY': " before an error.
std::string at(const Source& src, uint32_t line, std::string_view key = {}) {
  return src.path + ":" + std::to_string(line) + ": " + (key.empty() ? "" : "key '" + std::string(key) + "': ");
}

// The option's value as an argument, "--KEY=VALUE", checked on its own; ""
// for an empty string, which leaves the option at lz16pack's default, and
// "" with the reason in error.
std::string argument(const Source& src, const Entry& e, std::string& error) {
  Settings scratch;
  CLI::App app;
  add_options(app, scratch);
  std::string value;
  if (app.get_option("--" + e.key)->get_expected_min() == 0) {
    if (!e.value->is_boolean()) return error = at(src, e.line, e.key) + "takes true or false", "";
    value = *e.value->value<bool>() ? "true" : "false";
  } else if (e.value->is_integer()) {
    value = std::to_string(*e.value->value<int64_t>());
  } else if (e.value->is_string()) {
    value = *e.value->value<std::string>();
    if (value.empty()) return "";
    if (e.key == "output" || e.key == "report" || e.key == "html") value = resolve(src.dir, value);
  } else {
    return error = at(src, e.line, e.key) + "takes a string", "";
  }
  std::string arg = "--" + e.key + "=" + value;
  if (std::string why = parse({arg}, scratch); !why.empty() || !(why = settle_values(scratch)).empty()) {
    if (why.starts_with("--" + e.key + ": ")) why.erase(0, e.key.size() + 4);  // the key is named already
    return error = at(src, e.line, e.key) + why, "";
  }
  return arg;
}

// Why a key is no option in an asset, or at the top.
std::string unknown(const Source& src, const Entry& e, bool in_asset) {
  if (is_run_option(e.key))
    return at(src, e.line, e.key) + "is the whole run's: put it at the top, before the first [[asset]]";
  if (e.key == "input" || e.key == "name") return at(src, e.line, e.key) + "belongs in an [[asset]]";
  Settings scratch;
  CLI::App app;
  add_options(app, scratch);
  if (app.get_option_no_throw("--" + e.key)) return at(src, e.line, e.key) + "is for the command line, not a manifest";
  std::vector<std::string> known;
  for (const std::string& name : long_names(app))
    if (is_asset_option(name) || (!in_asset && is_run_option(name))) known.push_back(name);
  if (in_asset) known.insert(known.end(), {"input", "name"});
  const std::string best = nearest_name(e.key, known);
  return at(src, e.line, e.key) + "is not an option" + (best.empty() ? "" : ": did you mean '" + best + "'?");
}

// The files an asset's input names, in order.
std::string find_inputs(const Source& src, const Entry& input, std::vector<std::string>& files) {
  std::vector<const toml::node*> patterns;
  if (const toml::array* list = input.value->as_array())
    for (const toml::node& p : *list) patterns.push_back(&p);
  else
    patterns.push_back(input.value);
  if (patterns.empty()) return at(src, input.line, "input") + "lists no file";
  for (const toml::node* p : patterns) {
    if (!p->is_string()) return at(src, input.line, "input") + "takes a path or a glob, or a list of them";
    const std::string pattern = *p->value<std::string>();
    const std::string where = fs::path(pattern).is_absolute() || src.dir.empty()
                                  ? pattern
                                  : (fs::path(glob_literal(src.dir.string())) / pattern).string();
    std::vector<std::string> found = glob_files(where);
    if (found.empty()) return at(src, input.line, "input") + "no file matches '" + pattern + "'";
    files.insert(files.end(), found.begin(), found.end());
  }
  return "";
}

using Arguments = std::vector<std::pair<std::string, std::string>>;  // key, "--KEY=VALUE"

// One [[asset]] table, over the top's arguments.
std::string read_asset(const Source& src, const toml::table& table, Arguments args, ManifestAsset& asset) {
  const uint32_t line = table.source().begin.line;
  const std::vector<Entry> keys = entries(table);
  const Entry* input = nullptr;
  uint32_t name_line = line;
  for (const Entry& e : keys) {
    if (e.key == "input") {
      input = &e;
    } else if (e.key == "name") {
      if (!e.value->is_string()) return at(src, e.line, e.key) + "takes a string";
      asset.name = *e.value->value<std::string>(), name_line = e.line;
      if (asset.name.empty() || asset.name.find('/') != std::string::npos)
        return at(src, e.line, e.key) + "is the name of the asset's files, without a directory";
    } else {
      if (!is_asset_option(e.key)) return unknown(src, e, true);
      std::string error, arg = argument(src, e, error);
      if (!error.empty()) return error;
      std::erase_if(args, [&](const auto& a) { return a.first == e.key; });
      if (!arg.empty()) args.emplace_back(e.key, arg);
    }
  }
  if (!input) return at(src, line) + "an [[asset]] needs an input: a path or a glob, or a list of them";
  if (std::string error = find_inputs(src, *input, asset.inputs); !error.empty()) return error;
  if (!asset.name.empty() && asset.inputs.size() != 1)
    return at(src, name_line, "name") + "names one image, and the input gives " + std::to_string(asset.inputs.size());
  std::vector<std::string> argv;
  for (const auto& a : args) argv.push_back(a.second);
  if (std::string why = parse(argv, asset.settings); !why.empty()) return at(src, line) + why;
  if (std::string why = settle(asset.settings); !why.empty()) return at(src, line) + "[[asset]]: " + why;
  return "";
}

std::string read(const Source& src, Manifest& manifest) {
  std::string text;
  if (!read_file(src.path, text)) return src.path + ": cannot read the manifest";
  toml::table top;
  try {
    top = toml::parse(text, src.path);
  } catch (const toml::parse_error& e) {
    return at(src, e.source().begin.line) + std::string(e.description());
  }
  Arguments defaults;
  const toml::array* assets = nullptr;
  for (const Entry& e : entries(top)) {
    if (e.key == "asset") {
      if (!e.value->is_array_of_tables()) return at(src, e.line, e.key) + "lists the assets as tables: write [[asset]]";
      assets = e.value->as_array();
    } else {
      if (!is_asset_option(e.key) && !is_run_option(e.key)) return unknown(src, e, false);
      std::string error, arg = argument(src, e, error);
      if (!error.empty()) return error;
      if (!arg.empty()) defaults.emplace_back(e.key, arg);
    }
  }
  if (!assets || assets->empty()) return src.path + ": lists no asset: add an [[asset]] with an input";
  for (const toml::node& node : *assets) {
    ManifestAsset asset;
    if (std::string error = read_asset(src, *node.as_table(), defaults, asset); !error.empty()) return error;
    manifest.assets.push_back(std::move(asset));
  }
  return "";
}

}  // namespace

std::string read_manifest(const std::string& path, Manifest& manifest) {
  manifest = {};
  std::string error = read({path, fs::path(path).parent_path()}, manifest);
  if (!error.empty()) manifest = {};
  return error;
}

}  // namespace lz16
