// libFuzzer target: any byte string handed to the decoder. It must come back
// with a result or a clean error, never touch memory it does not own, and a
// file it accepts must decode the same way twice and survive re-encoding.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "container.h"
#include "decoder.h"
#include "encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const lz16::DecodeResult check = lz16::decode(data, size, nullptr, 0);
  if (check.error != lz16::DecodeError::none || check.npix > (size_t{1} << 20)) return 0;

  std::vector<uint16_t> words(check.npix);
  const lz16::DecodeResult full = lz16::decode(data, size, words.data(), words.size());
  if (full.error != lz16::DecodeError::none || full.npix != check.npix) std::abort();
  for (uint16_t w : words)
    if (w & lz16::word_free_bit) std::abort();

  // The converter's own encoding of these pixels must decode to them again.
  const lz16::Segments seg = lz16::encode(words.data(), static_cast<int32_t>(words.size()));
  const std::vector<uint8_t> file = lz16::container_file(seg);
  lz16::DecodeResult again;
  if (lz16::decode_to_vector(file.data(), file.size(), &again) != words) std::abort();
  return 0;
}
