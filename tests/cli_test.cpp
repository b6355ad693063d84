// End-to-end: the built lz16 as a process, fed and read through the shell.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "container.h"
#include "encoder.h"
#include "process.h"
#include "synth.h"

namespace lz16 {
namespace {

class Cli : public test::ProcessTest {
 protected:
  // Runs "prefix lz16 < in 2> err redirect" where in holds input and
  // redirect decides where standard output goes ("> out" by default).
  test::Proc run(const test::Bytes& input, const std::string& redirect = "", const std::string& prefix = "") {
    write_file("in", input);
    return run_cmd(std::string(LZ16_EXE) + " < " + path("in"), redirect, prefix);
  }
};

const std::string empty_report =
    "processing image.... \n"
    "pixel count : 0 pixels\n"
    "code segment: 0 byte\n"
    "data segment: 0 byte\n"
    "total size  : 18 byte\n"
    "comp. ratio : 0.0%\n"
    "done!\n";

TEST_F(Cli, FourPixels) {
  const test::Proc p = run(test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e"));
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(test::hex(p.out), "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 00 02 28 01 a3 08 a3 08");
  EXPECT_EQ(p.err,
            "processing image.... \n"
            "pixel count : 4 pixels\n"
            "code segment: 2 byte\n"
            "data segment: 4 byte\n"
            "total size  : 24 byte\n"
            "comp. ratio : 300.0%\n"
            "done!\n");
}

TEST_F(Cli, LargeImageMatchesTheExhaustiveSearch) {
  // Large enough to be encoded in parts on a machine with several cores.
  const test::Bytes rgb = synth::make_rgb24("gradient", 640, 480, 5);
  const std::vector<uint16_t> words = test::words_of(rgb);
  const test::Proc p = run(rgb);
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(p.out == container_file(encode_exhaustive(words.data(), static_cast<int32_t>(words.size()))));
}

TEST_F(Cli, NoWholePixelGivesTheEmptyImage) {
  for (size_t len : {0, 1, 2}) {
    SCOPED_TRACE(len);
    const test::Proc p = run(test::Bytes(len, 0xAB));
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(test::hex(p.out), "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 00 00");
    EXPECT_EQ(p.err, empty_report);
  }
}

TEST_F(Cli, TrailingBytesAreDropped) {
  const test::Proc p = run(test::hex("0a 14 1e ff ff"));
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out.size(), 20u);
  EXPECT_EQ(test::hex(test::Bytes(p.out.begin() + 16, p.out.end())), "00 00 a3 08");
  EXPECT_NE(p.err.find("pixel count : 1 pixels\n"), std::string::npos) << p.err;
}

TEST_F(Cli, TotalSizeCountsBytesWrittenOnPipesAndAppendedFiles) {
  const test::Bytes four = test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e");
  const test::Proc piped = run(four, "| cat > " + path("out"));
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out.size(), 24u);
  EXPECT_NE(piped.err.find("total size  : 24 byte\ncomp. ratio : 300.0%"), std::string::npos) << piped.err;

  std::ofstream(path("out")) << "already here";
  const test::Proc appended = run(four, ">> " + path("out"));
  EXPECT_EQ(appended.status, 0);
  EXPECT_EQ(appended.out.size(), 12u + 24u);
  EXPECT_NE(appended.err.find("total size  : 24 byte\n"), std::string::npos) << appended.err;
}

TEST_F(Cli, FailuresAreOneLineErrorsWithExitOne) {
  const test::Bytes four = test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e");
  struct Case {
    const char* what;
    test::Proc proc;
    const char* message;
  };
  const Case cases[] = {
      {"disk full", run(four, "> /dev/full"), "lz16: cannot write standard output: No space left on device"},
      {"output closed", run(four, ">&-"), "lz16: cannot write standard output: Bad file descriptor"},
      {"directory as input", run_cmd(std::string(LZ16_EXE) + " < /", ""),
       "lz16: cannot read standard input: Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.proc.status, 1);
    EXPECT_EQ(c.proc.err, std::string("processing image.... \n") + c.message + "\n");
    EXPECT_EQ(c.proc.err.find("done!"), std::string::npos);
  }
}

TEST_F(Cli, OutOfMemoryIsAnErrorWithNothingWritten) {
#if defined(LZ16_SANITIZED)
  GTEST_SKIP() << "sanitizers reserve more address space than the limit allows";
#else
  // 20 million pixels need about 100 MB; allow the process 64 MB.
  const test::Bytes big(3 * 20'000'000, 0x55);
  const test::Proc p = run(big, "", "ulimit -v 65536; ");
  EXPECT_EQ(p.status, 1);
  EXPECT_TRUE(p.out.empty());
  EXPECT_EQ(p.err, "processing image.... \nlz16: out of memory: the image does not fit in memory\n");
#endif
}

}  // namespace
}  // namespace lz16
