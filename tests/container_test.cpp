#include <gtest/gtest.h>

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

}  // namespace
}  // namespace lz16
