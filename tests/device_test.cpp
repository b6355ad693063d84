// The device decoder: its harness on generated images, and the same verdict
// and pixels as the strict decoder on damaged files.
#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "colour.h"
#include "container.h"
#include "decoder.h"
#include "encoder.h"
#include "image_out.h"
#include "lz16dec.h"
#include "helpers.h"
#include "planes.h"
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

// An image with alpha: its words and levels as the packer makes them, and
// its two planes as files.
struct Planes {
  PixelWords words;
  std::vector<uint8_t> levels;
  test::Bytes colour, alpha;
};

Planes planes_of(const std::vector<uint8_t>& rgba, uint32_t width, bool coded = false) {
  Planes p;
  const size_t npix = rgba.size() / 4;
  p.words.resize(npix), p.levels.resize(npix);
  Reduction r;
  r.alpha = true;
  image_words(rgba.data(), 4, width, npix, r, p.words.data(), p.levels.data());
  auto file = [](const PixelWords& w) { return container_file(encode(w.data(), static_cast<int32_t>(w.size()))); };
  if (coded) {
    CodedPlanes c = code_planes(p.words, p.levels, width);
    p.colour = std::move(c.colour), p.alpha = std::move(c.alpha);
    return p;
  }
  p.colour = file(colour_plane(p.words, p.levels));
  p.alpha = file(alpha_plane(p.levels, p.colour.size()));
  return p;
}

// An RGBA picture of npix pixels: colours of a synthetic kind, and alphas
// of every level, in runs of transparent and opaque pixels too.
std::vector<uint8_t> rgba_of(std::string_view kind, int width, int height, int seed) {
  const std::vector<uint8_t> rgb = synth::make_rgb24(kind, width, height, static_cast<uint64_t>(seed));
  std::vector<uint8_t> rgba;
  for (size_t k = 0; k < rgb.size() / 3; ++k) {
    const size_t run = (k / 9 + static_cast<size_t>(seed)) % 4;
    rgba.insert(rgba.end(), {rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2],
                             static_cast<uint8_t>(run == 0 ? 0 : run == 1 ? 255 : k * 37 % 256)});
  }
  return rgba;
}

TEST_F(Device, BlendDrawsEveryLevelWithinALevelAndBothEndsExactlyInEveryOrder) {
  // Sizes that leave 0, 1 and 2 levels of padding (the first twice round the colour window); all transparent;
  // all opaque levels but alpha below 255; one colour; and each in the coded form too.
  for (const auto& [kind, width, height, seed] : {std::tuple{"tiles", 97, 61, 1}, {"noise", 20, 10, 2},
                                                  {"gradient", 1, 1, 3}, {"stripes", 5, 1, 0}, {"flat", 70, 40, 1}})
  for (const bool coded : {false, true}) {
    SCOPED_TRACE(std::string(kind) + (coded ? ", coded" : ""));
    const Planes p = planes_of(rgba_of(kind, width, height, seed), static_cast<uint32_t>(width), coded);
    test::Bytes pixels;
    for (size_t k = 0; k < p.words.size(); ++k)
      pixels.insert(pixels.end(), {widen5(p.words[k] >> 11), widen5(p.words[k] >> 6 & 31), widen5(p.words[k] & 31),
                                   p.levels[k]});
    write_file("p", pixels), write_file("c.lz", p.colour), write_file("a.lz", p.alpha);
    // The preview's picture is lz16dec's drawing (in RGB565 here) over each of its backgrounds.
    uint32_t shown_width = static_cast<uint32_t>(width);
    const std::vector<uint8_t> shown = shown_rgb(p.words, p.levels, shown_width, std::nullopt);
    ASSERT_EQ(shown_width, 3u * static_cast<uint32_t>(width));
    for (int panel = 0; panel < 3; ++panel) {
      std::vector<uint16_t> drawn(p.words.size());
      for (size_t k = 0; k < drawn.size(); ++k)
        drawn[k] = panel == 1 ? level_word(4, 4, 4)
                   : panel == 2 ? level_word(28, 28, 28)
                                : ((k % width) / 8 + (k / width) / 8) % 2 ? level_word(18, 18, 18) : level_word(24, 24, 24);
      ASSERT_EQ(lz16_decode_blend(p.colour.data(), p.colour.size(), p.alpha.data(), p.alpha.size(), drawn.data(),
                                  drawn.size()),
                static_cast<int32_t>(drawn.size()));
      for (size_t k = 0; k < drawn.size(); ++k) {
        const unsigned g6 = drawn[k] >> 5 & 63;  // an odd one halfway between its 5-bit neighbours
        const int want[3] = {widen5(drawn[k] >> 11), (widen5(g6 / 2) + widen5((g6 + 1) / 2) + 1) / 2,
                             widen5(drawn[k] & 31)};
        const uint8_t* got = &shown[3 * ((k / width) * shown_width + panel * width + k % width)];
        ASSERT_TRUE(got[0] == want[0] && got[1] == want[1] && got[2] == want[2])
            << "panel " << panel << ", pixel " << k << ", level " << int(p.levels[k]);
      }
    }
    std::istringstream harnesses(CHECK_EXES);
    for (std::string harness; harnesses >> harness;) {
      const test::Proc r = run_cmd(harness + " --blend " + path("p") + " " + path("c.lz") + " " + path("a.lz"));
      EXPECT_EQ(r.status, 0) << harness << ": " << r.err;
    }
  }
}

TEST(DeviceBlend, PlanesThatDoNotBelongTogetherAreRefusedByEveryCheckedForm) {
  // other has the same alphas, so only the tag of its planes tells them apart.
  const Planes p = planes_of(rgba_of("tiles", 30, 20, 1), 30), other = planes_of(rgba_of("noise", 30, 20, 1), 30);
  // A colour plane of one pixel more or less, tagged as its alpha plane expects.
  auto retagged = [&](const PixelWords& colour) {
    const test::Bytes c = container_file(encode(colour.data(), static_cast<int32_t>(colour.size())));
    const PixelWords a = alpha_plane(p.levels, c.size());
    return std::pair{c, container_file(encode(a.data(), static_cast<int32_t>(a.size())))};
  };
  const Planes q = planes_of(rgba_of("tiles", 30, 20, 1), 30, true), r = planes_of(rgba_of("noise", 30, 20, 1), 30, true);
  const auto plus = [](test::Bytes b, uint8_t more) { return b.push_back(more), b; };
  PixelWords fewer = colour_plane(p.words, p.levels), more = fewer;
  fewer.pop_back(), more.push_back(0x1234 & ~word_free_bit);
  const std::pair<test::Bytes, test::Bytes> bad[] = {
      {p.colour, other.alpha}, {other.colour, p.alpha},  // planes of different images
      {test::Bytes(p.colour.begin(), p.colour.end() - 2), p.alpha},  // cut short
      {p.colour, test::Bytes(p.alpha.begin(), p.alpha.end() - 2)},
      retagged(fewer), retagged(more),
      {q.colour, r.alpha}, {r.colour, q.alpha},  // coded: of different images,
      {q.colour, test::Bytes(q.alpha.begin(), q.alpha.end() - 1)}, {q.colour, plus(q.alpha, 0)}};  // cut, too long
  std::vector<uint16_t> out(p.words.size() + 8);
  static lz16_blend_stream s;
  for (const auto& [colour, alpha] : bad) {
    EXPECT_LT(lz16_decode_blend(colour.data(), colour.size(), alpha.data(), alpha.size(), out.data(), out.size()), 0);
    int32_t r = lz16_blend_init(&s, colour.data(), colour.size(), alpha.data(), alpha.size());
    while (r == 0 && (r = lz16_blend_read(&s, out.data(), 7)) > 0) r = 0;
    EXPECT_LT(r, 0);
  }
  EXPECT_EQ(lz16_decode_blend(p.colour.data(), p.colour.size(), p.alpha.data(), p.alpha.size(), out.data(), 600), 600);
}

}  // namespace
}  // namespace lz16
