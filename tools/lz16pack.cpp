// lz16pack: image files in, device-ready lz16 assets out, a batch at a time.
// The run is the library's; this program adds what only a process on a
// terminal has: its signals.
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "driver.h"
#include "files.h"

namespace {

// From here on SIGINT, SIGTERM and SIGHUP are taken by a thread of their
// own, which removes the run's temporary files, says so and ends the
// process with 128 + the signal's number. Call before any other thread
// starts, so that every thread leaves these signals to it.
void stop_on_signals(lz16::PackRun& run, const std::atomic<bool>& progress) {
  static sigset_t signals;
  sigemptyset(&signals);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&signals, s);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::thread([&run, &progress] {
    int s = 0;
    while (sigwait(&signals, &s) != 0) {
    }
    lz16::remove_temp_files(run.temps);
    std::fprintf(stderr, "%slz16pack: interrupted (%s); no temporary file is left\n", progress ? "\r\033[K" : "",
                 s == SIGINT ? "SIGINT" : s == SIGTERM ? "SIGTERM" : "SIGHUP");
    std::_Exit(128 + s);
  }).detach();
}

}  // namespace

int main(int argc, char** argv) {
  static lz16::PackRun pack_run;  // static, like the signal thread that may use it until the very end
  static std::atomic<bool> progress = false;
  // A reader of standard error or output that goes away (| head) ends no
  // run half-way: its lines are lost, its files written whole.
  std::signal(SIGPIPE, SIG_IGN);
  stop_on_signals(pack_run, progress);
  return lz16::run_lz16pack(argc, argv, LZ16_VERSION, isatty(STDERR_FILENO), pack_run, progress);
}
