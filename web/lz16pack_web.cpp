// The web page's entry: lz16pack's own run, on files the page's worker has
// put in the in-memory file system, and the batch's outputs zipped for one
// download. Standard error is taken for a terminal: the worker reads the
// progress line as it is written, and takes it out of the text it hands
// back.
#include <emscripten.h>
#include <sys/stat.h>
#include <zip.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "driver.h"

extern "C" EMSCRIPTEN_KEEPALIVE int lz16_web_pack(int argc, char** argv) {
  umask(022);  // emscripten starts with 0777, which would leave the outputs unreadable
  lz16::PackRun run;
  std::atomic<bool> progress = false;
  const int status = lz16::run_lz16pack(argc, argv, LZ16_VERSION, true, run, progress);
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}

// Every file under dir, by its path relative to dir, into a zip file at
// zip_path (deflated, in name order, each dated 1980-01-01, so that the same
// files give the same bytes). 0, or -1 where a file cannot be read or
// the zip written.
extern "C" EMSCRIPTEN_KEEPALIVE int lz16_web_zip(const char* dir, const char* zip_path) {
  namespace fs = std::filesystem;
  std::set<std::string> names;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) names.insert(fs::relative(it->path(), dir).generic_string());
  if (ec) return -1;
  zipFile zip = zipOpen(zip_path, APPEND_STATUS_CREATE);
  if (!zip) return -1;
  bool ok = true;
  for (const std::string& name : names) {
    std::ifstream in(fs::path(dir) / name, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    zip_fileinfo info{};
    info.tmz_date.tm_mday = 1;
    info.tmz_date.tm_year = 1980;
    info.external_fa = 0100644u << 16;  // a plain file, rw-r--r--
    ok = ok && in.is_open() && !in.bad() &&
         zipOpenNewFileInZip(zip, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, 9) == ZIP_OK &&
         zipWriteInFileInZip(zip, bytes.data(), static_cast<unsigned>(bytes.size())) == ZIP_OK &&
         zipCloseFileInZip(zip) == ZIP_OK;
  }
  return zipClose(zip, nullptr) == ZIP_OK && ok ? 0 : -1;
}
