#include "image_in.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <jerror.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/demux.h>

// QOI and stb_image are single headers: their code is compiled here, stb's
// for BMP and TGA alone.
#define QOI_IMPLEMENTATION
#define QOI_NO_STDIO
#include <qoi.h>
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <climits>
#include <memory>

namespace lz16 {

namespace {

// The bytes of a file being read, and how far.
struct Source {
  std::span<const uint8_t> bytes;
  size_t pos = 0;

  size_t left() const { return bytes.size() - pos; }
  int get() { return pos < bytes.size() ? bytes[pos++] : EOF; }
};

// The most that a file's bytes can expand to: deflate's output is at most
// 1032 times its input; a JPEG block of 64 pixels costs at least one bit of
// Huffman code (512 pixels a byte), with room to spare for arithmetic
// coding; a GIF code of 12 bits gives at most 4096 pixels.
constexpr uint64_t deflate_expansion = 1032;
constexpr uint64_t jpeg_pixels_per_byte = 1024;
constexpr uint64_t gif_pixels_per_byte = 4096;

// "bad FORMAT: WxH pixels cannot fit in its N bytes": a header that claims
// more than the file could hold is refused before anything is allocated.
std::string cannot_fit(const char* format, uint64_t width, uint64_t height, size_t file_size) {
  return std::string("bad ") + format + ": " + std::to_string(width) + "x" + std::to_string(height) +
         " pixels cannot fit in its " + std::to_string(file_size) + " bytes";
}

// How far a reader goes: to the image's size; through every row, keeping
// none; or through every row, keeping them.
enum class Read { size, check, pixels };

// The memory a file may take for its pixels before it has been shown to
// decode whole: an image that needs more is first read through with
// Read::check, so that a file whose header claims much and whose data
// ends early fails in little memory, and only a real image that large
// takes it.
uint64_t allowance(size_t file_size) { return (uint64_t{64} << 20) + 16 * uint64_t{file_size}; }

// Reserves room for the image's bytes, as far as the allowance goes: the
// rest grows as rows arrive.
void reserve_pixels(std::vector<uint8_t>& pixels, uint64_t declared, size_t file_size) {
  pixels.reserve(static_cast<size_t>(std::min(declared, allowance(file_size))));
}

// The size check every reader makes before it allocates pixels.
std::string check_size(uint64_t width, uint64_t height, int64_t pixel_limit) {
  if (width == 0 || height == 0) return "the image has no pixels";
  const auto limit = static_cast<uint64_t>(pixel_limit);
  if (width > limit || height > limit || width * height > limit)
    return "image too large: " + std::to_string(width) + "x" + std::to_string(height) + " is more than " +
           std::to_string(pixel_limit) + " pixels";
  return "";
}

// Sets the image's size and checks it. True when the reader stops there:
// with the check's error, or with "" when only the size was wanted.
bool sized(Image& img, uint64_t width, uint64_t height, int64_t pixel_limit, Read mode, std::string& error) {
  error = check_size(width, height, pixel_limit);
  img.width = static_cast<uint32_t>(width);  // 32 bits at most once the check has passed
  img.height = static_cast<uint32_t>(height);
  return !error.empty() || mode == Read::size;
}

// ---- PNG ------------------------------------------------------------------
//
// libpng reports errors by longjmp. The functions that call setjmp hold no
// object with a destructor; the pixel buffer they fill is the caller's.

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

std::string read_png(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  PngReader r;
  r.in.bytes = file;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, png_fail, png_ignore_warning);
  if (r.png) r.info = png_create_info_struct(r.png);
  if (!r.info) throw std::bad_alloc();
  if (!png_header(r, static_cast<uint32_t>(std::min<int64_t>(pixel_limit, PNG_UINT_31_MAX)))) {
    // libpng refuses a side over the limit as "Invalid IHDR data": say which limit.
    if (file.size() >= 24 && !check_size(png_get_uint_32(&file[16]), png_get_uint_32(&file[20]), pixel_limit).empty())
      return check_size(png_get_uint_32(&file[16]), png_get_uint_32(&file[20]), pixel_limit);
    return std::string("bad PNG: ") + r.message;
  }
  const uint32_t width = png_get_image_width(r.png, r.info), height = png_get_image_height(r.png, r.info);
  if (std::string e; sized(img, width, height, pixel_limit, mode, e)) return e;
  // Its rows as stored, a filter byte each, must come out of the deflate stream.
  const uint64_t stored_row = (uint64_t{width} * png_get_channels(r.png, r.info) * png_get_bit_depth(r.png, r.info) + 7) / 8;
  if (height * (1 + stored_row) > deflate_expansion * file.size()) return cannot_fit("PNG", width, height, file.size());
  int depth = 8, channels = 3;
  if (!png_start(r, depth, channels)) return std::string("bad PNG: ") + r.message;

  const size_t samples = size_t{width} * static_cast<size_t>(channels);
  if (mode == Read::pixels && uint64_t{samples} * height > allowance(file.size()))
    if (std::string e = read_png(file, img, pixel_limit, Read::check); !e.empty()) return e;
  std::vector<uint8_t> pixels, row;
  std::vector<png_bytep> rows;
  if (mode == Read::pixels) reserve_pixels(pixels, uint64_t{samples} * height, file.size());
  if (!png_rows(r, pixels, row, rows, height, samples, depth == 16, mode == Read::pixels))
    return std::string("bad PNG: ") + r.message;
  img.channels = channels;
  img.pixels = std::move(pixels);
  return "";
}

// ---- JPEG -----------------------------------------------------------------

struct JpegReader {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr jerr{};
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX] = "";
  JpegReader() {
    cinfo.err = jpeg_std_error(&jerr);
    cinfo.client_data = this;
    jerr.error_exit = [](j_common_ptr c) {
      auto* r = static_cast<JpegReader*>(c->client_data);
      c->err->format_message(c, r->message);
      std::longjmp(r->jump, 1);
    };
    // Warnings pass, but for a file that ends early, which libjpeg would
    // fill out with grey for as many rows as the header claims.
    jerr.emit_message = [](j_common_ptr c, int level) {
      if (level < 0 && c->err->msg_code == JWRN_JPEG_EOF) c->err->error_exit(c);
    };
    jpeg_create_decompress(&cinfo);
  }
  ~JpegReader() { jpeg_destroy_decompress(&cinfo); }
};

// Reads the header alone: nothing the size of the image is allocated yet.
bool jpeg_header(JpegReader& r, std::span<const uint8_t> file) {
  if (setjmp(r.jump)) return false;
  jpeg_mem_src(&r.cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&r.cinfo, TRUE);
  return true;
}

// Decodes RGB and greyscale alike straight to RGB rows, appended to pixels
// as they arrive, or with keep false each over the one before.
bool jpeg_rows(JpegReader& r, std::vector<uint8_t>& pixels, size_t row_bytes, bool keep) {
  if (setjmp(r.jump)) return false;
  r.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&r.cinfo);
  while (r.cinfo.output_scanline < r.cinfo.output_height) {
    if (keep || pixels.empty()) pixels.resize(pixels.size() + row_bytes);
    JSAMPROW row = pixels.data() + pixels.size() - row_bytes;
    jpeg_read_scanlines(&r.cinfo, &row, 1);
  }
  jpeg_finish_decompress(&r.cinfo);
  return true;
}

std::string read_jpeg(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  auto r = std::make_unique<JpegReader>();
  if (!jpeg_header(*r, file)) return std::string("bad JPEG: ") + r->message;
  if (r->cinfo.jpeg_color_space == JCS_CMYK || r->cinfo.jpeg_color_space == JCS_YCCK)
    return "CMYK JPEG is not supported: convert it to RGB first";
  const uint32_t width = r->cinfo.image_width, height = r->cinfo.image_height;
  if (std::string e; sized(img, width, height, pixel_limit, mode, e)) return e;
  // A progressive file has libjpeg allocate the whole image's coefficients up front.
  if (uint64_t{width} * height > jpeg_pixels_per_byte * file.size()) return cannot_fit("JPEG", width, height, file.size());
  const size_t row_bytes = size_t{width} * 3;
  if (mode == Read::pixels && uint64_t{row_bytes} * height > allowance(file.size()))
    if (std::string e = read_jpeg(file, img, pixel_limit, Read::check); !e.empty()) return e;
  std::vector<uint8_t> pixels;
  if (mode == Read::pixels) reserve_pixels(pixels, uint64_t{row_bytes} * height, file.size());
  if (!jpeg_rows(*r, pixels, row_bytes, mode == Read::pixels)) return std::string("bad JPEG: ") + r->message;
  img.channels = 3;
  img.pixels = std::move(pixels);
  return "";
}

// ---- GIF ------------------------------------------------------------------
//
// Read a record at a time with giflib's low-level calls, so that nothing
// is allocated for a frame but one row of it: each row is drawn onto the
// canvas as it is decoded, and the canvas is copied out once per frame.

struct GifCloser {
  void operator()(GifFileType* gif) const noexcept { DGifCloseFile(gif, nullptr); }
};

int gif_input(GifFileType* gif, GifByteType* bytes, int n) {
  Source& in = *static_cast<Source*>(gif->UserData);
  const size_t count = std::min(in.left(), static_cast<size_t>(n));
  std::memcpy(bytes, in.bytes.data() + in.pos, count);
  in.pos += count;
  return static_cast<int>(count);
}

std::string bad_gif(int error) {
  const char* text = GifErrorString(error);
  return std::string("bad GIF: ") + (text ? text : "unknown error");
}

// The rows of a frame in the order the file stores them: an interlaced
// frame sends every 8th row from 0, every 8th from 4, every 4th from 2,
// then every 2nd from 1.
uint32_t gif_row(uint32_t k, uint32_t height, bool interlaced) {
  if (!interlaced) return k;
  const uint32_t passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
  for (const auto& [first, step] : passes) {
    const uint32_t rows = height > first ? (height - first + step - 1) / step : 0;
    if (k < rows) return first + k * step;
    k -= rows;
  }
  return height;  // not reached for k < height
}

// Draws the frame just described onto the canvas, row by row, or only
// decodes it without a canvas; indices beyond the colour table are drawn
// black, as viewers do.
bool gif_draw(GifFileType* gif, const GraphicsControlBlock& gcb, uint8_t* canvas, uint32_t cw, uint32_t ch) {
  const GifImageDesc& d = gif->Image;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  const auto fw = static_cast<uint32_t>(d.Width), fh = static_cast<uint32_t>(d.Height);
  if (fw == 0 || fh == 0) {  // nothing to draw, but its data to pass over
    int code_size;
    GifByteType* block = nullptr;
    if (DGifGetCode(gif, &code_size, &block) == GIF_ERROR) return false;
    while (block)
      if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
    return true;
  }
  std::vector<GifPixelType> row(fw);
  for (uint32_t k = 0; k < fh; ++k) {
    if (DGifGetLine(gif, row.data(), static_cast<int>(fw)) == GIF_ERROR) return false;
    const uint32_t y = static_cast<uint32_t>(d.Top) + gif_row(k, fh, d.Interlace);
    for (uint32_t x = 0; canvas && x < fw && y < ch && static_cast<uint32_t>(d.Left) + x < cw; ++x) {
      const int index = row[x];
      if (index == gcb.TransparentColor) continue;
      uint8_t* p = canvas + 4 * (size_t{y} * cw + static_cast<uint32_t>(d.Left) + x);
      const GifColorType c = index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
      p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue, p[3] = 255;
    }
  }
  return true;
}

std::string read_gif(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  int error = 0;
  Source in{file};
  const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&in, gif_input, &error));
  if (!gif) return bad_gif(error);
  const auto width = static_cast<uint32_t>(gif->SWidth), height = static_cast<uint32_t>(gif->SHeight);
  if (std::string e; sized(img, width, height, pixel_limit, mode, e)) return e;
  // The canvas is allocated whole: the frames drawn on it must be able to fill it.
  if (uint64_t{width} * height > gif_pixels_per_byte * file.size()) return cannot_fit("GIF", width, height, file.size());

  // Memory past the allowance, for the canvas or for a frame more, is
  // taken only once the whole file has been decoded without it.
  const size_t canvas_bytes = size_t{width} * height * 4;
  bool checked = mode != Read::pixels;
  auto check = [&](uint64_t bytes) {
    if (checked || bytes <= allowance(file.size())) return std::string();
    checked = true;
    return read_gif(file, img, pixel_limit, Read::check);
  };
  if (std::string e = check(canvas_bytes); !e.empty()) return e;
  std::vector<uint8_t> canvas(mode == Read::check ? 0 : canvas_bytes, 0), before, frames;
  std::vector<uint32_t> delays;
  GraphicsControlBlock gcb{DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR) return bad_gif(gif->Error);
    if (type == TERMINATE_RECORD_TYPE) break;
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif.get(), &code, &block) == GIF_ERROR) return bad_gif(gif->Error);
      if (code == GRAPHICS_EXT_FUNC_CODE && block && DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_ERROR)
        return "bad GIF: a graphic control block of " + std::to_string(block[0]) + " bytes";
      while (block)
        if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR) return bad_gif(gif->Error);
      continue;
    }
    if (type != IMAGE_DESC_RECORD_TYPE) continue;
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR) return bad_gif(gif->Error);
    const GifImageDesc& d = gif->Image;
    if (std::string e = check_size(std::max(d.Width, 1), std::max(d.Height, 1), pixel_limit); !e.empty()) return e;
    const auto count = static_cast<uint64_t>(delays.size() + 1);
    if (uint64_t{width} * height * count > static_cast<uint64_t>(pixel_limit))
      return "image too large: " + std::to_string(count) + " frames of " + std::to_string(width) + "x" +
             std::to_string(height) + " are more than " + std::to_string(pixel_limit) + " pixels";
    if (!d.ColorMap && !gif->SColorMap) return "bad GIF: a frame without a colour table";
    if (gcb.DisposalMode == DISPOSE_PREVIOUS) before = canvas;
    if (!gif_draw(gif.get(), gcb, canvas.empty() ? nullptr : canvas.data(), width, height)) return bad_gif(gif->Error);
    if (std::string e = check(frames.size() + canvas_bytes); !e.empty()) return e;
    frames.insert(frames.end(), canvas.begin(), canvas.end());
    delays.push_back(static_cast<uint32_t>(gcb.DelayTime) * 10);  // stored in hundredths of a second
    if (gcb.DisposalMode == DISPOSE_BACKGROUND && !canvas.empty()) {
      const size_t left = std::min<size_t>(width, size_t(d.Left));
      const size_t right = std::min<size_t>(width, size_t(d.Left) + size_t(d.Width));
      for (size_t y = size_t(d.Top); y < std::min<size_t>(height, size_t(d.Top) + size_t(d.Height)); ++y)
        std::fill(&canvas[4 * (y * width + left)], &canvas[4 * (y * width + right)], 0);
    } else if (gcb.DisposalMode == DISPOSE_PREVIOUS) {
      canvas.swap(before);
    }
    gcb = {DISPOSAL_UNSPECIFIED, false, 0, NO_TRANSPARENT_COLOR};  // each control block is for one frame
  }
  if (delays.empty()) return "the image has no pixels";
  img.channels = 4;
  img.pixels = std::move(frames);
  if (delays.size() > 1) img.delay_ms = std::move(delays);
  return "";
}

// ---- QOI ------------------------------------------------------------------
//
// libqoi decodes a whole file at once and pads a file that ends early with
// its last pixel, so the file must end in QOI's end marker, and the pixels
// its header claims must fit in its bytes: a run byte gives at most 62.

constexpr uint64_t qoi_pixels_per_byte = 62;

std::string read_qoi(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  static const uint8_t end_marker[8] = {0, 0, 0, 0, 0, 0, 0, 1};
  if (file.size() < 14 + sizeof end_marker) return "bad QOI: the file ends early";
  auto be32 = [&](size_t at) {
    return uint32_t{file[at]} << 24 | uint32_t{file[at + 1]} << 16 | uint32_t{file[at + 2]} << 8 | file[at + 3];
  };
  const uint32_t width = be32(4), height = be32(8);
  if (std::string e; sized(img, width, height, pixel_limit, mode, e)) return e;
  if (uint64_t{width} * height > qoi_pixels_per_byte * file.size()) return cannot_fit("QOI", width, height, file.size());
  if (std::memcmp(file.data() + file.size() - sizeof end_marker, end_marker, sizeof end_marker) != 0)
    return "bad QOI: the file ends early";
  if (file.size() > INT32_MAX) return "bad QOI: the file is over 2 GB";
  const int channels = file[12] == 4 ? 4 : 3;
  qoi_desc desc;
  const std::unique_ptr<uint8_t, decltype(&std::free)> pixels(
      static_cast<uint8_t*>(qoi_decode(file.data(), static_cast<int>(file.size()), &desc, channels)), &std::free);
  if (!pixels) return "bad QOI header";
  img.channels = channels;
  if (mode == Read::pixels) img.pixels.assign(pixels.get(), pixels.get() + size_t{width} * height * channels);
  return "";
}

// ---- BMP and TGA, through stb_image ----------------------------------------
//
// Run-length coding in either gives at most 128 pixels a byte.

constexpr uint64_t rle_pixels_per_byte = 128;

// stb_image reads past the end of a short file as zeros, so the data a BMP
// or TGA header announces is checked here first: whole rows, or TGA's
// run-length packets as far as the last pixel. stb_image does not read
// run-length coded BMPs.
std::string stb_problem(std::span<const uint8_t> f, bool bmp) {
  auto le = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int k = n - 1; k >= 0; --k) v = v << 8 | (at + k < f.size() ? f[at + k] : 0);
    return v;
  };
  const uint64_t size = f.size();
  const std::string ends_early = bmp ? "bad BMP: the file ends early" : "bad TGA: the file ends early";
  if (bmp) {
    const bool core = le(14, 4) == 12;  // the OS/2 header: 16-bit sizes, no compression
    const uint64_t at = le(10, 4), width = core ? le(18, 2) : le(18, 4), bits = core ? le(24, 2) : le(28, 2);
    const uint64_t rows = core ? le(20, 2) : static_cast<uint32_t>(std::abs(static_cast<int32_t>(le(22, 4))));
    const uint32_t compression = core ? 0 : le(30, 4);
    if (compression == 1 || compression == 2) return "run-length coded BMPs are not read: save it uncompressed, or as PNG";
    return at + rows * ((width * bits + 31) / 32 * 4) <= size ? "" : ends_early;
  }
  const uint64_t pixel = (f[16] + 7u) / 8, pixels = uint64_t{le(12, 2)} * le(14, 2);
  uint64_t p = 18 + f[0] + (f[1] == 1 ? le(5, 2) * ((f[7] + 7u) / 8) : 0);
  if (f[2] < 8) return p + pixels * pixel <= size ? "" : ends_early;
  for (uint64_t n = 0; n < pixels;) {  // a packet: a count, then one pixel for a run, else count pixels
    if (p >= size) return ends_early;
    const uint64_t count = (f[p] & 0x7Fu) + 1;
    p += f[p] & 0x80 ? 1 + pixel : 1 + count * pixel;
    n += count;
  }
  return p <= size ? "" : ends_early;
}

std::string read_stb(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode, const char* format) {
  if (file.size() > INT32_MAX) return std::string("bad ") + format + ": the file is over 2 GB";
  const int size = static_cast<int>(file.size());
  int width, height, components;
  if (std::string e = stb_problem(file, format[0] == 'B'); !e.empty()) return e;
  if (!stbi_info_from_memory(file.data(), size, &width, &height, &components))
    return std::string("bad ") + format + ": " + stbi_failure_reason();
  if (std::string e; sized(img, static_cast<uint64_t>(std::max(width, 0)), static_cast<uint64_t>(std::max(height, 0)),
                           pixel_limit, mode, e))
    return e;
  if (uint64_t(width) * uint64_t(height) > rle_pixels_per_byte * file.size())
    return cannot_fit(format, uint64_t(width), uint64_t(height), file.size());
  const int channels = components == 2 || components == 4 ? 4 : 3;
  const std::unique_ptr<uint8_t, decltype(&stbi_image_free)> pixels(
      stbi_load_from_memory(file.data(), size, &width, &height, &components, channels), &stbi_image_free);
  if (!pixels) return std::string("bad ") + format + ": " + stbi_failure_reason();
  img.channels = channels;
  if (mode == Read::pixels) img.pixels.assign(pixels.get(), pixels.get() + size_t(width) * size_t(height) * channels);
  return "";
}

// ---- WebP -----------------------------------------------------------------
//
// A still picture through the simple decoder; an animation through the
// animation decoder, each frame the whole canvas as a viewer shows it, its
// delay the time to the next. libwebp's lossless decoder holds the whole
// image itself, so a WebP is held to the pixel limit, not to its bytes.

struct AnimCloser {
  void operator()(WebPAnimDecoder* d) const noexcept { WebPAnimDecoderDelete(d); }
};

std::string read_webp(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(file.data(), file.size(), &features) != VP8_STATUS_OK) return "bad WebP header";
  if (std::string e; sized(img, static_cast<uint64_t>(features.width), static_cast<uint64_t>(features.height),
                           pixel_limit, mode, e))
    return e;
  const size_t frame_bytes = size_t(img.width) * img.height * 4;
  if (!features.has_animation) {
    // libwebp's own buffer: its pages are touched only as rows decode, so a
    // file that ends early fails in little memory.
    img.channels = features.has_alpha ? 4 : 3;
    int width, height;
    const std::unique_ptr<uint8_t, decltype(&WebPFree)> pixels(
        (features.has_alpha ? WebPDecodeRGBA : WebPDecodeRGB)(file.data(), file.size(), &width, &height), &WebPFree);
    if (!pixels) return "bad WebP: the picture does not decode";
    if (mode == Read::pixels) img.pixels.assign(pixels.get(), pixels.get() + frame_bytes / 4 * size_t(img.channels));
    return "";
  }
  const WebPData data{file.data(), file.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return "bad WebP: libwebp's version";
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const std::unique_ptr<WebPAnimDecoder, AnimCloser> anim(WebPAnimDecoderNew(&data, &options));
  WebPAnimInfo info;
  if (!anim || !WebPAnimDecoderGetInfo(anim.get(), &info)) return "bad WebP animation";
  if (uint64_t{img.width} * img.height * info.frame_count > static_cast<uint64_t>(pixel_limit))
    return "image too large: " + std::to_string(info.frame_count) + " frames of " + std::to_string(img.width) + "x" +
           std::to_string(img.height) + " are more than " + std::to_string(pixel_limit) + " pixels";
  std::vector<uint8_t> frames;
  std::vector<uint32_t> delays;
  for (int previous = 0; WebPAnimDecoderHasMoreFrames(anim.get());) {
    uint8_t* canvas;
    int timestamp;
    if (!WebPAnimDecoderGetNext(anim.get(), &canvas, &timestamp)) return "bad WebP: a frame does not decode";
    if (mode == Read::pixels) frames.insert(frames.end(), canvas, canvas + frame_bytes);
    delays.push_back(static_cast<uint32_t>(std::max(timestamp - previous, 0)));
    previous = timestamp;
  }
  if (delays.empty()) return "the image has no pixels";
  img.channels = 4;
  img.pixels = std::move(frames);
  if (delays.size() > 1) img.delay_ms = std::move(delays);
  return "";
}

// ---- PPM ------------------------------------------------------------------

// Reads a header number after white space and # comments; -1 if there is none.
int64_t ppm_number(Source& in) {
  int c = in.get();
  for (;;) {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = in.get();
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      c = in.get();
    } else {
      break;
    }
  }
  if (c < '0' || c > '9') return -1;
  int64_t v = 0;
  for (; c >= '0' && c <= '9'; c = in.get())
    if ((v = v * 10 + (c - '0')) > (int64_t{1} << 40)) return -1;
  if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return -1;  // one white space before the pixels
  return v;
}

std::string read_ppm(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  Source in{file, 2};
  const int64_t width = ppm_number(in), height = ppm_number(in), maxval = ppm_number(in);
  if (width < 0 || height < 0 || maxval < 0) return "bad PPM header";
  if (maxval != 255) return "PPM with maxval " + std::to_string(maxval) + " is not supported (only 255)";
  if (std::string e; sized(img, static_cast<uint64_t>(width), static_cast<uint64_t>(height), pixel_limit, mode, e))
    return e;
  const size_t bytes = static_cast<size_t>(width * height) * 3;
  if (in.left() < bytes) return "truncated PPM";
  img.channels = 3;
  img.pixels.assign(file.begin() + static_cast<ptrdiff_t>(in.pos), file.begin() + static_cast<ptrdiff_t>(in.pos + bytes));
  return "";
}

std::string read_bytes(std::span<const uint8_t> file, Image& img, int64_t pixel_limit, Read mode) {
  const uint8_t* magic = file.data();
  const size_t got = file.size();
  if (got >= 8 && png_sig_cmp(magic, 0, 8) == 0) return read_png(file, img, pixel_limit, mode);
  if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
    return read_jpeg(file, img, pixel_limit, mode);
  if (got >= 4 && std::memcmp(magic, "GIF8", 4) == 0) return read_gif(file, img, pixel_limit, mode);
  if (got >= 2 && magic[0] == 'P' && magic[1] == '6') return read_ppm(file, img, pixel_limit, mode);
  if (got >= 4 && std::memcmp(magic, "qoif", 4) == 0) return read_qoi(file, img, pixel_limit, mode);
  if (got >= 12 && std::memcmp(magic, "RIFF", 4) == 0 && std::memcmp(magic + 8, "WEBP", 4) == 0)
    return read_webp(file, img, pixel_limit, mode);
  if (got >= 2 && magic[0] == 'B' && magic[1] == 'M') return read_stb(file, img, pixel_limit, mode, "BMP");
  // TGA has no signature: its header's fields must make sense to stb_image.
  int w, h, c;
  if (got >= 18 && got <= INT32_MAX && stbi_info_from_memory(magic, static_cast<int>(got), &w, &h, &c))
    return read_stb(file, img, pixel_limit, mode, "TGA");
  return "not an image lz16pack reads (PNG, JPEG, GIF, WebP, BMP, TGA, QOI, binary PPM): convert it to PNG "
         "first, for example with ImageMagick's convert FILE out.png";
}

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};

// The whole of the file at path, or of standard input for "-", read as it
// comes: a pipe or a device is never rewound.
std::string read_all(const std::string& path, std::vector<uint8_t>& bytes) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> opened(path == "-" ? nullptr : std::fopen(path.c_str(), "rb"));
  std::FILE* f = path == "-" ? stdin : opened.get();
  if (!f) return std::strerror(errno);
  std::error_code ec;
  const uintmax_t size = path == "-" ? 0 : std::filesystem::file_size(path, ec);
  size_t chunk = ec || size == 0 ? size_t{1} << 16 : static_cast<size_t>(size) + 1;  // + 1 sees the end at once
  for (;;) {
    const size_t have = bytes.size();
    bytes.resize(have + chunk);
    const size_t n = std::fread(bytes.data() + have, 1, chunk, f);
    bytes.resize(have + n);
    if (n < chunk) break;
    chunk = std::max(chunk, bytes.size());  // doubling: a long stream is copied a few times, not once a chunk
  }
  return std::ferror(f) ? std::strerror(errno ? errno : EIO) : "";
}

std::string read_path(const std::string& path, Image& img, int64_t pixel_limit, Read mode) {
  std::vector<uint8_t> file;
  if (std::string error = read_all(path, file); !error.empty()) return error;
  return read_bytes(file, img, pixel_limit, mode);
}

}  // namespace

std::string read_image(std::span<const uint8_t> file, Image& img, int64_t pixel_limit) {
  return read_bytes(file, img, pixel_limit, Read::pixels);
}

std::string read_image(const std::string& path, Image& img, int64_t pixel_limit) {
  return read_path(path, img, pixel_limit, Read::pixels);
}

std::string read_image_size(const std::string& path, uint32_t& width, uint32_t& height) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return "not a regular file";
  Image img;
  const std::string error = read_path(path, img, max_pixels, Read::size);
  width = img.width;
  height = img.height;
  return error;
}

}  // namespace lz16
