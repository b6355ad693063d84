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

TEST(RunConverter, FourPixelsGiveTheWholeFileAndReport) {
  const Result run = convert(test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(test::hex(run.out), "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 00 02 28 01 a3 08 a3 08");
  EXPECT_EQ(run.err,
            "processing image.... \n"
            "pixel count : 4 pixels\n"
            "code segment: 2 byte\n"
            "data segment: 4 byte\n"
            "total size  : 24 byte\n"
            "comp. ratio : 300.0%\n"
            "done!\n");
}

TEST(RunConverter, RatioHasOneDecimal) {
  // 1000 noise-free gradient pixels: 18 + L + D bytes against 2000.
  test::Bytes input;
  for (int k = 0; k < 1000; ++k) input.insert(input.end(), {uint8_t(k * 8), uint8_t(k), 0});
  const Result run = convert(input);
  char line[64];
  std::snprintf(line, sizeof line, "comp. ratio : %.1f%%", run.out.size() * 100.0 / 2000);
  EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
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
