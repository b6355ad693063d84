#include "decoder.h"

#include <cstring>

#include "format.h"

namespace lz16 {

const char* decode_error_text(DecodeError error) {
  switch (error) {
    case DecodeError::none: return "no error";
    case DecodeError::short_header: return "file too short for a header and length field";
    case DecodeError::bad_magic: return "not an lz16 image (no \"compress LZ\" header)";
    case DecodeError::bad_fill: return "non-zero header fill byte";
    case DecodeError::short_length_field: return "file ends inside the length field";
    case DecodeError::bad_length_field: return "malformed length field";
    case DecodeError::code_past_end: return "code segment runs past the end of the file";
    case DecodeError::odd_data: return "data segment has an odd number of bytes";
    case DecodeError::bad_count: return "code for fewer than 2 pixels";
    case DecodeError::bad_distance: return "code with distance 0";
    case DecodeError::distance_before_start: return "code reaches back before the first pixel";
    case DecodeError::code_run_unended: return "code segment ends inside a run of codes";
    case DecodeError::missing_final_literal: return "image ends without its final literal";
    case DecodeError::trailing_code: return "code tokens left over after the last literal";
    case DecodeError::trailing_data: return "data left over after the final literal";
    case DecodeError::output_too_small: return "output buffer too small for the image";
  }
  return "unknown error";
}

DecodeResult decode(const uint8_t* file, size_t size, uint16_t* out, size_t capacity) {
  DecodeResult r{DecodeError::none, 0, 0, 0, 0};
  size_t n = 0;  // pixels decoded so far
  // Every check goes through here: the first failed one is the answer.
  auto fail = [&](DecodeError error, size_t offset) {
    r.error = error;
    r.offset = offset;
    r.npix = n;
    return r;
  };

  if (size < header_size + length_field_short) return fail(DecodeError::short_header, size);
  for (int i = 0; i < header_text_size; ++i)
    if (file[i] != static_cast<uint8_t>(header_str[i])) return fail(DecodeError::bad_magic, i);
  for (int i = header_text_size; i < header_size; ++i)
    if (file[i] != 0) return fail(DecodeError::bad_fill, i);

  const uint8_t* field = file + header_size;
  size_t code_len = size_t{field[0]} << 8 | (field[1] & 0xFE);
  size_t head = header_size + length_field_short;
  if (field[1] & long_form_flag) {
    if (size < header_size + length_field_long) return fail(DecodeError::short_length_field, size);
    if (field[2] & 1) return fail(DecodeError::bad_length_field, header_size + 2);
    code_len |= size_t{field[2]} >> 1 << 16 | size_t{field[3]} << 23;
    if (code_len <= static_cast<size_t>(short_form_max)) return fail(DecodeError::bad_length_field, header_size);
    head = header_size + length_field_long;
  }
  if (code_len > size - head) return fail(DecodeError::code_past_end, header_size);
  r.code_len = code_len;
  r.data_len = size - head - code_len;
  if (r.data_len % 2 != 0) return fail(DecodeError::odd_data, size - 1);
  if (code_len == 0 && r.data_len == 0) return r;  // the empty image

  // Code and data cursors; both segments hold whole 2-byte tokens.
  size_t code = head;
  const size_t code_end = head + code_len;
  size_t data = code_end;
  bool in_data = true;  // the stream starts with a literal
  for (;;) {
    if (in_data) {
      if (data == size) {
        if (code < code_end) return fail(DecodeError::trailing_code, code);
        return fail(DecodeError::missing_final_literal, size);
      }
      const uint8_t lo = file[data], hi = file[data + 1];
      if (out) {
        if (n == capacity) return fail(DecodeError::output_too_small, data);
        out[n] = static_cast<uint16_t>((lo & ~literal_switch) | hi << 8);
      }
      ++n;
      data += 2;
      if (lo & literal_switch) {
        if (code == code_end) {
          if (data != size) return fail(DecodeError::trailing_data, data);
          break;
        }
        in_data = false;
      }
    } else {
      if (code == code_end) return fail(DecodeError::code_run_unended, code);
      const uint8_t b0 = file[code], b1 = file[code + 1];
      const size_t count = b0 >> 4;
      const size_t dist = size_t{b0 & 7u} << 8 | b1;
      if (count < static_cast<size_t>(min_run)) return fail(DecodeError::bad_count, code);
      if (dist == 0) return fail(DecodeError::bad_distance, code);
      if (dist > n) return fail(DecodeError::distance_before_start, code);
      if (out) {
        if (capacity - n < count) return fail(DecodeError::output_too_small, code);
        // Forward, one word at a time: a distance below the count repeats
        // words this code has just written.
        for (size_t k = n; k < n + count; ++k) out[k] = out[k - dist];
      }
      n += count;
      code += 2;
      if (b0 & code_switch) in_data = true;
    }
  }
  r.npix = n;
  return r;
}

std::vector<uint16_t> decode_to_vector(const uint8_t* file, size_t size, DecodeResult* result) {
  *result = decode(file, size, nullptr, 0);
  if (result->error != DecodeError::none) return {};
  std::vector<uint16_t> words(result->npix);
  *result = decode(file, size, words.data(), words.size());
  return words;
}

}  // namespace lz16
