// lz16pack's run, from its command line to its exit status: the batch
// planned, its images packed (on as many threads as -j asks, where the
// build has threads), its lines, index and reports written. The same for
// every front end: the program, and the web page's WebAssembly.
#pragma once

#include <atomic>

#include "pack.h"

namespace lz16 {

// Runs lz16pack on argv (argv[0] its name) and returns its exit status.
// With terminal (standard error is one), a batch's progress is shown on a
// line of its own: "\r[K/N] INPUT\033[K" before input K is packed, cleared
// by "\r\033[K". run_state holds the run's temporary files, for a front end
// that removes them when stopped; progress is set while a progress line is
// on standard error.
int run_lz16pack(int argc, const char* const* argv, const char* version, bool terminal, PackRun& run_state,
                 std::atomic<bool>& progress);

}  // namespace lz16
