// Token encoder: a greedy sliding-window matcher over whole pixel words.
//
// At each position p it takes the longest run of words equal to the words
// some distance back (distance 1..2047, run at most 15, never counting the
// image's last word), the smallest distance among equally long runs. A run of
// 2 or more becomes a code; otherwise the word is sent as a literal.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "buffer.h"
#include "format.h"

namespace lz16 {

struct Match {
  int32_t count;  // run length; below min_run the position is a literal
  int32_t dist;   // distance of the run, 0 when count is 0
};

// The longest run at p over every distance from 1 to min(p, window), tried in
// ascending order, a later distance winning only with a strictly longer run;
// stops at the first run of max_run. Requires 0 <= p < npix. This is the
// reference search; the encoder uses a faster one that gives the same result
// wherever the count is min_run or more.
Match find_match_exhaustive(const uint16_t* rgb16_raw, int32_t npix, int32_t p);

using SegmentBytes = std::vector<uint8_t, buffer_allocator<uint8_t>>;

// The two token streams of an image, each sized to the bytes it holds.
struct Segments {
  SegmentBytes code_seg;
  SegmentBytes data_seg;
  bool operator==(const Segments&) const = default;
};

// Bytes of a segment in pieces, which laid end to end are the segment.
using Pieces = std::vector<std::span<const uint8_t>>;

// The two segments as the encoder's parts leave them: one piece of each per
// part whose stream is used. Writing the pieces one after the other spares
// copying them together. The pieces lie in buffers, which this owns.
struct SegmentPieces {
  Pieces code;
  Pieces data;
  std::vector<Segments> buffers;
};

// Bytes in all the pieces.
size_t byte_count(const Pieces& pieces);

// The segments in one piece each. Takes over the first part's buffers, which
// have room for the rest, so that only the later pieces are copied.
Segments join(SegmentPieces&& pieces);

// The cores this process may run on: where the system tells, those it is
// allowed (a build pinned to some cores gets that many parts), else all.
int usable_cores();

// Encodes npix words (npix <= max_pixels). Words are pixel words: bit 5 is
// clear (a literal's copy of it is cleared anyway). Images large enough are
// cut in one part per core the process may use (128K pixels each at least),
// parsed side by side. May throw std::bad_alloc.
SegmentPieces encode_pieces(const uint16_t* rgb16_raw, int32_t npix);

// The same with the image cut in nparts parts (at most one a pixel), each
// parsed on a thread of its own: the same bytes for every nparts.
SegmentPieces encode_parts(const uint16_t* rgb16_raw, int32_t npix, int nparts);

// encode_pieces, joined.
Segments encode(const uint16_t* rgb16_raw, int32_t npix);

// The same, with the reference search: the same bytes, far slower.
Segments encode_exhaustive(const uint16_t* rgb16_raw, int32_t npix);

}  // namespace lz16
