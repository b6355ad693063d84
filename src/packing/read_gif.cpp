// GIF, through giflib's low-level calls, a record at a time, so that
// nothing is allocated for a frame but one row of it: each row is drawn
// onto the canvas as it is decoded, and the canvas is copied out once a
// frame. A GIF of one frame is a still picture.
#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "readers.h"

namespace lz16::readers {

namespace {

// A GIF code of 12 bits gives at most 4096 pixels.
constexpr uint64_t gif_pixels_per_byte = 4096;

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

// Passes over the image data of the frame just described, undecoded.
bool gif_skip(GifFileType* gif) {
  int code_size;
  GifByteType* block = nullptr;
  if (DGifGetCode(gif, &code_size, &block) == GIF_ERROR) return false;
  while (block)
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  return true;
}

// Draws the frame just described onto the canvas, row by row, or only
// decodes it without a canvas; indices beyond the colour table are drawn
// black, as viewers do.
bool gif_draw(GifFileType* gif, const GraphicsControlBlock& gcb, uint8_t* canvas, uint32_t cw, uint32_t ch) {
  const GifImageDesc& d = gif->Image;
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
  const auto fw = static_cast<uint32_t>(d.Width), fh = static_cast<uint32_t>(d.Height);
  if (fw == 0 || fh == 0) return gif_skip(gif);  // nothing to draw, but its data to pass over
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

}  // namespace

std::string read_gif(const Input& in, Image& img) {
  int error = 0;
  Source src{in.file};
  const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&src, gif_input, &error));
  if (!gif) return bad_gif(error);
  const auto width = static_cast<uint32_t>(gif->SWidth), height = static_cast<uint32_t>(gif->SHeight);
  // The canvas is allocated whole: the frames drawn on it must be able to fill it.
  if (std::string e = admit(in, img, "GIF", width, height, 1, gif_pixels_per_byte); !e.empty()) return e;

  // Memory past the allowance, for the canvas or for a frame more, is
  // taken only once the whole file has been decoded without it.
  const size_t canvas_bytes = size_t{width} * height * 4;
  bool checked = false;
  auto check = [&](uint64_t bytes) {
    if (checked || bytes <= allowance(in.file.size())) return std::string();
    checked = true;
    return check_first(in, bytes, read_gif);
  };
  if (std::string e = check(canvas_bytes); !e.empty()) return e;
  const bool draws = in.mode != Read::info, keep = in.mode == Read::pixels;
  std::vector<uint8_t> canvas(keep ? canvas_bytes : 0, 0), before, frames;
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
    if (uint64_t(std::max(d.Width, 1)) * uint64_t(std::max(d.Height, 1)) > uint64_t(in.limits.pixels))
      return "image too large: a frame of " + std::to_string(d.Width) + "x" + std::to_string(d.Height) +
             " is more than " + std::to_string(in.limits.pixels) + " pixels";
    // The frame limit and the pixel limit over every frame so far, before the frame is decoded.
    if (std::string e = admit(in, img, "GIF", width, height, delays.size() + 1, 0); !e.empty()) return e;
    if (!d.ColorMap && !gif->SColorMap) return "bad GIF: a frame without a colour table";
    if (!draws) {
      if (!gif_skip(gif.get())) return bad_gif(gif->Error);
      delays.push_back(0);
      continue;
    }
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
  return canvas_frames(img, std::move(frames), std::move(delays));
}

}  // namespace lz16::readers
