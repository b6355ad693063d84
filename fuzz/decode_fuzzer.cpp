// libFuzzer target: any byte string handed to the decoders. Each must come
// back with a result or a clean error, never touch memory it does not own;
// and the device decoder, whole or streamed (reading, or skipping and
// reading by turns), must give the strict decoder's verdict and pixels.
// Where a second header (or a coded alpha plane's first byte) starts, the
// bytes are also a pair of planes, a colour plane and an alpha plane, which
// the blend forms must refuse or draw as the planes joined by the library say.
// Bytes that start as a mask are drawn as one, with the library's verdict and
// levels.
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decoder.h"
#include "format.h"
#include "lz16dec.h"
#include "planes.h"

namespace {

void check_pair(const uint8_t* data, size_t size) {
  const uint8_t* alpha = size > 16 ? static_cast<const uint8_t*>(memmem(data + 16, size - 16, "compress LZ", 11)) : nullptr;
  // A coded alpha plane: where its first byte follows a whole colour plane (of the first few candidates).
  for (const uint8_t *at = data + std::min<size_t>(size, 18), *end = data + size; !alpha && at < end;) {
    const uint8_t* mark = static_cast<const uint8_t*>(memchr(at, 0xA5, static_cast<size_t>(end - at)));
    if (!mark) break;
    if (lz16::decode(data, static_cast<size_t>(mark - data), nullptr, 0).error == lz16::DecodeError::none ||
        mark - data > 4096)
      alpha = mark;
    at = mark + 1;
  }
  if (!alpha) return;
  const size_t csize = static_cast<size_t>(alpha - data), asize = size - csize;
  const bool coded = lz16::is_coded_alpha({alpha, asize});
  lz16::DecodeResult rc{}, ra{};  // ra stays "none" for a coded plane, which is not an lz16 file
  const std::vector<uint16_t> colour = lz16::decode_to_vector(data, csize, &rc),
                              plane = coded ? std::vector<uint16_t>() : lz16::decode_to_vector(alpha, asize, &ra);
  lz16::PixelWords words;
  std::vector<uint8_t> levels;
  const bool ok = rc.error == lz16::DecodeError::none && ra.error == lz16::DecodeError::none &&
                  (coded ? lz16::join_coded(colour, csize, {alpha, asize}, words, levels)
                         : lz16::join_planes(colour, csize, plane, words, levels)).empty();
  const int32_t counted = lz16_decode_blend(data, csize, alpha, asize, nullptr, 0);
  if (ok != (counted >= 0) || (ok && static_cast<size_t>(counted) != words.size())) std::abort();
  if (!ok) return;
  std::vector<uint16_t> out(words.size());
  for (size_t k = 0; k < out.size(); ++k) out[k] = static_cast<uint16_t>(k * 40503u);
  if (lz16_decode_blend(data, csize, alpha, asize, out.data(), out.size()) != counted) std::abort();
  for (size_t k = 0; k < out.size(); ++k)  // both ends exact
    if ((levels[k] == 31 && out[k] != words[k]) || (levels[k] == 0 && out[k] != static_cast<uint16_t>(k * 40503u)))
      std::abort();
  static lz16_blend_stream s;
  if (lz16_blend_init(&s, data, csize, alpha, asize) != 0) std::abort();
  uint16_t chunk[11];
  size_t at = 0;
  for (int32_t got, step = 1; (got = step % 2 ? lz16_blend_skip(&s, static_cast<size_t>(step))
                                               : lz16_blend_read(&s, chunk, static_cast<size_t>(step))) != 0;
       at += static_cast<size_t>(got), step = step % 11 + 1)
    if (got < 0) std::abort();
  if (at != words.size()) std::abort();
}

void check_mask(const uint8_t* data, size_t size) {
  std::vector<uint8_t> levels;
  const bool ok = lz16::read_mask({data, size}, levels).empty();
  const int32_t counted = lz16_decode_mask(data, size, 0xFFFF, nullptr, 0);
  if (ok != (counted >= 0) || (ok && static_cast<size_t>(counted) != levels.size())) std::abort();
  if (!ok || levels.size() > (size_t{1} << 20)) return;
  std::vector<uint16_t> out(levels.size());
  static lz16_blend_stream s;
  if (lz16_mask_init(&s, data, size, 0xFFFF) != 0) std::abort();
  uint8_t alpha[11];
  for (size_t at = 0, step = 1; at < levels.size(); at += step, step = step % 11 + 1) {
    step = std::min(step, levels.size() - at);
    if (lz16_blend_read_alpha(&s, nullptr, alpha, step) != static_cast<int32_t>(step)) std::abort();
    for (size_t k = 0; k < step; ++k)
      if (alpha[k] != levels[at + k] * 8 + levels[at + k] / 4) std::abort();
  }
  if (lz16_blend_read(&s, out.data(), 1) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  check_pair(data, size);
  if (size >= 2 && data[0] == lz16::coded_alpha_magic) check_mask(data, size);
  const lz16::DecodeResult check = lz16::decode(data, size, nullptr, 0);
  const bool ok = check.error == lz16::DecodeError::none;
  const int32_t counted = lz16_decode(data, size, nullptr, 0);
  if (ok != (counted >= 0) || (ok && static_cast<size_t>(counted) != check.npix)) std::abort();
  if (!ok || check.npix > (size_t{1} << 20)) return 0;

  std::vector<uint16_t> words(check.npix), c(check.npix), streamed;
  const lz16::DecodeResult full = lz16::decode(data, size, words.data(), words.size());
  if (full.error != lz16::DecodeError::none || full.npix != check.npix) std::abort();
  for (uint16_t w : words)
    if (w & lz16::word_free_bit) std::abort();
  if (lz16_decode(data, size, c.data(), c.size()) != counted || c != words) std::abort();
  static lz16_stream s;
  if (lz16_stream_init(&s, data, size) != 0) std::abort();
  uint16_t chunk[13];
  for (int32_t got; (got = lz16_stream_read(&s, chunk, 1 + streamed.size() % 13)) != 0;) {
    if (got < 0) std::abort();
    streamed.insert(streamed.end(), chunk, chunk + got);
  }
  if (streamed != words) std::abort();
  // Skips and reads of 1 to 11 pixels by turns: every read gives the pixels
  // at its place, and they add up to the image.
  size_t at = 0;
  lz16_stream_init(&s, data, size);
  for (int32_t got, step = 1; at < words.size(); at += static_cast<size_t>(got), step = step % 11 + 1) {
    got = step % 2 ? lz16_stream_skip(&s, static_cast<size_t>(step)) : lz16_stream_read(&s, chunk, static_cast<size_t>(step));
    if (got <= 0 || (step % 2 == 0 && !std::equal(chunk, chunk + got, words.begin() + static_cast<long>(at)))) std::abort();
  }
  if (lz16_stream_skip(&s, 1) != 0) std::abort();
  return 0;
}
