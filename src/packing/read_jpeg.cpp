// JPEG, through libjpeg-turbo: colour and greyscale, both to RGB. CMYK is
// refused.
// (jpeglib.h needs size_t and FILE declared first)
#include <csetjmp>
#include <cstdio>

#include <jerror.h>
#include <jpeglib.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "readers.h"

namespace lz16::readers {

namespace {

// A block of 64 pixels costs at least one bit of Huffman code (512 pixels
// a byte), with room to spare for arithmetic coding.
constexpr uint64_t jpeg_pixels_per_byte = 1024;

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

}  // namespace

std::string read_jpeg(const Input& in, Image& img) {
  auto r = std::make_unique<JpegReader>();
  if (!jpeg_header(*r, in.file)) return std::string("bad JPEG: ") + r->message;
  if (r->cinfo.jpeg_color_space == JCS_CMYK || r->cinfo.jpeg_color_space == JCS_YCCK)
    return "CMYK JPEG is not supported: convert it to RGB first";
  const uint32_t width = r->cinfo.image_width, height = r->cinfo.image_height;
  // A progressive file has libjpeg allocate the whole image's coefficients up front.
  if (std::string e = admit(in, img, "JPEG", width, height, 1, jpeg_pixels_per_byte); !e.empty()) return e;
  if (in.mode == Read::info) return info_frames(img, 1), "";
  const size_t row_bytes = size_t{width} * 3;
  if (std::string e = check_first(in, uint64_t{row_bytes} * height, read_jpeg); !e.empty()) return e;
  std::vector<uint8_t> pixels;
  const bool keep = in.mode == Read::pixels;
  if (keep) pixels.reserve(static_cast<size_t>(std::min(uint64_t{row_bytes} * height, allowance(in.file.size()))));
  if (!jpeg_rows(*r, pixels, row_bytes, keep)) return std::string("bad JPEG: ") + r->message;
  img.channels = 3;
  img.pixels = std::move(pixels);
  img.delay_ms = {0};
  return "";
}

}  // namespace lz16::readers
