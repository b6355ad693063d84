// libFuzzer target: the fast encoder against the exhaustive one. The first
// byte picks how many distinct words the image uses (few values make long
// chains and many ties) and in how many parts the fast encoder cuts it; the
// rest are the pixels. Any difference in the encoded bytes, or a decode that
// does not give the pixels back, aborts.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "container.h"
#include "decoder.h"
#include "encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const unsigned values = 1u + data[0] % 64;
  std::vector<uint16_t> words;
  for (size_t k = 1; k < size; ++k) words.push_back(static_cast<uint16_t>((data[k] % values) << 6 | (data[k] & 0x1F)));
  const int32_t npix = static_cast<int32_t>(words.size());

  const lz16::Segments fast = lz16::join(lz16::encode_parts(words.data(), npix, 1 + data[0] / 64));
  const lz16::Segments slow = lz16::encode_exhaustive(words.data(), npix);
  if (fast != slow) std::abort();

  const std::vector<uint8_t> file = lz16::container_file(fast);
  lz16::DecodeResult r;
  if (lz16::decode_to_vector(file.data(), file.size(), &r) != words) std::abort();
  return 0;
}
