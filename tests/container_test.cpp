#include <gtest/gtest.h>

#include <cstdio>

#include "container.h"
#include "helpers.h"

namespace lz16 {
namespace {

using test::hex;

struct LengthCase {
  int32_t len;
  std::string field;
};

TEST(ContainerHead, LengthFieldShortAndLongForms) {
  const LengthCase cases[] = {
      {0, "00 00"},
      {2, "00 02"},
      {65534, "ff fe"},
      {65536, "00 01 02 00"},
      {65548, "00 0d 02 00"},
      {74564, "23 45 02 00"},
      {1048574, "ff ff 1e 00"},
      // From 2^20 up the long form carries bits 22..16 in byte 2 and 30..23
      // in byte 3; below it those bits are zero and the layout is unchanged.
      {1048576, "00 01 20 00"},
      {0x12345678, "56 79 68 24"},
      {0x40000000, "00 01 00 80"},
      {0x7FFFFFFE, "ff ff fe ff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.len);
    const ContainerHead head = container_head(c.len);
    const test::Bytes bytes(head.bytes.begin(), head.bytes.begin() + head.size);
    EXPECT_EQ(hex(bytes), "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 " + c.field);
  }
}

// What write_container writes for seg, its code segment given in pieces
// that end at the offsets in cuts.
test::Bytes written(const Segments& seg, const std::vector<size_t>& cuts, int64_t* total) {
  Pieces code;
  size_t from = 0;
  for (size_t to : cuts) {
    code.emplace_back(seg.code_seg.data() + from, seg.code_seg.data() + to);
    from = to;
  }
  code.emplace_back(seg.code_seg.data() + from, seg.code_seg.data() + seg.code_seg.size());
  std::FILE* out = std::tmpfile();
  *total = write_container(out, code, {std::span<const uint8_t>(seg.data_seg)});
  test::Bytes bytes(static_cast<size_t>(std::ftell(out)));
  std::rewind(out);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), out), bytes.size());
  std::fclose(out);
  return bytes;
}

TEST(WriteContainer, FlatImageNeedingTheLongForm) {
  const std::vector<uint16_t> flat(491600, pixel_word(10, 20, 30));
  const Segments seg = encode_exhaustive(flat.data(), 491600);
  ASSERT_EQ(seg.code_seg.size(), 65548u);
  // Whole, and in pieces as the encoder's parts leave it (one of them empty).
  for (const std::vector<size_t>& cuts : {std::vector<size_t>{}, {2, 2, 40000}}) {
    int64_t total = 0;
    const test::Bytes file = written(seg, cuts, &total);
    EXPECT_EQ(total, 65572);
    EXPECT_TRUE(file == container_file(seg)) << cuts.size() << " cuts";
    ASSERT_EQ(file.size(), 65572u);
    EXPECT_EQ(hex(test::Bytes(file.begin() + 16, file.begin() + 20)), "00 0d 02 00");
    EXPECT_EQ(hex(test::Bytes(file.end() - 4, file.end())), "a3 08 a3 08");
  }
}

}  // namespace
}  // namespace lz16
