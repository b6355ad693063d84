#include "image_in.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>

namespace lz16 {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

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
bool sized(Image& img, uint64_t width, uint64_t height, int64_t pixel_limit, bool size_only, std::string& error) {
  error = check_size(width, height, pixel_limit);
  img.width = static_cast<uint32_t>(width);  // 32 bits at most once the check has passed
  img.height = static_cast<uint32_t>(height);
  return !error.empty() || size_only;
}

// ---- PNG ------------------------------------------------------------------
//
// libpng reports errors by longjmp. The functions that call setjmp hold no
// object with a destructor, and allocate nothing themselves: the pixel
// buffer is sized between the header and the rows.

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  char message[200] = "";
  ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

void png_fail(png_structp png, png_const_charp message) {
  auto* r = static_cast<PngReader*>(png_get_error_ptr(png));
  std::snprintf(r->message, sizeof r->message, "%s", message);
  png_longjmp(png, 1);
}
void png_ignore_warning(png_structp, png_const_charp) {}

// Reads the header and sets up expansion of every colour type to RGB, or
// RGBA where it has transparency, at 8 or 16 bits. Returns false on a
// libpng error.
bool png_start(PngReader& r, std::FILE* f, uint32_t& width, uint32_t& height, int& depth, int& channels) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_init_io(r.png, f);
  png_set_user_limits(r.png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);  // the pixel limit is ours to apply
  // Of the chunks beside the pixels only tRNS is used. libpng would read the
  // others whole (text, profiles), allocating whatever length they claim, so
  // that a damaged length could make a small file ask for gigabytes: they
  // are passed over unread.
  static const png_byte unused[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0sBIT\0"
                                   "sCAL\0sPLT\0sRGB\0tEXt\0tIME\0zTXt";
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
  png_set_keep_unknown_chunks(r.png, PNG_HANDLE_CHUNK_NEVER, unused, static_cast<int>(sizeof unused / 5));
  png_read_info(r.png, r.info);
  width = png_get_image_width(r.png, r.info);
  height = png_get_image_height(r.png, r.info);
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

bool png_rows(PngReader& r, png_bytepp rows) {
  if (setjmp(png_jmpbuf(r.png))) return false;
  png_read_image(r.png, rows);
  png_read_end(r.png, nullptr);
  return true;
}

std::string read_png(std::FILE* f, Image& img, int64_t pixel_limit, bool size_only) {
  PngReader r;
  r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &r, png_fail, png_ignore_warning);
  if (r.png) r.info = png_create_info_struct(r.png);
  if (!r.info) throw std::bad_alloc();
  uint32_t width = 0, height = 0;
  int depth = 8, channels = 3;
  if (!png_start(r, f, width, height, depth, channels)) return std::string("bad PNG: ") + r.message;
  if (std::string e; sized(img, width, height, pixel_limit, size_only, e)) return e;

  // 16-bit samples are read big-endian into a buffer twice the size, then
  // scaled down in place, front to back.
  const size_t bytes_per_sample = depth == 16 ? 2 : 1;
  const size_t row_bytes = size_t{width} * static_cast<size_t>(channels) * bytes_per_sample;
  std::vector<uint8_t> pixels(row_bytes * height);
  std::vector<png_bytep> rows(height);
  for (uint32_t y = 0; y < height; ++y) rows[y] = pixels.data() + row_bytes * y;
  if (!png_rows(r, rows.data())) return std::string("bad PNG: ") + r.message;
  if (depth == 16) {
    const size_t samples = size_t{width} * height * static_cast<size_t>(channels);
    for (size_t k = 0; k < samples; ++k) {
      const uint32_t v = uint32_t{pixels[2 * k]} << 8 | pixels[2 * k + 1];
      pixels[k] = static_cast<uint8_t>((v * 255 + 32767) / 65535);
    }
    pixels.resize(samples);  // the image is converted and let go of soon: no copy to a smaller buffer
  }
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
    jerr.emit_message = [](j_common_ptr, int) {};
    jpeg_create_decompress(&cinfo);
  }
  ~JpegReader() { jpeg_destroy_decompress(&cinfo); }
};

// Reads the header alone: nothing the size of the image is allocated yet.
bool jpeg_header(JpegReader& r, std::FILE* f) {
  if (setjmp(r.jump)) return false;
  jpeg_stdio_src(&r.cinfo, f);
  jpeg_read_header(&r.cinfo, TRUE);
  return true;
}

// Decodes RGB and greyscale alike straight to RGB rows.
bool jpeg_rows(JpegReader& r, uint8_t* pixels, size_t row_bytes) {
  if (setjmp(r.jump)) return false;
  r.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&r.cinfo);
  while (r.cinfo.output_scanline < r.cinfo.output_height) {
    JSAMPROW row = pixels + row_bytes * r.cinfo.output_scanline;
    jpeg_read_scanlines(&r.cinfo, &row, 1);
  }
  jpeg_finish_decompress(&r.cinfo);
  return true;
}

std::string read_jpeg(std::FILE* f, Image& img, int64_t pixel_limit, bool size_only) {
  auto r = std::make_unique<JpegReader>();
  if (!jpeg_header(*r, f)) return std::string("bad JPEG: ") + r->message;
  if (r->cinfo.jpeg_color_space == JCS_CMYK || r->cinfo.jpeg_color_space == JCS_YCCK)
    return "CMYK JPEG is not supported: convert it to RGB first";
  const uint32_t width = r->cinfo.image_width, height = r->cinfo.image_height;
  if (std::string e; sized(img, width, height, pixel_limit, size_only, e)) return e;
  const size_t row_bytes = size_t{width} * 3;
  std::vector<uint8_t> pixels(row_bytes * height);
  if (!jpeg_rows(*r, pixels.data(), row_bytes)) return std::string("bad JPEG: ") + r->message;
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
  return static_cast<int>(std::fread(bytes, 1, static_cast<size_t>(n), static_cast<std::FILE*>(gif->UserData)));
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

// Draws the frame just described onto the canvas, row by row; indices
// beyond the colour table are drawn black, as viewers do.
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
    for (uint32_t x = 0; x < fw && y < ch && static_cast<uint32_t>(d.Left) + x < cw; ++x) {
      const int index = row[x];
      if (index == gcb.TransparentColor) continue;
      uint8_t* p = canvas + 4 * (size_t{y} * cw + static_cast<uint32_t>(d.Left) + x);
      const GifColorType c = index < map->ColorCount ? map->Colors[index] : GifColorType{0, 0, 0};
      p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue, p[3] = 255;
    }
  }
  return true;
}

std::string read_gif(std::FILE* f, Image& img, int64_t pixel_limit, bool size_only) {
  int error = 0;
  const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(f, gif_input, &error));
  if (!gif) return bad_gif(error);
  const auto width = static_cast<uint32_t>(gif->SWidth), height = static_cast<uint32_t>(gif->SHeight);
  if (std::string e; sized(img, width, height, pixel_limit, size_only, e)) return e;

  const size_t canvas_bytes = size_t{width} * height * 4;
  std::vector<uint8_t> canvas(canvas_bytes, 0), before, frames;
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
    if (!gif_draw(gif.get(), gcb, canvas.data(), width, height)) return bad_gif(gif->Error);
    frames.insert(frames.end(), canvas.begin(), canvas.end());
    delays.push_back(static_cast<uint32_t>(gcb.DelayTime) * 10);  // stored in hundredths of a second
    if (gcb.DisposalMode == DISPOSE_BACKGROUND) {
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

// ---- PPM ------------------------------------------------------------------

// Reads a header number after white space and # comments; -1 if there is none.
int64_t ppm_number(std::FILE* f) {
  int c = std::fgetc(f);
  for (;;) {
    if (c == '#') {
      while (c != '\n' && c != EOF) c = std::fgetc(f);
    } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      c = std::fgetc(f);
    } else {
      break;
    }
  }
  if (c < '0' || c > '9') return -1;
  int64_t v = 0;
  for (; c >= '0' && c <= '9'; c = std::fgetc(f))
    if ((v = v * 10 + (c - '0')) > (int64_t{1} << 40)) return -1;
  if (c != ' ' && c != '\t' && c != '\n' && c != '\r') return -1;  // one white space before the pixels
  return v;
}

std::string read_ppm(std::FILE* f, Image& img, int64_t pixel_limit, bool size_only) {
  std::fseek(f, 2, SEEK_SET);
  const int64_t width = ppm_number(f), height = ppm_number(f), maxval = ppm_number(f);
  if (width < 0 || height < 0 || maxval < 0) return "bad PPM header";
  if (maxval != 255) return "PPM with maxval " + std::to_string(maxval) + " is not supported (only 255)";
  if (std::string e; sized(img, static_cast<uint64_t>(width), static_cast<uint64_t>(height), pixel_limit, size_only, e))
    return e;
  const size_t npix = static_cast<size_t>(width * height);
  std::vector<uint8_t> pixels(npix * 3);
  if (std::fread(pixels.data(), 3, npix, f) != npix) return std::ferror(f) ? std::strerror(errno) : "truncated PPM";
  img.channels = 3;
  img.pixels = std::move(pixels);
  return "";
}

std::string read_file(std::FILE* f, Image& img, int64_t pixel_limit, bool size_only) {
  uint8_t magic[8] = {};
  const size_t got = std::fread(magic, 1, sizeof magic, f);
  if (std::ferror(f)) return std::strerror(errno);
  std::rewind(f);
  if (got == 8 && png_sig_cmp(magic, 0, 8) == 0) return read_png(f, img, pixel_limit, size_only);
  if (got >= 3 && magic[0] == 0xFF && magic[1] == 0xD8 && magic[2] == 0xFF)
    return read_jpeg(f, img, pixel_limit, size_only);
  if (got >= 4 && std::memcmp(magic, "GIF8", 4) == 0) return read_gif(f, img, pixel_limit, size_only);
  if (got >= 2 && magic[0] == 'P' && magic[1] == '6') return read_ppm(f, img, pixel_limit, size_only);
  return "not a PNG, JPEG, GIF or binary PPM image";
}

std::string read_path(const std::string& path, Image& img, int64_t pixel_limit, bool size_only) {
  errno = 0;
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) return std::strerror(errno);
  return read_file(f.get(), img, pixel_limit, size_only);
}

}  // namespace

std::string read_image(std::FILE* file, Image& img, int64_t pixel_limit) {
  return read_file(file, img, pixel_limit, false);
}

std::string read_image(const std::string& path, Image& img, int64_t pixel_limit) {
  return read_path(path, img, pixel_limit, false);
}

std::string read_image_size(const std::string& path, uint32_t& width, uint32_t& height) {
  Image img;
  const std::string error = read_path(path, img, max_pixels, true);
  width = img.width;
  height = img.height;
  return error;
}

}  // namespace lz16
