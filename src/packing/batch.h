// A batch: the inputs of one run of lz16pack and the options of the run as
// a whole, planned and checked before anything is written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "pack.h"

namespace lz16 {

// The run's own options, beside the defaults its assets are packed with.
struct RunOptions {
  PackOptions pack;
  std::string index;              // "" for none
  std::optional<uint64_t> budget; // bytes
};

// A file of the run's own beside the assets': a report, by the option
// that names it ("--report") and its path as given ("" for none).
struct RunFile {
  std::string option, path;
};

// Plans the batch, before anything is written:
//  - an input that a manifest's glob found (found_by_glob) and that is one
//    of the run's own outputs (a preview of an earlier run) is dropped;
//  - with read_content, each input's frames are counted from its content,
//    standard input and other files that are not regular being read now,
//    once, and held; the frames must tile each image that is cut (each
//    input they do not tile is named);
//  - every file the run may write has a name that a directory can hold, no
//    two of them lie at one path, and none is an input or the manifest;
//  - the C it writes compiles together: no two assets share an ID or a
//    name, and no name is one C cannot define.
// "" or the usage error, in one line naming what clashes.
std::string plan_batch(std::vector<PackedInput>& inputs, const RunOptions& run, const std::vector<RunFile>& reports,
                       const std::string& manifest, bool read_content);

}  // namespace lz16
