#include <gtest/gtest.h>

#include "decoder.h"
#include "container.h"
#include "encoder.h"
#include "helpers.h"
#include "synth.h"

namespace lz16 {
namespace {

using test::Bytes;
using test::hex;

std::vector<uint16_t> round_trip(const std::vector<uint16_t>& words) {
  const Segments seg = encode(words.data(), static_cast<int32_t>(words.size()));
  const Bytes file = container_file(seg);
  DecodeResult r;
  std::vector<uint16_t> back = decode_to_vector(file.data(), file.size(), &r);
  EXPECT_EQ(r.error, DecodeError::none) << decode_error_text(r.error) << " at " << r.offset;
  EXPECT_EQ(r.code_len, seg.code_seg.size());
  EXPECT_EQ(r.data_len, seg.data_seg.size());
  return back;
}

TEST(Decode, RoundTripsGeneratedImages) {
  for (auto kind : synth::kinds)
    for (auto [width, height] : {std::pair{1, 1}, {3, 1}, {181, 181}, {256, 129}}) {
      SCOPED_TRACE(std::string(kind) + " " + std::to_string(width) + "x" + std::to_string(height));
      const auto words = test::words_of(synth::make_rgb24(kind, width, height, 11));
      EXPECT_TRUE(round_trip(words) == words);
    }
  // Bit 5 cannot come from pixels: a literal's copy of it is the switch bit,
  // so the decoded word has it clear.
  EXPECT_TRUE(round_trip({0x0120, 0x0220, 0x0120}) == (std::vector<uint16_t>{0x0100, 0x0200, 0x0100}));
}

struct Malformed {
  const char* what;
  std::string file;  // hex bytes; H stands for the 16-byte header
  DecodeError error;
  size_t offset;
};

TEST(Decode, ChecksEveryFieldAndNamesTheFirstProblemWithItsOffset) {
  // A valid file for "ABABABCDCDCDE": length 00 04, codes 48 02 48 02,
  // literals 00 01 20 02 00 03 20 04 20 05 (code at 18, data at 22).
  const Malformed cases[] = {
      {"empty image", "H 00 00", DecodeError::none, 0},
      {"empty file", "", DecodeError::short_header, 0},
      {"wrong magic", "63 6f 6d 70 72 65 73 73 20 4c 7a 00 00 00 00 00 00 00", DecodeError::bad_magic, 10},
      {"non-zero fill", "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 01 00 00", DecodeError::bad_fill, 15},
      {"valid", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 20 05", DecodeError::none, 0},
      {"length field cut", "H 00", DecodeError::short_header, 17},
      {"long field cut", "H 00 05 00", DecodeError::short_length_field, 19},
      {"long field for a short segment", "H 00 05 00 00 48 02 48 02 00 01 20 02 00 03 20 04 20 05",
       DecodeError::bad_length_field, 16},
      {"long field with bit 0 of byte 2", "H 00 01 03 00", DecodeError::bad_length_field, 18},
      {"code past the end", "H 00 40 48 02", DecodeError::code_past_end, 16},
      {"long code past the end", "H 00 01 02 00 48 02", DecodeError::code_past_end, 16},
      {"odd data", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 20 05 00", DecodeError::odd_data, 32},
      {"count 1", "H 00 04 18 02 48 02 00 01 20 02 00 03 20 04 20 05", DecodeError::bad_count, 18},
      {"distance 0", "H 00 04 48 00 48 02 00 01 20 02 00 03 20 04 20 05", DecodeError::bad_distance, 18},
      {"distance before the start", "H 00 04 48 03 48 02 00 01 20 02 00 03 20 04 20 05",
       DecodeError::distance_before_start, 18},
      {"last code without switch", "H 00 04 48 02 40 02 00 01 20 02 00 03 20 04 20 05",
       DecodeError::code_run_unended, 22},
      {"last literal without switch", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 00 05",
       DecodeError::missing_final_literal, 32},
      {"no final literal", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04", DecodeError::missing_final_literal, 30},
      {"code left over", "H 00 06 48 02 48 02 28 01 00 01 20 02 00 03 20 04", DecodeError::trailing_code, 22},
      {"data left over", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 20 05 00 06", DecodeError::trailing_data, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = c.file;
    if (text.rfind("H", 0) == 0) text.replace(0, 1, "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00");
    const Bytes file = test::hex(text);
    const DecodeResult r = decode(file.data(), file.size(), nullptr, 0);
    EXPECT_EQ(r.error, c.error) << decode_error_text(r.error);
    if (c.error != DecodeError::none) {
      EXPECT_EQ(r.offset, c.offset);
    }
  }
}

}  // namespace
}  // namespace lz16
