// The device decoder: its harness on generated images, and the same verdict
// and pixels as the strict decoder on damaged files.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_out.h"
#include "lz16dec.h"
#include "helpers.h"
#include "synth.h"

namespace lz16 {
namespace {

struct Device : test::ProcessTest {
  void check(const std::string& what) {  // a.lz, in every pixel order, swapped and not
    std::istringstream harnesses(CHECK_EXES);
    for (std::string harness; harnesses >> harness;)
      EXPECT_EQ(run_cmd(harness + " " + path("a.rgb") + " " + path("a.lz")).status, 0) << what << ": " << harness;
  }
};

TEST_F(Device, HarnessDecodesEveryKindAndALongCodeSegment) {
  for (auto kind : synth::kinds) {
    write_file("a.rgb", synth::make_rgb24(kind, 181, 181, 3));
    ASSERT_EQ(run_cmd(LZ16_EXE " < " + path("a.rgb"), "> " + path("a.lz")).status, 0);
    check(std::string(kind));
  }
  // Random words from 16 values are nearly all short codes.
  std::mt19937 rng(9);
  std::vector<uint16_t> words(1'300'000);
  for (auto& w : words) w = static_cast<uint16_t>((rng() % 16) << 6);
  test::Bytes rgb(3 * words.size());
  widen_rgb24(words.data(), words.size(), rgb.data());
  write_file("a.rgb", rgb);
  const Segments seg = encode(words.data(), static_cast<int32_t>(words.size()));
  ASSERT_GE(seg.code_seg.size(), size_t{1} << 20);
  const test::Bytes file = container_file(seg);
  write_file("a.lz", file);
  check("code segment past 2^20 bytes");
  DecodeResult r;
  EXPECT_TRUE(decode_to_vector(file.data(), file.size(), &r) == words);  // and the strict decoder
}

// The pixels of file[0, size) by the strict decoder, lz16_decode, the
// stream, and the stream skipping 5 pixels and reading 7 by turns (the
// pixels it read); {0xFFFF} for a file one refuses.
std::vector<std::vector<uint16_t>> verdicts(const uint8_t* file, size_t size) {
  DecodeResult r;
  std::vector<uint16_t> strict = decode_to_vector(file, size, &r), c;
  if (r.error != DecodeError::none) strict = {0xFFFF};  // refused: no decoder gives this
  const int32_t n = lz16_decode(file, size, nullptr, 0);
  c.assign(n >= 0 ? static_cast<size_t>(n) : 1, 0xFFFF);
  if (n >= 0 && lz16_decode(file, size, c.data(), c.size()) != n) ADD_FAILURE() << "counts differ from decoding";
  static lz16_stream s;
  const auto stream = [&](size_t skip) {  // skip, then read 7, by turns
    std::vector<uint16_t> pixels;
    int32_t got = lz16_stream_init(&s, file, size);
    for (uint16_t chunk[7]; got == 0 && (!skip || (got = lz16_stream_skip(&s, skip)) > 0) &&
                            (got = lz16_stream_read(&s, chunk, 7)) > 0;
         got = 0)
      pixels.insert(pixels.end(), chunk, chunk + got);
    return got < 0 ? std::vector<uint16_t>{0xFFFF} : pixels;
  };
  std::vector<uint16_t> read_of_strict;
  for (size_t p = 0; p < strict.size(); ++p)
    if (p % 12 >= 5 || r.error != DecodeError::none) read_of_strict.push_back(strict[p]);
  return {strict, c, stream(0), stream(5), read_of_strict};
}

TEST(DeviceDecode, SameVerdictAndPixelsAsTheStrictDecoder) {
  for (auto kind : {"tiles", "stripes", "noise"}) {
    const auto words = test::words_of(synth::make_rgb24(kind, 20, 6, 5));
    const test::Bytes good = container_file(encode(words.data(), static_cast<int32_t>(words.size())));
    for (size_t k = 0; k < good.size(); ++k) {
      for (uint8_t flip : {0x01, 0x08, 0x10, 0x20, 0x80, 0xFF}) {
        test::Bytes bad = good;
        bad[k] ^= flip;
        const auto v = verdicts(bad.data(), bad.size());
        ASSERT_TRUE(v[0] == v[1] && v[0] == v[2] && v[3] == v[4]) << kind << ": byte " << k << " ^ " << int(flip);
      }
      const auto v = verdicts(good.data(), k);
      ASSERT_TRUE(v[0] == v[1] && v[0] == v[2] && v[3] == v[4]) << kind << ": cut at " << k;
    }
    EXPECT_TRUE(verdicts(good.data(), good.size())[1] == words);
    // Short of room, both refuse without writing past the room they have.
    std::vector<uint16_t> out(words.size() + 16);
    for (bool strict : {true, false})
      for (size_t room = 0; room < words.size(); ++room) {
        std::fill(out.begin(), out.end(), 0xABCD);
        const bool refused =
            strict ? decode(good.data(), good.size(), out.data(), room).error == DecodeError::output_too_small
                   : lz16_decode(good.data(), good.size(), out.data(), room) == LZ16_E_CAPACITY;
        ASSERT_TRUE(refused && std::all_of(out.begin() + static_cast<long>(room), out.end(),
                                           [](uint16_t w) { return w == 0xABCD; }))
            << kind << (strict ? ", strict decoder" : ", device decoder") << ": room for " << room;
      }
  }
}

}  // namespace
}  // namespace lz16
