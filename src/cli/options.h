// lz16pack's options, defined once (with CLI11, which only this module
// sees): for its command line, and for each asset of a manifest, whose keys
// are the same options' long names. What
// they say is first taken as text, as given, then settled into the
// options packing takes, with every check on how they go together.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "batch.h"

namespace lz16 {

struct Settings {
  std::vector<std::string> inputs;
  RunOptions run;  // settle() fills in what the text below says
  std::string format = "lz", background = "000000", key, frames, fit, fill, resize, filter = "smooth", flip, budget;
  std::string anchor = "centre";
  bool enlarge = false;
  std::string json, page;  // report paths
  std::string manifest;
  bool quiet = false, index_only = false, list = false;
  bool output_given = false;  // -o was on the command line
  int jobs = 1;
};

// A byte count: digits, then K (1024) or M (1024 * 1024) in either case,
// and B, or none of them: "65536", "64K", "64KB", "1m". Empty if it is not
// one, or passes 2^53.
std::optional<uint64_t> parse_bytes(std::string_view text);

// Reads lz16pack's command line into s (version is what --version prints).
// Returns -1 to go on, or the status to exit with once --help, --version
// or a usage error has been printed.
int read_command_line(int argc, const char* const* argv, const char* version, Settings& s);

// Prints "lz16pack: MESSAGE (try 'lz16pack --help')" and returns 2.
int usage_error(const std::string& message);

// Reads arguments as the command line gives them ("--KEY=VALUE" each) into
// s. "" or why not.
std::string parse_arguments(std::vector<std::string> args, Settings& s);

// Whether name is the long name of one of lz16pack's options, and whether
// that option is a flag, which takes no value.
bool is_option(std::string_view name);
bool is_flag(std::string_view name);

// The options a manifest may hold: those of an asset, and those of the
// run, which only its top may hold.
std::span<const char* const> asset_options();
std::span<const char* const> run_options();
bool is_asset_option(std::string_view name);
bool is_run_option(std::string_view name);

// Reads the options given as text (colours, sizes, byte counts) into
// s.run.pack and s.run.budget, each on its own; flags and numbers are in
// s.run.pack from the parse already. "" or the usage error.
std::string settle_values(Settings& s);

// settle_values(), then the checks of how the options go together. "" or
// the usage error.
std::string settle(Settings& s);

// Of names, the one nearest to name if one is close (a slip of a few
// characters); "" if none is.
std::string nearest_name(std::string_view name, const std::vector<std::string>& names);

}  // namespace lz16
