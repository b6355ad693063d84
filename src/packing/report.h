// The batch report: a line for each input and one for the batch, a JSON
// report, an HTML contact sheet, and the byte budget, all from what packing
// each input returned. The one figure of its own, the batch's totals, is
// added up once, in batch_totals. Everything is a function of its
// arguments alone: no time, user or path the user did not give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "batch.h"

namespace lz16 {

struct BatchTotals {
  size_t images = 0, failed = 0;   // inputs written, and failed
  uint64_t bytes = 0, pixels = 0;  // of the images written, every frame's pixels
  std::optional<size_t> worst;     // the written input with the lowest PSNR, of those that lost colour
};

BatchTotals batch_totals(std::span<const PackedInput> inputs);

// text as one line for a terminal: each control character (a file name may
// hold a newline) as \n, \t or \xNN.
std::string one_line(std::string_view text);

// "PATH: WxH[, N frames, S stored], B bytes, R%[, PSNR P dB][, M moved off
// the key], verified" for an input that was written.
std::string report_line(const PackedInput& input);

// "total: N images, B bytes, R%[, worst PSNR P dB (PATH)][, F failed]".
std::string total_line(std::span<const PackedInput> inputs, const BatchTotals& totals);

// "" within the budget (or without one), else why not, in one line.
std::string budget_line(const BatchTotals& totals, const RunOptions& options);

// {"options": {...}, "assets": [...], "total": {...}}: an object for each
// input in input order, {"input", "error"} for one that failed. An asset
// whose options differ from the run's has "options" of its own.
std::string report_json(std::span<const PackedInput> inputs, const BatchTotals& totals, const RunOptions& options);

// One self-contained page: the totals and options, the assets by size, the
// failed inputs with their errors, and each asset's source and picture on
// the device side by side, with its figures. The inputs must have been
// packed with page_pictures.
std::string report_html(std::span<const PackedInput> inputs, const BatchTotals& totals, const RunOptions& options);

}  // namespace lz16
