// Threads, where the build has them. A build without (WebAssembly with no
// shared memory, where creating a thread aborts) says so, and everything
// runs on the calling thread.
#pragma once

#include <thread>
#include <vector>

namespace lz16 {

#ifdef LZ16_NO_THREADS
inline constexpr bool threads_available = false;
#else
inline constexpr bool threads_available = true;
#endif

// Threads joined however the scope that holds them is left.
struct JoinedThreads {
  std::vector<std::thread> threads;
  JoinedThreads() = default;
  JoinedThreads(const JoinedThreads&) = delete;
  JoinedThreads& operator=(const JoinedThreads&) = delete;
  ~JoinedThreads() { join(); }
  void join() {
    for (std::thread& t : threads)
      if (t.joinable()) t.join();
  }
};

}  // namespace lz16
