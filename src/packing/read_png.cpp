// PNG, through libpng. Every colour type becomes RGB, or RGBA where the
// image has transparency (an alpha channel or tRNS), at 8 bits a sample.
//
// libpng reports errors by longjmp. The functions that call setjmp hold no
// object with a destructor; the pixel buffer they fill is the caller's.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "readers.h"

namespace lz16::readers {

namespace {

// Deflate's output is at most 1032 times its input.
constexpr uint64_t deflate_expansion = 1032;

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  Source in;
  char message[200] = "";
  ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

void png_input(png_structp png, png_bytep to, size_t n) {
  Source& in = static_cast<PngReader*>(png_get_io_ptr(png))->in;
  if (n > in.left()) png_error(png, "the file ends early");
  std::memcpy(to, in.bytes.data() + in.pos, n);
  in.pos += n;
}

void png_fail(png_structp png, png_const_charp message) {
  auto* r = static_cast<PngReader*>(png_get_error_ptr(png));
  std::snprintf(r->message, sizeof r->message, "%s", message);
  png_longjmp(png, 1);
}
void png_ignore_warning(png_structp, png_const_charp) {}

// Reads the header, as far as the image data. Returns false on a libpng
// error. libpng refuses a width or height over the pixel limit itself.
bool png_header(PngReader& r, uint32_t limit) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_set_read_fn(r.png, &r, png_input);
  png_set_user_limits(r.png, limit, limit);
  // Of the chunks beside the pixels only tRNS is used. libpng would read the
  // others whole (text, profiles), allocating whatever length they claim, so
  // that a damaged length could make a small file ask for gigabytes: they
  // are passed over unread.
  static const png_byte unused[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0"
                                   "sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, unused, static_cast<int>(sizeof unused / 5));
  png_read_info(r.png, r.info);
  return true;
}

// Sets up expansion of every colour type to RGB, or RGBA where it has
// transparency, at 8 or 16 bits, which makes libpng allocate its rows.
bool png_start(PngReader& r, int& depth, int& channels) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  depth = png_get_bit_depth(r.png, r.info);
  const int type = png_get_color_type(r.png, r.info);
  png_set_expand(r.png);  // palette to RGB, grey below 8 bits to 8, tRNS to alpha
  if (!(type & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(r.png);
  channels = (type & PNG_COLOR_MASK_ALPHA) || png_get_valid(r.png, r.info, PNG_INFO_tRNS) ? 4 : 3;
  if (depth < 8) depth = 8;
  png_set_interlace_handling(r.png);
  png_read_update_info(r.png, r.info);
  return true;
}

// The 16-bit samples of one row (big-endian) as 8-bit ones; to may be from.
void scale_16(const uint8_t* from, size_t samples, uint8_t* to) {
  for (size_t k = 0; k < samples; ++k) {
    const uint32_t v = uint32_t{from[2 * k]} << 8 | from[2 * k + 1];
    to[k] = static_cast<uint8_t>((v * 255 + 32767) / 65535);
  }
}

// Appends the rows to pixels at 8 bits as they arrive, one at a time
// through row, or with keep false only decodes them. An interlaced image,
// whose every pass covers all of it, is kept by reading it into the
// buffer's full size at once (16-bit samples first, then scaled down in
// place, front to back).
bool png_rows(PngReader& r, std::vector<uint8_t>& pixels, std::vector<uint8_t>& row, std::vector<png_bytep>& rows,
              uint32_t height, size_t samples, bool wide, bool keep) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  const size_t row_bytes = wide ? 2 * samples : samples;
  const bool interlaced = png_get_interlace_type(r.png, r.info) != PNG_INTERLACE_NONE;
  if (!keep) {
    row.resize(row_bytes);
    for (uint32_t y = 0; y < height * (interlaced ? 7u : 1u); ++y) png_read_row(r.png, row.data(), nullptr);
  } else if (interlaced) {
    pixels.resize(row_bytes * height);
    rows.resize(height);
    for (uint32_t y = 0; y < height; ++y) rows[y] = pixels.data() + row_bytes * y;
    png_read_image(r.png, rows.data());
    for (uint32_t y = 0; wide && y < height; ++y) scale_16(rows[y], samples, pixels.data() + samples * y);
    pixels.resize(samples * height);
  } else {
    row.resize(row_bytes);
    for (uint32_t y = 0; y < height; ++y) {
      png_read_row(r.png, row.data(), nullptr);
      pixels.resize(pixels.size() + samples);
      uint8_t* to = pixels.data() + pixels.size() - samples;
      if (wide)
        scale_16(row.data(), samples, to);
      else
        std::memcpy(to, row.data(), samples);
    }
  }
  png_read_end(r.png, nullptr);
  return true;
}

}  // namespace

std::string read_png(const Input& in, Image& img) {
  PngReader r;
  r.in.bytes = in.file;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, png_fail, png_ignore_warning);
  if (r.png) r.info = png_create_info_struct(r.png);
  if (!r.info) throw std::bad_alloc();
  if (!png_header(r, static_cast<uint32_t>(std::min<int64_t>(in.limits.pixels, PNG_UINT_31_MAX)))) {
    // libpng refuses a side over the limit as "Invalid IHDR data": say which limit.
    if (in.file.size() >= 24)
      if (std::string e = admit(in, img, "PNG", png_get_uint_32(&in.file[16]), png_get_uint_32(&in.file[20]), 1, 0);
          e.starts_with("image too large"))
        return e;
    return std::string("bad PNG: ") + r.message;
  }
  const uint32_t width = png_get_image_width(r.png, r.info), height = png_get_image_height(r.png, r.info);
  // Its rows as stored, a filter byte each, must come out of the deflate stream.
  const uint64_t stored_row = (uint64_t{width} * png_get_channels(r.png, r.info) * png_get_bit_depth(r.png, r.info) + 7) / 8;
  if (std::string e = admit(in, img, "PNG", width, height, 1, 0); !e.empty()) return e;
  if (height * (1 + stored_row) > deflate_expansion * in.file.size())
    return cannot_fit("PNG", width, height, in.file.size());
  if (in.mode == Read::info) return info_frames(img, 1), "";
  int depth = 8, channels = 3;
  if (!png_start(r, depth, channels)) return std::string("bad PNG: ") + r.message;

  const size_t samples = size_t{width} * static_cast<size_t>(channels);
  const bool keep = in.mode == Read::pixels;
  if (std::string e = check_first(in, uint64_t{samples} * height, read_png); !e.empty()) return e;
  std::vector<uint8_t> pixels, row;
  std::vector<png_bytep> rows;
  if (keep) pixels.reserve(static_cast<size_t>(std::min<uint64_t>(uint64_t{samples} * height, allowance(in.file.size()))));
  if (!png_rows(r, pixels, row, rows, height, samples, depth == 16, keep)) return std::string("bad PNG: ") + r.message;
  img.channels = channels;
  img.pixels = std::move(pixels);
  img.delay_ms = {0};
  return "";
}

}  // namespace lz16::readers
