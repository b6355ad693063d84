// lz16pack's options, defined once: for its command line, and for each
// asset of a manifest, whose keys are the same options' long names. What
// they say is first taken as text, as given, then settled into the
// options packing takes, with every check on how they go together.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "report.h"

namespace lz16 {

struct Settings {
  std::vector<std::string> inputs;
  RunOptions run;  // settle() fills in what the text below says
  std::string format = "lz", background = "000000", key, frames, fit, resize, filter = "smooth", flip, budget;
  std::string json, page;  // report paths
  std::string manifest;
  bool quiet = false, index_only = false, list = false;
  int jobs = 1;
};

// Adds every option to app, each writing into s.
void add_options(CLI::App& app, Settings& s);

// The options a manifest may hold: those of an asset, and those of the
// run, which only its top may hold.
bool is_asset_option(std::string_view name);
bool is_run_option(std::string_view name);

// Reads the options given as text (colours, sizes, byte counts) into
// s.run.pack and s.run.budget, each on its own. "" or the usage error.
std::string settle_values(Settings& s);

// settle_values(), then the checks of how the options go together. "" or
// the usage error.
std::string settle(Settings& s);

// Of names, the one nearest to name if one is close (a slip of a few
// characters); "" if none is.
std::string nearest_name(std::string_view name, const std::vector<std::string>& names);

// The long names of app's options.
std::vector<std::string> long_names(const CLI::App& app);

}  // namespace lz16
