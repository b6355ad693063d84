// End-to-end: the built unlz16 as a process.
#include <gtest/gtest.h>

#include <string>

#include "container.h"
#include "encoder.h"
#include "process.h"
#include "synth.h"

namespace lz16 {
namespace {

class Unlz16 : public test::ProcessTest {
 protected:
  // A compressed 24x16 tile image in "a.lz", and its words.
  void SetUp() override {
    ProcessTest::SetUp();
    words_ = test::words_of(synth::make_rgb24("tiles", 24, 16, 4));
    write_file("a.lz", container_file(encode(words_.data(), static_cast<int32_t>(words_.size()))));
  }

  test::Proc unlz16(const std::string& args, const std::string& redirect = "") {
    return run_cmd(std::string(UNLZ16_EXE) + " " + args, redirect);
  }

  std::vector<uint16_t> words_;
};

TEST_F(Unlz16, DecodedRgbConvertsBackToTheSameFile) {
  const std::string lz16 = LZ16_EXE;
  for (const char* kind : {"gradient", "noise", "tiles", "stripes"}) {
    SCOPED_TRACE(kind);
    const std::string make = std::string(MKIMAGE_EXE) + " " + kind + " 300 200 > " + path("in.rgb");
    const test::Proc made = run_cmd(make + " && " + lz16 + " < " + path("in.rgb"), "> " + path("a.lz"));
    ASSERT_EQ(made.status, 0) << made.err;
    const test::Proc again = run_cmd(std::string(UNLZ16_EXE) + " < " + path("a.lz") + " | " + lz16, "> " + path("b.lz"));
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(read_file(path("a.lz")), read_file(path("b.lz")));
  }
}

TEST_F(Unlz16, Rgb16GivesTheWordsLowByteFirst) {
  const test::Proc p = unlz16("--format rgb16 " + path("a.lz"));
  EXPECT_EQ(p.status, 0) << p.err;
  ASSERT_EQ(p.out.size(), 2 * words_.size());
  for (size_t k = 0; k < words_.size(); ++k) ASSERT_EQ(p.out[2 * k] | p.out[2 * k + 1] << 8, words_[k]) << k;
}

TEST_F(Unlz16, PpmAndPngCarryTheWidthAndHeight) {
  const test::Proc ppm = unlz16("--format=ppm --width 24 " + path("a.lz"));
  EXPECT_EQ(ppm.status, 0) << ppm.err;
  const std::string head = "P6\n24 16\n255\n";
  ASSERT_EQ(ppm.out.size(), head.size() + 3 * words_.size());
  EXPECT_EQ(std::string(ppm.out.begin(), ppm.out.begin() + static_cast<long>(head.size())), head);

  const test::Proc png = unlz16("--format png --width=48 " + path("a.lz"));
  EXPECT_EQ(png.status, 0) << png.err;
  ASSERT_GT(png.out.size(), 24u);
  EXPECT_EQ(test::hex(test::Bytes(png.out.begin(), png.out.begin() + 8)), "89 50 4e 47 0d 0a 1a 0a");
  // IHDR: width then height, big-endian, at bytes 16..23.
  EXPECT_EQ(test::hex(test::Bytes(png.out.begin() + 16, png.out.begin() + 24)), "00 00 00 30 00 00 00 08");
}

TEST_F(Unlz16, TestReportsTheFileAndWritesNoPixels) {
  const test::Proc p = unlz16("--test " + path("a.lz"));
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(p.out.empty());
  EXPECT_EQ(p.err.rfind(path("a.lz") + ": ok, 384 pixels, code segment ", 0), 0u) << p.err;
}

TEST_F(Unlz16, FailuresAreOneLine) {
  test::Bytes bad = container_file(encode(words_.data(), static_cast<int32_t>(words_.size())));
  bad.pop_back();  // the data segment becomes odd
  write_file("bad.lz", bad);
  struct Case {
    std::string args, redirect;
    int status;
    std::string err_start;
  };
  const Case cases[] = {
      {"--test " + path("bad.lz"), "", 1, "unlz16: " + path("bad.lz") + ": data segment has an odd number of bytes at byte "},
      {path("missing.lz"), "", 1, "unlz16: " + path("missing.lz") + ": No such file or directory"},
      {"--format ppm --width 5 " + path("a.lz"), "", 1, "unlz16: " + path("a.lz") + ": 384 pixels are not a whole number of rows of 5"},
      {path("a.lz"), "> /dev/full", 1, "unlz16: standard output: cannot write: No space left on device"},
      {"--frobnicate", "", 2, "unlz16: unknown option '--frobnicate'"},
      {"--format jpeg", "", 2, "unlz16: unknown format 'jpeg'"},
      {"--format", "", 2, "unlz16: --format needs a value"},
      {"--format png", "", 2, "unlz16: --format png needs --width"},
      {"--width 0 --format ppm", "", 2, "unlz16: bad width '0'"},
      {"--width 12x --format ppm", "", 2, "unlz16: bad width '12x'"},
      {"a.lz b.lz", "", 2, "unlz16: more than one input file"},
      {"--test=yes", "", 2, "unlz16: unknown option '--test=yes'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const test::Proc p = unlz16(c.args, c.redirect);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.err.rfind(c.err_start, 0), 0u) << p.err;
    EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << "one line: " << p.err;
  }
}

TEST_F(Unlz16, HelpAndVersion) {
  const test::Proc help = unlz16("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(std::string(help.out.begin(), help.out.end()).rfind("usage: unlz16", 0), 0u);
  const test::Proc version = unlz16("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(std::string(version.out.begin(), version.out.end()), "unlz16 1.0.0\n");
}

}  // namespace
}  // namespace lz16
