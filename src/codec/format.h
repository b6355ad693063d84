// The lz16 compressed image format, in one place.
//
// A pixel word is one pixel reduced to 16 bits, stored low byte first:
//
//     bit  15 14 13 12 11 10  9  8  7  6  5  4  3  2  1  0
//          r7 r6 r5 r4 r3 g7 g6 g5 g4 g3  0 b7 b6 b5 b4 b3
//
// Every channel keeps its top five bits. Bit 5 is always 0 in a pixel word;
// the token stream borrows it as the literal's switch bit.
//
// File layout, no gaps:
//
//     offset 0    "compress LZ" then 5 zero bytes         (16-byte header)
//     offset 16   length field L, 2 or 4 bytes            (code segment size)
//     then        L bytes of code tokens                  (code segment)
//     then        literal tokens up to the end of file    (data segment)
//
// Length field. L is even, so bit 0 of byte 1 is free and flags the long form:
//
//     byte 0   L bits 15..8
//     byte 1   L bits  7..1, bit 0 = long form follows
//     byte 2   L bits 22..16 in bits 7..1, bit 0 = 0      (long form only)
//     byte 3   L bits 30..23                              (long form only)
//
// The short form (2 bytes) is used for L <= 65535. Below 2^20 the long form's
// byte 2 holds only bits 19..16 and byte 3 is 0, the layout of files written
// before code segments could reach 2^20 bytes; bits 20 and up extend it.
//
// Literal token (data segment), one pixel:
//
//     byte 0   word low byte, bit 5 = 1 on the last literal of a literal run
//     byte 1   word high byte
//
// Code token (code segment), COUNT pixels each equal to the pixel DIST back:
//
//     byte 0   CCCC SDDD   C = count 2..15, S = last code of a code run,
//                          D = distance bits 10..8
//     byte 1   DDDD DDDD   distance bits 7..0, distance 1..2047
//
// The stream starts in the data segment. After a token with its switch bit
// set it continues in the other segment. The first and last pixels are always
// literals, so the stream ends in the data segment, on a literal with its
// switch bit set, exactly when the code segment is used up.
// An image with alpha is two lz16 files (docs/format.md has both layouts
// for users). The colour plane holds the words
// of the pixels whose alpha level is above 0, in order. The alpha plane's
// words hold 5-bit alpha levels (0 transparent, 31 opaque), three a word,
// after a word that says how the two belong together:
//
//     word 0       1 1 1 P P  T T T T T  0  T T T T T
//                  P: the levels of padding (0) that end the last word, 0-2
//                  T: the colour plane's file size, its low 10 bits
//     word 1 + k   level of pixel 3k | of 3k + 1 | 0 | of 3k + 2
//
// so an image of n pixels has 1 + ceil(n / 3) alpha words.
//
// The alpha plane's coded form (written since 1.1) is not an lz16 file but
// bytes of its own, which give each pixel a symbol: 0 transparent, 1-31 the
// level of a pixel whose word is the colour plane's next, 33-63 (with the
// repeats flag) level s - 32 of a pixel whose word is the last shown pixel's:
//
//     0xA5, the form (bit 0: one colour, the colour plane's single word is
//     every shown pixel's; bit 1: repeats), n (pixels), the colour plane's
//     file size, then tokens until n symbols:
//       00ssssss           one pixel of symbol s
//       01nnnnnn [v]       the last pixel's symbol (0 before the first) n + 1 more times
//       10nnnnnn [v] d     n + 3 pixels copied from d (1-2048) pixels back
//       110nnnnn [v]       n + 1 pixels of symbol 0
//       111nnnnn [v]       n + 1 pixels of symbol 31
//     where a count field all ones is followed by v, added to the count.
// Numbers (n, the size, v, d) are LEB128, at most 4 bytes, the last byte of
// two or more not 0. A mask (an image's alpha alone, drawn in a colour
// chosen when drawing) is such a plane of form 3, with no colour plane and
// no size: 0xA5, 3, n, then tokens of symbols 0-31.
#pragma once

#include <cstdint>

namespace lz16 {

inline constexpr char header_str[] = "compress LZ";
inline constexpr int header_text_size = 11;
inline constexpr int header_size = 16;
inline constexpr int length_field_short = 2;
inline constexpr int length_field_long = 4;
inline constexpr int32_t short_form_max = 65535;  // largest L in the 2-byte form
inline constexpr uint8_t long_form_flag = 0x01;   // in byte 1 of the length field

inline constexpr int32_t window = 2047;  // largest distance a code can carry
inline constexpr int32_t min_run = 2;    // shorter runs are sent as literals
inline constexpr int32_t max_run = 15;   // largest count a code can carry

inline constexpr uint8_t literal_switch = 0x20;  // byte 0 of a literal
inline constexpr uint8_t code_switch = 0x08;     // byte 0 of a code
inline constexpr uint16_t word_free_bit = 0x0020;

inline constexpr unsigned alpha_max = 31;        // the opaque level
inline constexpr unsigned alpha_per_word = 3;
inline constexpr unsigned alpha_mark = 0x1C;     // the header word's top field, plus the padding
inline constexpr uint32_t alpha_tag_mask = 0x3FF;

inline constexpr uint8_t coded_alpha_magic = 0xA5;  // an lz16 file starts with 'c'
inline constexpr uint8_t coded_one_colour = 1, coded_repeats = 2, coded_mask = 3;
inline constexpr unsigned coded_repeat = 32;           // added to a level: the last shown pixel's word
inline constexpr uint32_t coded_window = 2048;         // farthest a copy reaches back
inline constexpr uint32_t coded_number_max = (uint32_t{1} << 28) - 1;

// Images are limited so that every pixel count and segment length fits a
// signed 32-bit integer: the data segment can reach 2 bytes per pixel. The
// file as a whole can pass 2^31 bytes and is counted in 64 bits.
inline constexpr int64_t max_pixels = (int64_t{1} << 30) - 1;

static_assert(sizeof(header_str) - 1 == header_text_size);
static_assert(header_text_size <= header_size);
static_assert(max_run < 16, "count must fit the code's 4-bit field");
static_assert(window < 2048, "distance must fit the code's 11-bit field");
static_assert(literal_switch == word_free_bit, "literal switch is the word's free bit");
static_assert((code_switch & 0xF7) == 0 && (code_switch >> 3) == 1, "switch sits between count and distance");
static_assert(2 * max_pixels <= INT32_MAX);

}  // namespace lz16
