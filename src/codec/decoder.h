// Strict decoder: compressed image back to pixel words.
//
// The core, decode(), writes into a caller-owned buffer, allocates nothing
// and throws nothing, so a device or a game engine can call it as it is. It
// accepts exactly the files the converter can write and rejects every other
// with the first problem found and its byte offset. It never reads outside
// the file or writes outside the buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lz16 {

enum class DecodeError {
  none,
  short_header,          // fewer bytes than a header and a length field
  bad_magic,             // the file does not start with "compress LZ"
  bad_fill,              // a header fill byte is not zero
  short_length_field,    // the long length field runs past the end
  bad_length_field,      // a long length field with bit 0 of byte 2 set, or for a short segment
  code_past_end,         // the code segment runs past the end of the file
  odd_data,              // the data segment has an odd number of bytes
  bad_count,             // a code for fewer than 2 pixels
  bad_distance,          // a code with distance 0
  distance_before_start, // a code reaching back before the first pixel
  code_run_unended,      // the code segment ends inside a run of codes
  missing_final_literal, // the data segment ends before the final literal
  trailing_code,         // code tokens left when the data segment is used up
  trailing_data,         // data bytes after the final literal
  output_too_small,      // the caller's buffer cannot hold the image
};

// A one-line description of the error, without its offset.
const char* decode_error_text(DecodeError error);

struct DecodeResult {
  DecodeError error;
  size_t offset;      // byte offset in the file of the problem, when error != none
  size_t npix;        // pixels decoded (up to the problem, when there is one)
  size_t code_len;    // bytes in the code segment (once the header is read)
  size_t data_len;    // bytes in the data segment (once the header is read)
};

// Decodes the file's size bytes into out, which holds capacity words.
// out may be null: then the file is only checked and its pixels counted,
// which tells the capacity a second call needs.
DecodeResult decode(const uint8_t* file, size_t size, uint16_t* out, size_t capacity);

// Checks the file, then decodes it into a vector sized to the real image.
// On an error the vector is empty and *result tells why. May throw
// std::bad_alloc when the image does not fit in memory.
std::vector<uint16_t> decode_to_vector(const uint8_t* file, size_t size, DecodeResult* result);

}  // namespace lz16
