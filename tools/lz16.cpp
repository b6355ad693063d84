// lz16: raw 24-bit RGB on standard input to a compressed 16-bit image on
// standard output. Takes no options.
#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "converter.h"

int main(int, char**) {
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
#else
  // A reader that goes away is a failed write, reported like any other.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  return lz16::run_converter(stdin, stdout, stderr);
}
