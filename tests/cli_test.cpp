// End-to-end: the built lz16 as a process, fed and read through the shell.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "helpers.h"

namespace lz16 {
namespace {

struct Proc {
  int status;
  test::Bytes out;
  std::string err;
};

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lz16-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  std::string path(const char* name) const { return dir_ + "/" + name; }

  static std::string read_file(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
  }

  // Runs "prefix lz16 < in 2> err redirect" where in holds input and
  // redirect decides where standard output goes ("> out" by default).
  Proc run(const test::Bytes& input, const std::string& redirect = "", const std::string& prefix = "") {
    std::ofstream(path("in"), std::ios::binary).write(reinterpret_cast<const char*>(input.data()),
                                                      static_cast<std::streamsize>(input.size()));
    return run_cmd(std::string(LZ16_EXE) + " < " + path("in"), redirect, prefix);
  }

  Proc run_cmd(const std::string& cmd, const std::string& redirect, const std::string& prefix = "") {
    const std::string out_to = redirect.empty() ? "> " + path("out") : redirect;
    const std::string line = prefix + cmd + " 2> " + path("err") + " " + out_to;
    const int raw = std::system(("sh -c '" + line + "'").c_str());
    Proc p;
    p.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    const std::string out = read_file(path("out"));
    p.out.assign(out.begin(), out.end());
    p.err = read_file(path("err"));
    return p;
  }

  std::string dir_;
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
  const Proc p = run(test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e"));
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(test::hex(p.out), "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 00 02 28 01 a3 08 a3 08");
  EXPECT_NE(p.err.find("total size  : 24 byte\ncomp. ratio : 300.0%\ndone!\n"), std::string::npos) << p.err;
}

TEST_F(Cli, NoWholePixelGivesTheEmptyImage) {
  for (size_t len : {0, 1, 2}) {
    SCOPED_TRACE(len);
    const Proc p = run(test::Bytes(len, 0xAB));
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(test::hex(p.out), "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00 00 00");
    EXPECT_EQ(p.err, empty_report);
  }
}

TEST_F(Cli, TrailingBytesAreDropped) {
  const Proc p = run(test::hex("0a 14 1e ff ff"));
  EXPECT_EQ(p.status, 0);
  EXPECT_EQ(p.out.size(), 20u);
  EXPECT_EQ(test::hex(test::Bytes(p.out.begin() + 16, p.out.end())), "00 00 a3 08");
  EXPECT_NE(p.err.find("pixel count : 1 pixels\n"), std::string::npos) << p.err;
}

TEST_F(Cli, TotalSizeCountsBytesWrittenOnPipesAndAppendedFiles) {
  const test::Bytes four = test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e");
  const Proc piped = run(four, "| cat > " + path("out"));
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out.size(), 24u);
  EXPECT_NE(piped.err.find("total size  : 24 byte\ncomp. ratio : 300.0%"), std::string::npos) << piped.err;

  std::ofstream(path("out")) << "already here";
  const Proc appended = run(four, ">> " + path("out"));
  EXPECT_EQ(appended.status, 0);
  EXPECT_EQ(appended.out.size(), 12u + 24u);
  EXPECT_NE(appended.err.find("total size  : 24 byte\n"), std::string::npos) << appended.err;
}

TEST_F(Cli, FailuresAreOneLineErrorsWithExitOne) {
  const test::Bytes four = test::hex("0a 14 1e 0a 14 1e 0a 14 1e 0a 14 1e");
  struct Case {
    const char* what;
    Proc proc;
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
  const Proc p = run(big, "", "ulimit -v 65536; ");
  EXPECT_EQ(p.status, 1);
  EXPECT_TRUE(p.out.empty());
  EXPECT_EQ(p.err, "processing image.... \nlz16: out of memory: the image does not fit in memory\n");
#endif
}

}  // namespace
}  // namespace lz16
