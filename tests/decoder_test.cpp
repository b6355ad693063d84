#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "decoder.h"
#include "container.h"
#include "encoder.h"
#include "helpers.h"
#include "lz16dec.h"
#include "planes.h"
#include "synth.h"

namespace lz16 {
namespace {

using test::Bytes;
using test::hex;

std::vector<uint16_t> round_trip(const std::vector<uint16_t>& words) {
  const Segments seg = encode(words.data(), static_cast<int32_t>(words.size()));
  const Bytes file = container_file(seg);
  DecodeResult r;
  std::vector<uint16_t> back = decode_to_vector(file.data(), file.size(), &r);
  EXPECT_EQ(r.error, DecodeError::none) << decode_error_text(r.error) << " at " << r.offset;
  EXPECT_EQ(r.code_len, seg.code_seg.size());
  EXPECT_EQ(r.data_len, seg.data_seg.size());
  return back;
}

TEST(Decode, RoundTripsGeneratedImages) {
  for (auto kind : synth::kinds)
    for (auto [width, height] : {std::pair{1, 1}, {3, 1}, {181, 181}, {256, 129}}) {
      SCOPED_TRACE(std::string(kind) + " " + std::to_string(width) + "x" + std::to_string(height));
      const auto words = test::words_of(synth::make_rgb24(kind, width, height, 11));
      EXPECT_TRUE(round_trip(words) == words);
    }
  // Bit 5 cannot come from pixels: a literal's copy of it is the switch bit,
  // so the decoded word has it clear.
  EXPECT_TRUE(round_trip({0x0120, 0x0220, 0x0120}) == (std::vector<uint16_t>{0x0100, 0x0200, 0x0100}));
}

struct Malformed {
  const char* what;
  std::string file;  // hex bytes; H stands for the 16-byte header
  DecodeError error;
  size_t offset;
};

TEST(Decode, ChecksEveryFieldAndNamesTheFirstProblemWithItsOffset) {
  // A valid file for "ABABABCDCDCDE": length 00 04, codes 48 02 48 02,
  // literals 00 01 20 02 00 03 20 04 20 05 (code at 18, data at 22).
  const Malformed cases[] = {
      {"empty image", "H 00 00", DecodeError::none, 0},
      {"empty file", "", DecodeError::short_header, 0},
      {"wrong magic", "63 6f 6d 70 72 65 73 73 20 4c 7a 00 00 00 00 00 00 00", DecodeError::bad_magic, 10},
      {"non-zero fill", "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 01 00 00", DecodeError::bad_fill, 15},
      {"valid", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 20 05", DecodeError::none, 0},
      {"length field cut", "H 00", DecodeError::short_header, 17},
      {"long field cut", "H 00 05 00", DecodeError::short_length_field, 19},
      {"long field for a short segment", "H 00 05 00 00 48 02 48 02 00 01 20 02 00 03 20 04 20 05",
       DecodeError::bad_length_field, 16},
      {"long field with bit 0 of byte 2", "H 00 01 03 00", DecodeError::bad_length_field, 18},
      {"code past the end", "H 00 40 48 02", DecodeError::code_past_end, 16},
      {"long code past the end", "H 00 01 02 00 48 02", DecodeError::code_past_end, 16},
      {"odd data", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 20 05 00", DecodeError::odd_data, 32},
      {"count 1", "H 00 04 18 02 48 02 00 01 20 02 00 03 20 04 20 05", DecodeError::bad_count, 18},
      {"distance 0", "H 00 04 48 00 48 02 00 01 20 02 00 03 20 04 20 05", DecodeError::bad_distance, 18},
      {"distance before the start", "H 00 04 48 03 48 02 00 01 20 02 00 03 20 04 20 05",
       DecodeError::distance_before_start, 18},
      {"last code without switch", "H 00 04 48 02 40 02 00 01 20 02 00 03 20 04 20 05",
       DecodeError::code_run_unended, 22},
      {"last literal without switch", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 00 05",
       DecodeError::missing_final_literal, 32},
      {"no final literal", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04", DecodeError::missing_final_literal, 30},
      {"code left over", "H 00 06 48 02 48 02 28 01 00 01 20 02 00 03 20 04", DecodeError::trailing_code, 22},
      {"data left over", "H 00 04 48 02 48 02 00 01 20 02 00 03 20 04 20 05 00 06", DecodeError::trailing_data, 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = c.file;
    if (text.rfind("H", 0) == 0) text.replace(0, 1, "63 6f 6d 70 72 65 73 73 20 4c 5a 00 00 00 00 00");
    const Bytes file = test::hex(text);
    const DecodeResult r = decode(file.data(), file.size(), nullptr, 0);
    EXPECT_EQ(r.error, c.error) << decode_error_text(r.error);
    if (c.error != DecodeError::none) {
      EXPECT_EQ(r.offset, c.offset);
    }
  }
}

// Images with alpha in the coded form: levels in shapes an icon, a sprite
// and noise have, one colour or many, back as they were, each in the form
// that should win for it.
TEST(CodedPlanes, RoundTripEveryShapeInTheFormThatWins) {
  struct Case { const char* name; uint32_t width, height; unsigned form; };
  for (const Case c : {Case{"one pixel", 1, 1, 1}, {"clear", 70, 3, 0}, {"disc", 48, 48, 1}, {"disc over stripes", 48, 48, 2},
                       {"noise", 33, 7, 0}, {"long runs", 4000, 9, 1}}) {
    SCOPED_TRACE(c.name);
    const size_t n = size_t{c.width} * c.height;
    PixelWords words(n);
    std::vector<uint8_t> levels(n);
    uint32_t seed = 7;
    for (size_t k = 0; k < n; ++k) {
      seed = seed * 1103515245u + 12345u;
      const double dx = double(k % c.width) - c.width / 2.0, dy = double(k / c.width) - c.height / 2.0;
      const double edge = 20 - std::sqrt(dx * dx + dy * dy);  // inside the disc > 0
      const std::string_view name = c.name;
      levels[k] = name == "clear" ? 0 : name == "noise" ? seed >> 27 : name == "one pixel" ? 31
                : static_cast<uint8_t>(std::clamp(edge * 8, 0.0, 31.0));
      words[k] = !levels[k] ? 0 : name == "noise" ? (seed >> 8 & 0xFFDF) : name == "disc over stripes" ? k / c.width / 4 * 0x841 : 0x7BCF;
    }
    const CodedPlanes p = code_planes(words, levels, c.width);
    ASSERT_TRUE(is_coded_alpha(p.alpha));
    EXPECT_EQ(p.alpha[1], c.form);
    DecodeResult r;
    const std::vector<uint16_t> colour = decode_to_vector(p.colour.data(), p.colour.size(), &r);
    PixelWords back;
    std::vector<uint8_t> back_levels;
    ASSERT_EQ(join_coded(colour, p.colour.size(), p.alpha, back, back_levels), "");
    EXPECT_EQ(back_levels, levels);
    for (size_t k = 0; k < n; ++k) words[k] = levels[k] ? words[k] : 0;
    EXPECT_EQ(back, words);
  }
}

// Every malformed coded plane is refused, by the library and by the
// device, and so is every cut of a good one.
TEST(CodedPlanes, RefuseWhatIsMalformed) {
  const std::vector<uint16_t> two = {0x1234, 0x4321};
  const Bytes colour = container_file(encode(two.data(), 2));
  const uint8_t size = static_cast<uint8_t>(colour.size());
  PixelWords words;
  std::vector<uint8_t> levels;
  uint16_t out[8];
  const auto plane = [&](std::initializer_list<uint8_t> tokens, uint8_t form = 0, uint8_t npix = 4) {
    std::vector<uint8_t> a = {0xA5, form, npix, size};
    a.insert(a.end(), tokens);
    return a;
  };
  const auto device = [&](const std::vector<uint8_t>& a) {
    return lz16_decode_blend(colour.data(), colour.size(), a.data(), a.size(), out, 8);
  };
  EXPECT_EQ(join_coded(two, size, plane({0xC1, 31, 31}), words, levels), "");  // two clear, two shown
  EXPECT_EQ(device(plane({0xC1, 31, 31})), 4);
  for (const auto& [bad, why] : std::vector<std::pair<std::vector<uint8_t>, std::string>>{
           {plane({0xC1, 31, 31}, 3), "not an alpha plane"},                   // one colour and repeats
           {plane({0xC1, 31, 31}, 0, 0), "not an alpha plane"},                // no pixels
           {plane({0xC1, 31, 31, 0}), "goes on past"},                         // a byte too many
           {plane({0xC1, 31, 0xC1}), "runs past"},                             // 5 pixels
           {plane({31, 31, 0x80, 2}), "runs past"},                            // a copy of 3 past 4
           {plane({31, 0, 0x80, 0}, 0, 5), "reaches before"},                  // distance 0
           {plane({31, 0, 0x80, 3}, 0, 5), "reaches before"},                  // before the first pixel
           {plane({0xDF, 0x80, 0}), "malformed count"},                        // an overlong number
           {plane({0xC1, 31, 32, 31}, 2, 5), "repeats a word"},               // level 0 repeating
           {plane({0xC1, 31, 63}), "repeats a word"},                          // repeats, not said
           {plane({0xC1, 63, 31}, 2), "repeats a word"},                       // nothing yet to repeat
           {plane({0xC1, 31, 31, 31}, 0, 5), "colour plane has 2 pixels for 3"},
           {plane({0xC1, 31, 31}, 1), "colour plane has 2"},                   // one colour, two words
       }) {
    SCOPED_TRACE(why);
    EXPECT_NE(join_coded(two, size, bad, words, levels).find(why), std::string::npos);
    EXPECT_LT(device(bad), 0);
  }
  EXPECT_EQ(join_coded(two, size - 1, plane({0xC1, 31, 31}), words, levels), "the alpha plane is not the colour plane's");
  const std::vector<uint8_t> good = plane({0xC1, 31, 31});
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_NE(join_coded(two, size, std::span(good).first(cut), words, levels), "") << cut;
    EXPECT_LT(device(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<long>(cut))), 0) << cut;
  }
}

// A mask in colour draws as the image of that colour with the mask's
// levels does (the blend itself is checked with the planes), read whole,
// in pieces, through a callback, and as 8-bit alpha; every damaged mask
// is refused by the library and by the device.
TEST(Masks, DrawAsTheirColoursPlanesInEveryWayAndRefuseWhatIsMalformed) {
  const uint16_t ink = 0xF80F;
  for (const auto& [name, width, height] : {std::tuple{"disc", 40u, 40u}, {"clear", 9u, 2u}, {"noise", 33u, 7u},
                                            {"long runs", 3000u, 2u}}) {
    SCOPED_TRACE(name);
    const size_t n = size_t{width} * height;
    std::vector<uint8_t> levels(n);
    uint32_t seed = 3;
    for (size_t k = 0; k < n; ++k) {
      seed = seed * 1103515245u + 12345u;
      const double dx = double(k % width) - 20, dy = double(k / width) - 20;
      const std::string_view shape = name;
      levels[k] = shape == "clear" ? 0 : shape == "noise" ? seed >> 27 : shape == "long runs" ? (k / 700 % 2) * 31
                : static_cast<uint8_t>(std::clamp((15 - std::sqrt(dx * dx + dy * dy)) * 8, 0.0, 31.0));
    }
    const std::vector<uint8_t> mask = code_mask(levels, width);
    std::vector<uint8_t> back;
    ASSERT_TRUE(is_mask(mask));
    ASSERT_EQ(read_mask(mask, back), "");
    EXPECT_EQ(back, levels);
    const CodedPlanes p = code_planes(PixelWords(n, ink), levels, width);
    std::vector<uint16_t> want(n), got(n);
    for (size_t k = 0; k < n; ++k) want[k] = got[k] = static_cast<uint16_t>(k * 2654435761u >> 16 & 0xFFDF);
    ASSERT_EQ(lz16_decode_blend(p.colour.data(), p.colour.size(), p.alpha.data(), p.alpha.size(), want.data(), n),
              int32_t(n));
    ASSERT_EQ(lz16_decode_mask(mask.data(), mask.size(), ink, got.data(), n), int32_t(n));
    EXPECT_EQ(got, want);
    EXPECT_EQ(lz16_decode_mask(mask.data(), mask.size(), ink, got.data(), n - 1), LZ16_E_CAPACITY);
    // In pieces of 1 to 8 pixels, skipping every fourth piece; and the alpha alone.
    static lz16_blend_stream s;
    static lz16_blend_file f;
    std::vector<uint8_t> alpha8(n);
    const auto read_at = [](void* ctx, uint32_t offset, uint8_t* buf, uint32_t len) {
      const auto* m = static_cast<const std::vector<uint8_t>*>(ctx);
      std::copy_n(m->data() + offset, len, buf);
      return static_cast<int32_t>(len);
    };
    for (const bool file : {false, true}) {
      lz16_blend_stream* const st = file ? &f.blend : &s;
      std::vector<uint16_t> drawn(n, 0);
      ASSERT_EQ(file ? lz16_mask_open(&f, read_at, const_cast<std::vector<uint8_t>*>(&mask),
                                      static_cast<uint32_t>(mask.size()), ink)
                     : lz16_mask_init(&s, mask.data(), mask.size(), ink), 0);
      size_t at = 0;
      for (size_t piece = 0; at < n; ++piece) {
        const size_t len = std::min<size_t>(piece % 8 + 1, n - at);
        ASSERT_EQ(piece % 4 == 3 ? lz16_blend_skip(st, len) : lz16_blend_read(st, drawn.data() + at, len), int32_t(len));
        at += len;
      }
      EXPECT_EQ(lz16_blend_read(st, drawn.data(), 1), 0);
      ASSERT_EQ(lz16_mask_init(&s, mask.data(), mask.size(), ink), 0);
      ASSERT_EQ(lz16_blend_read_alpha(&s, nullptr, alpha8.data(), n), int32_t(n));
      for (size_t k = 0; k < n; ++k)
        ASSERT_EQ(alpha8[k], levels[k] * 8 + levels[k] / 4) << k;
    }
  }
  const std::vector<uint8_t> good = {0xA5, 3, 4, 0xC0, 7, 31, 0};  // clear, 7, 31, clear
  const std::vector<uint16_t> colour = {0x1234};
  const Bytes file = container_file(encode(colour.data(), 1));
  uint16_t out[64];
  for (const auto& [bad, why] : std::vector<std::pair<std::vector<uint8_t>, std::string>>{
           {{0xA5, 1, 4, uint8_t(file.size()), 0xC0, 7, 31, 0}, "not a mask"},  // an image's alpha plane
           {{0xA5, 4, 4, 0xC0, 7, 31, 0}, "not a mask"},                      // no such form
           {{0xA5, 3, 4, 0xC0, 7, 33, 0}, "has no level"},                    // a repeat: there is no colour plane
           {{0xA5, 3, 4, 0xC0, 7, 32, 0}, "has no level"},
           {{0xA5, 3, 4, 0xC0, 7, 31, 0, 0}, "goes on past"},
           {{0xA5, 3, 4, 0xC1, 31, 0xC1}, "runs past"},  // a run of 2 where 1 is left
           {{0xA5, 3, 40, 7, 33, 0xC4}, "ends after 7"},  // 33 read, after a level, as a repeat of 34
           {file, "not a mask"}}) {
    SCOPED_TRACE(why);
    std::vector<uint8_t> levels;
    EXPECT_NE(read_mask(bad, levels).find(why), std::string::npos);
    EXPECT_LT(lz16_decode_mask(bad.data(), bad.size(), 0xFFFF, out, 64), 0);
  }
  std::vector<uint8_t> levels;
  EXPECT_EQ(read_mask(good, levels), "");
  EXPECT_EQ(lz16_decode_mask(good.data(), good.size(), 0xFFFF, out, 8), 4);
  EXPECT_EQ(lz16_decode_blend(file.data(), file.size(), good.data(), good.size(), out, 8), LZ16_E_HEADER);
  for (size_t cut = 0; cut < good.size(); ++cut) {
    EXPECT_NE(read_mask(std::span(good).first(cut), levels), "") << cut;
    EXPECT_LT(lz16_decode_mask(good.data(), cut, 0xFFFF, out, 8), 0) << cut;
  }
}

}  // namespace
}  // namespace lz16
