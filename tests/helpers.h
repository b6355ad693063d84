// Helpers shared by the test files: byte strings, words, and the built
// programs run as processes through the shell, in a scratch folder of their
// own, with their status, standard output and error.
#pragma once

#include <gif_lib.h>
#include <webp/encode.h>
#include <webp/mux.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ranges>
#include <sstream>
#include <string>
#include <vector>

#include "pixels.h"

namespace lz16::test {

using Bytes = std::vector<uint8_t>;

// "28 01 a3" -> {0x28, 0x01, 0xa3}
inline Bytes hex(const std::string& text) {
  Bytes out;
  std::istringstream in(text);
  std::string byte;
  while (in >> byte) out.push_back(static_cast<uint8_t>(std::stoul(byte, nullptr, 16)));
  return out;
}

// {0x28, 0x01} -> "28 01", for readable failure messages.
template <typename Range>
  requires std::same_as<std::ranges::range_value_t<Range>, uint8_t>
std::string hex(const Range& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) out += (std::snprintf(buf, sizeof buf, "%s%02x", out.empty() ? "" : " ", b), buf);
  return out;
}

inline std::vector<uint16_t> words_of(const Bytes& rgb) {
  std::vector<uint16_t> words(rgb.size() / 3);
  convert_rgb24(rgb.data(), words.size(), words.data());
  return words;
}

// Words for a pattern of letters: 'A' -> 0x0100 (literal "00 01"), 'B' -> 0x0200, ...
inline std::vector<uint16_t> words_of(const std::string& letters) {
  std::vector<uint16_t> words;
  for (char c : letters) words.push_back(static_cast<uint16_t>((c - 'A' + 1) << 8));
  return words;
}

// GIF files, frame by frame, for the reader's tests.
struct GifFrame {
  int left, top, width, height, disposal, delay_cs, transparent;
  bool interlaced;
  std::vector<GifColorType> local;  // empty: the global table
};

// The colour index of frame f's pixel (x, y).
inline int index_at(size_t f, int x, int y) { return (x * 3 + y + static_cast<int>(f)) % 4; }

inline void write_gif(const std::string& path, int width, int height, const std::vector<GifColorType>& global,
                      const std::vector<GifFrame>& frames) {
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, nullptr);
  EGifSetGifVersion(gif, true);
  ColorMapObject* map = GifMakeMapObject(4, global.data());
  EGifPutScreenDesc(gif, width, height, 8, 0, map);
  for (size_t f = 0; f < frames.size(); ++f) {
    const GifFrame& fr = frames[f];
    const GraphicsControlBlock gcb{fr.disposal, false, fr.delay_cs, fr.transparent};
    GifByteType ext[4];
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(EGifGCBToExtension(&gcb, ext)), ext);
    ColorMapObject* local = fr.local.empty() ? nullptr : GifMakeMapObject(4, fr.local.data());
    GifFreeMapObject(gif->Image.ColorMap);  // the last frame's copy, which giflib drops for a frame without one
    gif->Image.ColorMap = nullptr;
    EGifPutImageDesc(gif, fr.left, fr.top, fr.width, fr.height, fr.interlaced, local);
    for (const auto& [first, step] : fr.interlaced ? std::vector<std::pair<int, int>>{{0, 8}, {4, 8}, {2, 4}, {1, 2}}
                                                  : std::vector<std::pair<int, int>>{{0, 1}})
      for (int y = first; y < fr.height; y += step) {
        std::vector<GifPixelType> row(static_cast<size_t>(fr.width));
        for (int x = 0; x < fr.width; ++x) row[static_cast<size_t>(x)] = static_cast<GifPixelType>(index_at(f, x, y));
        EGifPutLine(gif, row.data(), fr.width);
      }
    GifFreeMapObject(local);
  }
  GifFreeMapObject(map);
  EGifCloseFile(gif, nullptr);
}

// An animated lossless WebP of frames 2x2 frames, every one different,
// frame k shown for 40 * (k + 1) ms.
inline Bytes animated_webp(int frames) {
  WebPAnimEncoderOptions options;
  WebPAnimEncoderOptionsInit(&options);
  WebPAnimEncoder* enc = WebPAnimEncoderNew(2, 2, &options);
  WebPConfig config;
  WebPConfigInit(&config);
  config.lossless = 1;
  for (int k = 0; k < frames; ++k) {
    const uint8_t rgba[16] = {uint8_t(40 * k), 1, 2, 255, 3, 4, 5, 255, 6, 7, 8, 255, 9, 10, 11, 255};
    WebPPicture pic;
    WebPPictureInit(&pic);
    pic.use_argb = 1, pic.width = 2, pic.height = 2;
    WebPPictureImportRGBA(&pic, rgba, 8);
    WebPAnimEncoderAdd(enc, &pic, 20 * k * (k + 1), &config);
    WebPPictureFree(&pic);
  }
  WebPAnimEncoderAdd(enc, nullptr, 20 * frames * (frames + 1), nullptr);
  WebPData anim{nullptr, 0};
  WebPAnimEncoderAssemble(enc, &anim);
  const Bytes bytes(anim.bytes, anim.bytes + anim.size);
  WebPDataClear(&anim);
  WebPAnimEncoderDelete(enc);
  return bytes;
}

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

  // The names in a folder of the scratch folder, sorted, hidden ones too.
  std::string names_in(const char* folder) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path(folder)))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string all;
    for (const std::string& name : names) all += (all.empty() ? "" : " ") + name;
    return all;
  }

  void write_file(const char* name, const Bytes& bytes) const {
    std::filesystem::create_directories(std::filesystem::path(path(name)).parent_path());
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
