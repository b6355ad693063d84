// A batch: the inputs of one run of lz16pack, each with its options and
// what packing it gave, and the options of the run as a whole.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "pack.h"

namespace lz16 {

// One input of a batch, its options and what packing it gave.
struct PackedInput {
  std::string path;  // as given
  std::string stem;
  PackResult result;
  PackOptions options;  // a manifest gives each asset its own
};

// The run's own options, beside the defaults its assets are packed with.
struct RunOptions {
  PackOptions pack;
  std::string index;              // "" for none
  std::optional<uint64_t> budget; // bytes
};

}  // namespace lz16
