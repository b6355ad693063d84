// lz16: raw 24-bit RGB on standard input to a compressed 16-bit image on
// standard output. Takes no options.
#include <cstdio>

#include "binary_stdio.h"
#include "converter.h"

int main(int, char**) {
  use_binary_stdio();
  return lz16::run_converter(stdin, stdout, stderr);
}
