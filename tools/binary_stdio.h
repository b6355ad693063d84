// Standard streams for programs that move raw bytes: no text-mode
// translation where the platform has one, and a reader that goes away is a
// failed write, reported like any other, rather than a silent death.
#pragma once

#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

inline void use_binary_stdio() {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#else
  std::signal(SIGPIPE, SIG_IGN);
#endif
}
