// Runs the built programs as processes through the shell, in a scratch
// folder of their own, and collects status, standard output and error.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "helpers.h"

namespace lz16::test {

struct Proc {
  int status;
  Bytes out;
  std::string err;
};

class ProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lz16-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }

  std::string path(const char* name) const { return dir_ + "/" + name; }

  void write_file(const char* name, const Bytes& bytes) const {
    std::ofstream(path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  static std::string read_file(const std::string& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), {}};
  }

  // Runs "prefix cmd 2> err redirect"; redirect defaults to "> out".
  Proc run_cmd(const std::string& cmd, const std::string& redirect = "", const std::string& prefix = "") {
    const std::string line = prefix + cmd + " 2> " + path("err") + " " + (redirect.empty() ? "> " + path("out") : redirect);
    const int raw = std::system(("sh -c '" + line + "'").c_str());
    const std::string out = read_file(path("out"));
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw), Bytes(out.begin(), out.end()), read_file(path("err"))};
  }

  std::string dir_;
};

}  // namespace lz16::test
