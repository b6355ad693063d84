// The converter in-process, where the pixel limit can be set low.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "converter.h"
#include "helpers.h"

namespace lz16 {
namespace {

struct Result {
  int status;
  test::Bytes out;
  std::string err;
};

test::Bytes slurp(std::FILE* f) {
  test::Bytes bytes(static_cast<size_t>(std::ftell(f)));
  std::rewind(f);
  EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), f), bytes.size());
  std::fclose(f);
  return bytes;
}

Result convert(const test::Bytes& input, int64_t pixel_limit = max_pixels) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (!input.empty()) std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  Result run;
  run.status = run_converter(in, out, err, pixel_limit);
  std::fclose(in);
  run.out = slurp(out);
  const test::Bytes e = slurp(err);
  run.err.assign(e.begin(), e.end());
  return run;
}

TEST(RunConverter, PixelLimitRefusesBeforeWritingAnything) {
  const Result at_limit = convert(test::Bytes(3 * 8, 1), 8);
  EXPECT_EQ(at_limit.status, 0);
  const Result over = convert(test::Bytes(3 * 9, 1), 8);
  EXPECT_EQ(over.status, 1);
  EXPECT_TRUE(over.out.empty());
  EXPECT_EQ(over.err, "processing image.... \nlz16: input too large: more than 8 pixels\n");
}

}  // namespace
}  // namespace lz16
