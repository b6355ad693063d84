// Container writer: header, length field, code segment, data segment.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "encoder.h"

namespace lz16 {

// The header and length field that stand before the code segment.
struct ContainerHead {
  std::array<uint8_t, header_size + length_field_long> bytes;
  int size;  // 18 or 20
};

// Builds the head for a code segment of code_len bytes (even, 0 <= code_len
// <= 2 * max_pixels).
ContainerHead container_head(int32_t code_len);

// The whole compressed image in memory: head, code segment, data segment,
// the segments whole or in pieces. May throw std::bad_alloc.
std::vector<uint8_t> container_file(const Segments& seg);
std::vector<uint8_t> container_file(const Pieces& code, const Pieces& data);

// Writes the whole compressed image to out, the segments given in pieces,
// and flushes it. Returns the number of bytes written, or -1 if a write
// failed (errno tells why).
int64_t write_container(std::FILE* out, const Pieces& code, const Pieces& data);

}  // namespace lz16
