#include "planes.h"

#include <algorithm>

#include "container.h"
#include "encoder.h"
#include "format.h"

namespace lz16 {

PixelWords colour_plane(std::span<const uint16_t> words, std::span<const uint8_t> levels) {
  PixelWords colour;
  colour.reserve(words.size());
  for (size_t k = 0; k < words.size(); ++k)
    if (levels[k]) colour.push_back(words[k]);
  return colour;
}

PixelWords alpha_plane(std::span<const uint8_t> levels, size_t colour_size) {
  const size_t words = (levels.size() + alpha_per_word - 1) / alpha_per_word;
  const unsigned padding = static_cast<unsigned>(words * alpha_per_word - levels.size());
  const unsigned tag = static_cast<unsigned>(colour_size) & alpha_tag_mask;
  PixelWords alpha(1 + words);
  alpha[0] = level_word(alpha_mark + padding, tag >> 5, tag & 31);
  for (size_t k = 0; k < words; ++k) {
    unsigned l[alpha_per_word] = {};
    for (size_t i = 0; i < alpha_per_word && alpha_per_word * k + i < levels.size(); ++i)
      l[i] = levels[alpha_per_word * k + i];
    alpha[1 + k] = level_word(l[0], l[1], l[2]);
  }
  return alpha;
}

std::string join_planes(std::span<const uint16_t> colour, size_t colour_size, std::span<const uint16_t> alpha,
                        PixelWords& words, std::vector<uint8_t>& levels) {
  if (alpha.empty() || (alpha[0] >> 11) < alpha_mark || (alpha[0] >> 11) > alpha_mark + 2)
    return "not an alpha plane";
  if (((alpha[0] >> 1 & 0x3E0u) | (alpha[0] & 31u)) != (colour_size & alpha_tag_mask))
    return "the alpha plane is not the colour plane's";
  const size_t padding = (alpha[0] >> 11) - alpha_mark;
  if (alpha.size() < 2 || (alpha.back() & (padding == 2 ? 0x7DFu : padding == 1 ? 0x1Fu : 0u)) != 0)
    return "the alpha plane has no level, or padding that is not 0";
  const size_t npix = alpha_per_word * (alpha.size() - 1) - padding;
  words.assign(npix, 0);
  levels.assign(npix, 0);
  size_t used = 0;
  for (size_t k = 0; k < npix; ++k) {
    const uint16_t w = alpha[1 + k / alpha_per_word];
    levels[k] = static_cast<uint8_t>(k % 3 == 0 ? w >> 11 : k % 3 == 1 ? w >> 6 & 31 : w & 31);
    if (levels[k] && used < colour.size()) words[k] = colour[used];
    used += levels[k] != 0;
  }
  if (used != colour.size())
    return "the colour plane has " + std::to_string(colour.size()) + " pixels for " + std::to_string(used) +
           " that its alpha plane shows";
  return "";
}

namespace {

void put_number(std::vector<uint8_t>& out, uint32_t v) {
  for (; v >= 0x80; v >>= 7) out.push_back(static_cast<uint8_t>(v | 0x80));
  out.push_back(static_cast<uint8_t>(v));
}

size_t number_bytes(uint32_t v) {
  size_t n = 1;
  for (; v >= 0x80; v >>= 7) ++n;
  return n;
}

// A token whose count field has `bits` bits: the field, or all ones and the rest.
void put_counted(std::vector<uint8_t>& out, unsigned op, unsigned bits, uint32_t count) {
  const uint32_t full = (1u << bits) - 1;
  out.push_back(static_cast<uint8_t>(op | std::min(count, full)));
  if (count >= full) put_number(out, count - full);
}

size_t counted_bytes(unsigned bits, uint32_t count) {
  const uint32_t full = (1u << bits) - 1;
  return count >= full ? 1 + number_bytes(count - full) : 1;
}

// The tokens of the symbols: at each pixel the cheaper a pixel of a run
// (of the last symbol, or of 0 or 31) or a literal, and the longest copy
// from close by or from the row above.
std::vector<uint8_t> code_symbols(const std::vector<uint8_t>& sym, uint32_t width) {
  std::vector<uint8_t> out;
  const size_t n = sym.size();
  for (size_t p = 0; p < n;) {
    const uint8_t s = sym[p], last = p ? sym[p - 1] : 0;
    size_t run = 1;
    while (p + run < n && sym[p + run] == s) ++run;
    size_t copy = 0, from = 0;
    const auto look = [&](size_t d) {
      if (d == 0 || d > p || d > coded_window) return;
      size_t j = 0;
      while (p + j < n && sym[p + j] == sym[p + j - d]) ++j;
      if (j > copy) copy = j, from = d;
    };
    for (size_t d = 1; d <= 32; ++d) look(d);
    for (size_t d = width >= 2 ? width - 2 : 0; d <= size_t{width} + 2; ++d) look(d);
    // the run's token: repeat the last symbol, or a run of 0 or 31, else one literal
    const uint32_t r = static_cast<uint32_t>(run);
    const int kind = s == last ? 1 : s == 0 ? 2 : s == alpha_max ? 3 : 0;
    const size_t covered = kind ? run : 1;
    const size_t cost = kind == 1 ? counted_bytes(6, r - 1) : kind ? counted_bytes(5, r - 1) : 1;
    const size_t copy_cost = copy >= 3 ? counted_bytes(6, static_cast<uint32_t>(copy - 3)) +
                                             number_bytes(static_cast<uint32_t>(from)) : 0;
    if (copy >= 3 && copy > covered && copy_cost * covered < cost * copy) {
      put_counted(out, 0x80, 6, static_cast<uint32_t>(copy - 3));
      put_number(out, static_cast<uint32_t>(from));
      p += copy;
    } else {
      if (kind == 1) put_counted(out, 0x40, 6, r - 1);
      else if (kind) put_counted(out, kind == 2 ? 0xC0 : 0xE0, 5, r - 1);
      else out.push_back(s);
      p += covered;
    }
  }
  return out;
}

std::vector<uint8_t> lz16_file(const PixelWords& words) {
  const SegmentPieces seg = encode_pieces(words.data(), static_cast<int32_t>(words.size()));
  return container_file(seg.code, seg.data);
}

// Reads a number at `at`, moving past it; false if malformed or past the end.
bool get_number(std::span<const uint8_t> in, size_t& at, uint32_t& v) {
  v = 0;
  for (unsigned k = 0; k < 4 && at < in.size(); ++k) {
    const uint8_t b = in[at++];
    v |= uint32_t{b & 0x7Fu} << (7 * k);
    if (!(b & 0x80)) return k == 0 || b != 0;
  }
  return false;
}

}  // namespace

CodedPlanes code_planes(std::span<const uint16_t> words, std::span<const uint8_t> levels, uint32_t width) {
  PixelWords shown, fresh;
  std::vector<uint8_t> plain(levels.size()), repeats(levels.size());
  for (size_t k = 0; k < levels.size(); ++k) {
    if (!levels[k]) continue;
    const bool same = !shown.empty() && words[k] == shown.back();
    plain[k] = repeats[k] = levels[k];
    if (same) repeats[k] = static_cast<uint8_t>(levels[k] + coded_repeat);
    else fresh.push_back(words[k]);
    shown.push_back(words[k]);
  }
  const auto coded = [&](unsigned form, const PixelWords& colour, const std::vector<uint8_t>& sym) {
    CodedPlanes p{lz16_file(colour), {coded_alpha_magic, static_cast<uint8_t>(form)}};
    put_number(p.alpha, static_cast<uint32_t>(levels.size()));
    put_number(p.alpha, static_cast<uint32_t>(p.colour.size()));
    const std::vector<uint8_t> tokens = code_symbols(sym, width);
    p.alpha.insert(p.alpha.end(), tokens.begin(), tokens.end());
    return p;
  };
  if (fresh.size() == 1) return coded(coded_one_colour, fresh, plain);
  CodedPlanes a = coded(0, shown, plain), b = coded(coded_repeats, fresh, repeats);
  return b.colour.size() + b.alpha.size() < a.colour.size() + a.alpha.size() ? b : a;
}

bool is_coded_alpha(std::span<const uint8_t> alpha) { return !alpha.empty() && alpha[0] == coded_alpha_magic; }

std::vector<uint8_t> code_mask(std::span<const uint8_t> levels, uint32_t width) {
  std::vector<uint8_t> mask = {coded_alpha_magic, coded_mask};
  put_number(mask, static_cast<uint32_t>(levels.size()));
  const std::vector<uint8_t> tokens = code_symbols(std::vector<uint8_t>(levels.begin(), levels.end()), width);
  mask.insert(mask.end(), tokens.begin(), tokens.end());
  return mask;
}

bool is_mask(std::span<const uint8_t> bytes) {
  return bytes.size() >= 2 && bytes[0] == coded_alpha_magic && bytes[1] == coded_mask;
}

namespace {

// The symbols of a coded plane's tokens, from `at` to the plane's end,
// which must hold npix of them exactly. Returns "" or why not, naming the plane.
std::string read_symbols(std::span<const uint8_t> alpha, size_t at, uint32_t npix, std::vector<uint8_t>& sym,
                         const std::string& plane = "the alpha plane") {
  sym.clear();
  sym.reserve(npix);
  while (sym.size() < npix) {
    if (at >= alpha.size()) return plane + " ends after " + std::to_string(sym.size()) + " pixels";
    const uint8_t t = alpha[at++];
    const unsigned bits = t >= 0xC0 ? 5 : 6, full = (1u << bits) - 1, field = t & full;
    uint32_t count = field, extra = 0, from = 0;
    if (t < 0x40) {
      sym.push_back(t);
      continue;
    }
    if (field == full && !get_number(alpha, at, extra)) return "a malformed count in " + plane;
    count = field + extra + (t >= 0x80 && t < 0xC0 ? 3 : 1);
    if (count > npix - sym.size()) return plane + " runs past its pixels";
    if (t >= 0x80 && t < 0xC0) {
      if (!get_number(alpha, at, from) || from == 0 || from > coded_window || from > sym.size())
        return "a copy in " + plane + " reaches before its first pixel or past its window";
      for (uint32_t k = 0; k < count; ++k) sym.push_back(sym[sym.size() - from]);
    } else {
      const uint8_t s = t < 0x80 ? (sym.empty() ? 0 : sym.back()) : t < 0xE0 ? 0 : static_cast<uint8_t>(alpha_max);
      sym.insert(sym.end(), count, s);
    }
  }
  return at != alpha.size() ? plane + " goes on past its last pixel" : "";
}

// The form and pixels of a coded plane, and where its size or tokens start.
bool read_coded_head(std::span<const uint8_t> alpha, size_t& at, uint32_t& npix) {
  at = 2;
  return alpha.size() >= 2 && alpha[0] == coded_alpha_magic && alpha[1] <= coded_mask && get_number(alpha, at, npix) &&
         npix != 0 && npix <= coded_number_max;
}

}  // namespace

std::string join_coded(std::span<const uint16_t> colour, size_t colour_size, std::span<const uint8_t> alpha,
                       PixelWords& words, std::vector<uint8_t>& levels) {
  size_t at = 0;
  uint32_t npix = 0, size = 0;
  if (!read_coded_head(alpha, at, npix) || alpha[1] == coded_mask || !get_number(alpha, at, size))
    return "not an alpha plane";
  if (size != colour_size) return "the alpha plane is not the colour plane's";
  const bool one = alpha[1] & coded_one_colour, repeats = alpha[1] & coded_repeats;
  std::vector<uint8_t> sym;
  if (std::string error = read_symbols(alpha, at, npix, sym); !error.empty()) return error;
  words.assign(npix, 0);
  levels.assign(npix, 0);
  size_t used = 0;
  bool seen = false;
  uint16_t last = 0;  // the last shown pixel's word
  for (size_t k = 0; k < npix; ++k) {
    const unsigned s = sym[k], level = s & 31u;
    if (s == coded_repeat || (s > coded_repeat && (!repeats || !seen)))
      return "pixel " + std::to_string(k) + " repeats a word the alpha plane cannot have";
    if (!level) continue;
    levels[k] = static_cast<uint8_t>(level);
    if (one) last = colour.empty() ? 0 : colour[0];
    else if (s < coded_repeat) last = used < colour.size() ? colour[used] : 0, ++used;
    words[k] = last;
    seen = true;
  }
  if (one ? colour.size() != 1 || !seen : used != colour.size())
    return "the colour plane has " + std::to_string(colour.size()) + " pixels for " + std::to_string(used) +
           " that its alpha plane shows";
  return "";
}

std::string read_mask(std::span<const uint8_t> mask, std::vector<uint8_t>& levels) {
  size_t at = 0;
  uint32_t npix = 0;
  if (!read_coded_head(mask, at, npix) || mask[1] != coded_mask) return "not a mask";
  if (std::string error = read_symbols(mask, at, npix, levels, "the mask"); !error.empty()) return error;
  for (size_t k = 0; k < levels.size(); ++k)
    if (levels[k] > alpha_max) return "pixel " + std::to_string(k) + " of the mask has no level";
  return "";
}

}  // namespace lz16
