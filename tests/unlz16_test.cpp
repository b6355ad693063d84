// End-to-end: the built unlz16 as a process.
#include <gtest/gtest.h>

#include <string>

#include "container.h"
#include "encoder.h"
#include "helpers.h"
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

TEST_F(Unlz16, OutputFormats) {
  // rgb24 widens each channel so that converting it again gives the same file.
  const test::Proc again = run_cmd(std::string(UNLZ16_EXE) + " " + path("a.lz") + " | " + LZ16_EXE);
  EXPECT_EQ(std::string(again.out.begin(), again.out.end()), read_file(path("a.lz")));
  const test::Proc rgb16 = unlz16("--format rgb16 " + path("a.lz"));
  ASSERT_EQ(rgb16.out.size(), 2 * words_.size()) << rgb16.err;
  for (size_t k = 0; k < words_.size(); ++k) ASSERT_EQ(rgb16.out[2 * k] | rgb16.out[2 * k + 1] << 8, words_[k]) << k;

  const test::Proc ppm = unlz16("--format=ppm --width 24 " + path("a.lz"));
  ASSERT_EQ(ppm.out.size(), 13 + 3 * words_.size()) << ppm.err;
  EXPECT_EQ(std::string(ppm.out.begin(), ppm.out.begin() + 13), "P6\n24 16\n255\n");

  // PNG's IHDR holds width then height, big-endian, at bytes 16..23.
  const test::Proc png = unlz16("--format png --width=48 " + path("a.lz"));
  ASSERT_GT(png.out.size(), 24u) << png.err;
  EXPECT_EQ(test::hex(test::Bytes(png.out.begin() + 12, png.out.begin() + 24)), "49 48 44 52 00 00 00 30 00 00 00 08");

  const test::Proc check = unlz16("--test " + path("a.lz"));
  EXPECT_TRUE(check.out.empty());
  EXPECT_EQ(check.err.rfind(path("a.lz") + ": ok, 384 pixels, code segment ", 0), 0u) << check.err;
  for (const test::Proc& p : {again, rgb16, ppm, png, check}) EXPECT_EQ(p.status, 0);

  // A mask: clear, level 16, opaque, in grey from black to white.
  write_file("m.lz", test::hex("a5 03 03 00 10 1f"));
  const test::Proc mask = unlz16(path("m.lz")), mask_check = unlz16("--test " + path("m.lz"));
  EXPECT_EQ(test::hex(test::Bytes(mask.out.begin(), mask.out.end())), "00 00 00 84 84 84 ff ff ff") << mask.err;
  EXPECT_EQ(mask_check.err, path("m.lz") + ": ok, a mask of 3 pixels, 2 of them shown\n");
}

TEST_F(Unlz16, FailuresAreOneLine) {
  test::Bytes bad = container_file(encode(words_.data(), static_cast<int32_t>(words_.size())));
  bad.pop_back();  // the data segment becomes odd
  write_file("bad.lz", bad);
  write_file("c.lz", container_file(encode(words_.data(), static_cast<int32_t>(words_.size()))));
  write_file("c.alpha.lz", {});  // beside it: c.lz is a colour plane
  write_file("m.lz", test::hex("a5 03 03 00 10 1f")), write_file("cut.lz", test::hex("a5 03 03 00"));
  const struct {
    std::string args, redirect;
    int status;
    std::string err_start;
  } cases[] = {
      {"--test " + path("bad.lz"), "", 1, "unlz16: " + path("bad.lz") + ": data segment has an odd number of bytes at byte "},
      {path("missing.lz"), "", 1, "unlz16: " + path("missing.lz") + ": No such file or directory"},
      {"--format ppm --width 5 " + path("a.lz"), "", 1, "unlz16: " + path("a.lz") + ": 384 pixels are not a whole number of rows of 5"},
      {"--format png --width 5 " + path("c.lz"), "", 1,
       "unlz16: " + path("c.lz") + ": 384 pixels are not a whole number of rows of 5: it is the colour plane of an "
       "image with alpha, which holds only the pixels that show; view the pair with unlz16 --alpha " +
       path("c.alpha.lz") + " --format png --width 5 " + path("c.lz") + "\n"},
      {path("a.lz"), "> /dev/full", 1, "unlz16: standard output: cannot write: No space left on device"},
      {"--frobnicate", "", 2, "unlz16: unknown option '--frobnicate'"},
      {"--alpha " + path("a.lz") + " --format png --width 1 " + path("m.lz"), "", 1,
       "unlz16: " + path("m.lz") + ": a mask is the alpha alone: it takes no --alpha"},
      {path("cut.lz"), "", 1, "unlz16: " + path("cut.lz") + ": the mask ends after 1 pixels"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const test::Proc p = unlz16(c.args, c.redirect);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.err.rfind(c.err_start, 0), 0u) << p.err;
    EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << "one line: " << p.err;
  }
}

}  // namespace
}  // namespace lz16
