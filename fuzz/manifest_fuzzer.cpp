// libFuzzer target: any byte string read as a manifest. It either gives at
// least one asset, or fails with a reason that starts with the manifest's
// path; it never touches memory it does not own, leaks or throws. Its
// relative paths lie under a directory that does not exist, so that globs
// search nothing.
#include <cstdlib>

#include "manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/nonexistent-lz16/assets.toml";
  lz16::Manifest manifest;
  const std::string error =
      lz16::read_manifest_text({reinterpret_cast<const char*>(data), size}, path, manifest);
  if (error.empty() == manifest.assets.empty()) std::abort();
  if (!error.empty() && !error.starts_with(path + ":")) std::abort();
  return 0;
}
