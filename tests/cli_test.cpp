// The converter end to end: the built lz16 as a process, fed and read
// through the shell, and in-process where the pixel limit can be set low.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "container.h"
#include "converter.h"
#include "encoder.h"
#include "helpers.h"
#include "synth.h"

namespace lz16 {
namespace {

const test::Bytes four = test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e");
const std::string header = "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00";

std::string report(int npix, int code, int data, int total, const char* ratio) {
  char text[256];
  std::snprintf(text, sizeof text, "processing image.... \npixel count : %d pixels\ncode segment: %d byte\n"
                "data segment: %d byte\ntotal size  : %d byte\ncomp. ratio : %s%%\ndone!\n", npix, code, data, total, ratio);
  return text;
}

class Cli : public test::ProcessTest {
 protected:
  // Runs "prefix lz16 < in 2> err redirect"; standard output goes to "out" by default.
  test::Proc run(const test::Bytes& input, const std::string& redirect = "", const std::string& prefix = "") {
    write_file("in", input);
    return run_cmd(std::string(LZ16_EXE) + " < " + path("in"), redirect, prefix);
  }
};

TEST_F(Cli, SmallInputsGiveTheirFilesAndReports) {
  struct Case {
    test::Bytes input;
    std::string file, err;
  };
  const Case cases[] = {
      {four, header + " 00 02 28 01 a3 08 a3 08", report(4, 2, 4, 24, "300.0")},
      {test::hex("0a 14 1e ff ff"), header + " 00 00 a3 08", report(1, 0, 2, 20, "1000.0")},  // trailing bytes dropped
      {{}, header + " 00 00", report(0, 0, 0, 18, "0.0")},  // no whole pixel: the empty image
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const test::Proc p = run(c.input);
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(test::hex(p.out), c.file);
    EXPECT_EQ(p.err, c.err);
  }
}

TEST_F(Cli, LargeImageMatchesTheExhaustiveSearch) {
  // Large enough to be encoded in parts on a machine with several cores.
  const test::Bytes rgb = synth::make_rgb24("gradient", 640, 480, 5);
  const std::vector<uint16_t> words = test::words_of(rgb);
  const test::Proc p = run(rgb);
  EXPECT_EQ(p.status, 0);
  EXPECT_TRUE(p.out == container_file(encode_exhaustive(words.data(), static_cast<int32_t>(words.size()))));
}

TEST_F(Cli, TotalSizeCountsBytesWrittenOnPipesAndAppendedFiles) {
  std::ofstream(path("out")) << "already here";
  const test::Proc appended = run(four, ">> " + path("out"));
  EXPECT_EQ(appended.out.size(), 12u + 24u);
  EXPECT_EQ(appended.err, report(4, 2, 4, 24, "300.0"));
  const test::Proc piped = run(four, "| cat > " + path("out"));
  EXPECT_EQ(piped.out.size(), 24u);
  EXPECT_EQ(piped.err, report(4, 2, 4, 24, "300.0"));
}

TEST_F(Cli, FailuresAreOneLineErrorsWithExitOne) {
  struct Case {
    test::Proc proc;
    const char* message;
  };
  const Case cases[] = {
      {run(four, "> /dev/full"), "lz16: cannot write standard output: No space left on device"},
      {run(four, ">&-"), "lz16: cannot write standard output: Bad file descriptor"},
      {run_cmd(std::string(LZ16_EXE) + " < /", ""), "lz16: cannot read standard input: Is a directory"},
#if !defined(LZ16_SANITIZED)  // sanitizers reserve more address space than the limit allows
      // 20 million pixels need about 100 MB; the process gets 64 MB.
      {run(test::Bytes(3 * 20'000'000, 0x55), "", "ulimit -v 65536; "),
       "lz16: out of memory: the image does not fit in memory"},
#endif
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(c.proc.status, 1);
    EXPECT_EQ(c.proc.err, std::string("processing image.... \n") + c.message + "\n");
  }
}

TEST(RunConverter, PixelLimitRefusesBeforeWritingAnything) {
  char nine[27] = {}, *out = nullptr, *err = nullptr;
  size_t out_len = 0, err_len = 0;
  std::FILE* in = fmemopen(nine, sizeof nine, "r");
  std::FILE* out_f = open_memstream(&out, &out_len);
  std::FILE* err_f = open_memstream(&err, &err_len);
  EXPECT_EQ(run_converter(in, out_f, err_f, 8), 1);
  std::fclose(in), std::fclose(out_f), std::fclose(err_f);
  EXPECT_EQ(out_len, 0u);
  EXPECT_STREQ(err, "processing image.... \nlz16: input too large: more than 8 pixels\n");
  std::free(out), std::free(err);
}

}  // namespace
}  // namespace lz16
