// A manifest: one TOML file that lists a whole project's assets, each
// with its own options, for one run of lz16pack to make them all and one
// index of them.
//
//   format = "c"             # the top: defaults for every asset, and the
//   index = "assets.h"       # run's own options (output, index, report,
//                            # html, budget)
//   [[asset]]
//   input = "art/walker.png" # a path or a glob, or a list of them
//   frames = "32x32"         # any option of an asset, by its long name
//   name = "hero"            # for one image: the name it is given
//
// Paths are relative to the manifest's directory. A glob's files are taken
// in byte order of their paths; one that matches nothing is an error.
#pragma once

#include <string>
#include <vector>

#include "options.h"

namespace lz16 {

// A file an asset's input names, and whether a glob found it.
struct ManifestInput {
  std::string path;
  bool found_by_glob = false;
};

struct ManifestAsset {
  std::vector<ManifestInput> inputs;  // the files found, in order
  std::string name;                 // "" to name each after its file
  Settings settings;                // the top's options and then its own, settled
};

struct Manifest {
  std::vector<ManifestAsset> assets;  // at least one; each holds the run's options too
};

// Reads the manifest at path into manifest. "" or the one error that stops
// it, "PATH:LINE: key 'KEY': why" where there is a line and a key to name.
std::string read_manifest(const std::string& path, Manifest& manifest);

// The same for a manifest's text, as if read from path.
std::string read_manifest_text(std::string_view text, const std::string& path, Manifest& manifest);

}  // namespace lz16
