// Small helpers shared by the test files.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <ranges>
#include <sstream>
#include <string>
#include <vector>

#include "pixels.h"

namespace lz16::test {

using Bytes = std::vector<uint8_t>;

// "28 01 a3" -> {0x28, 0x01, 0xa3}
inline Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

// {0x28, 0x01} -> "28 01", for readable failure messages.
template <typename Range>
  requires std::same_as<std::ranges::range_value_t<Range>, uint8_t>
std::string hex(const Range& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) out += (std::snprintf(buf, sizeof buf, "%s%02x", out.empty() ? "" : " ", b), buf);
  return out;
}

inline std::vector<uint16_t> words_of(const Bytes& rgb) {
  std::vector<uint16_t> words(rgb.size() / 3);
  convert_rgb24(rgb.data(), words.size(), words.data());
  return words;
}

// Words for a pattern of letters: 'A' -> 0x0100 (literal "00 01"), 'B' -> 0x0200, ...
inline std::vector<uint16_t> words_of(const std::string& letters) {
  std::vector<uint16_t> words;
  for (char c : letters) words.push_back(static_cast<uint16_t>((c - 'A' + 1) << 8));
  return words;
}

}  // namespace lz16::test
