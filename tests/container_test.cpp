#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "container.h"
#include "helpers.h"

namespace lz16 {
namespace {

TEST(ContainerHead, LengthFieldShortAndLongForms) {
  const std::pair<int32_t, std::string> cases[] = {
      {0, "00 00"}, {2, "00 02"}, {65534, "ff fe"}, {65536, "00 01 02 00"}, {74564, "23 45 02 00"},
      {1048574, "ff ff 1e 00"},
      // From 2^20 up the long form carries bits 22..16 in byte 2 and 30..23
      // in byte 3; below it those bits are zero and the layout is unchanged.
      {1048576, "00 01 20 00"}, {0x12345678, "56 79 68 24"}, {0x7FFFFFFE, "ff ff fe ff"},
  };
  for (const auto& [len, field] : cases) {
    const ContainerHead head = container_head(len);
    EXPECT_EQ(test::hex(test::Bytes(head.bytes.begin(), head.bytes.begin() + head.size)),
              "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 " + field);
  }
}

TEST(WriteContainer, PiecesAreWrittenAsTheWholeFile) {
  const std::vector<uint16_t> flat(491600, pixel_word(10, 20, 30));
  const Segments seg = encode_exhaustive(flat.data(), 491600);
  ASSERT_EQ(seg.code_seg.size(), 65548u);  // needs the long form
  // The code segment whole, and cut as the encoder's parts leave it (one piece empty).
  for (const std::vector<size_t>& cuts : {std::vector<size_t>{0, 65548}, {0, 2, 2, 40000, 65548}}) {
    Pieces code;
    for (size_t k = 1; k < cuts.size(); ++k) code.emplace_back(seg.code_seg.data() + cuts[k - 1], cuts[k] - cuts[k - 1]);
    char* bytes = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&bytes, &size);
    EXPECT_EQ(write_container(out, code, {std::span<const uint8_t>(seg.data_seg)}), 65572);
    std::fclose(out);
    EXPECT_TRUE(test::Bytes(bytes, bytes + size) == container_file(seg)) << cuts.size() << " cuts";
    std::free(bytes);
  }
}

}  // namespace
}  // namespace lz16
