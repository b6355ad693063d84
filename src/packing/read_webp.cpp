// WebP, through libwebp: a still picture through the simple decoder, an
// animation through the animation decoder, each frame the whole canvas as
// a viewer shows it, its delay the time to the next.
//
// libwebp holds a whole picture while it decodes it (a lossless one as
// 32-bit pixels of its own, an animation as two canvases), and a lossless
// stream can describe a huge picture in a few bytes: so the memory a WebP
// needs is held to the allowance outright, but for a lossy picture without
// alpha, which libwebp decodes a band at a time and which is first decoded
// through, scaled to one pixel, keeping nothing. The frame count is read
// from the file's chunks before anything is decoded.
#include <webp/decode.h>
#include <webp/demux.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "readers.h"

namespace lz16::readers {

namespace {

struct AnimCloser {
  void operator()(WebPAnimDecoder* d) const noexcept { WebPAnimDecoderDelete(d); }
};

// The animation frames (ANMF chunks) of the RIFF file, counted up to one
// past limit.
uint64_t count_frames(std::span<const uint8_t> f, uint64_t limit) {
  uint64_t frames = 0;
  for (size_t at = 12; at + 8 <= f.size() && frames <= limit;) {
    const uint64_t size = uint64_t{f[at + 4]} | uint64_t{f[at + 5]} << 8 | uint64_t{f[at + 6]} << 16 |
                          uint64_t{f[at + 7]} << 24;
    frames += f[at] == 'A' && f[at + 1] == 'N' && f[at + 2] == 'M' && f[at + 3] == 'F';
    if (size > f.size() - at - 8) break;
    at += 8 + static_cast<size_t>(size + (size & 1));
  }
  return frames;
}

std::string too_large(const Image& img, const char* what, uint64_t bytes, size_t file_size) {
  constexpr uint64_t mb = 1 << 20;
  return "image too large for its file: " + std::string(what) + " of " + std::to_string(img.width) + "x" +
         std::to_string(img.height) + " takes " + std::to_string((bytes + mb - 1) / mb) +
         " MB to decode, and a file of " + std::to_string(file_size) + " bytes may take " +
         std::to_string(allowance(file_size) / mb) + " MB: save it as PNG";
}

std::string read_still(const Input& in, const WebPBitstreamFeatures& features, Image& img) {
  img.channels = features.has_alpha ? 4 : 3;
  const size_t pixels = size_t{img.width} * img.height, bytes = pixels * static_cast<size_t>(img.channels);
  const bool banded = features.format == 1 && !features.has_alpha;  // lossy, opaque
  if (bytes + (banded ? 0 : 4 * pixels) > allowance(in.file.size())) {
    if (!banded) return too_large(img, "a WebP", bytes + 4 * pixels, in.file.size());
    if (in.mode == Read::pixels)
      if (std::string e = check_first(in, bytes, read_webp); !e.empty()) return e;
  }
  if (in.mode == Read::check) {  // through the picture, scaled to one pixel
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) return "bad WebP: libwebp's version";
    config.options.use_scaling = 1;
    config.options.scaled_width = config.options.scaled_height = 1;
    const VP8StatusCode status = WebPDecode(in.file.data(), in.file.size(), &config);
    WebPFreeDecBuffer(&config.output);
    return status == VP8_STATUS_OK ? "" : "bad WebP: the picture does not decode";
  }
  std::vector<uint8_t> out(bytes);
  const int stride = static_cast<int>(img.width) * img.channels;
  if (!(features.has_alpha ? WebPDecodeRGBAInto : WebPDecodeRGBInto)(in.file.data(), in.file.size(), out.data(),
                                                                     out.size(), stride))
    return "bad WebP: the picture does not decode";
  img.pixels = std::move(out);
  img.delay_ms = {0};
  return "";
}

std::string read_animation(const Input& in, uint64_t frame_count, Image& img) {
  const size_t canvas_bytes = size_t{img.width} * img.height * 4;
  if (2 * canvas_bytes > allowance(in.file.size()))
    return too_large(img, "a WebP animation", 2 * canvas_bytes, in.file.size());
  if (std::string e = check_first(in, (2 + frame_count) * canvas_bytes, read_webp); !e.empty()) return e;
  const WebPData data{in.file.data(), in.file.size()};
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return "bad WebP: libwebp's version";
  options.color_mode = MODE_RGBA;
  options.use_threads = 0;
  const std::unique_ptr<WebPAnimDecoder, AnimCloser> anim(WebPAnimDecoderNew(&data, &options));
  WebPAnimInfo info;
  if (!anim || !WebPAnimDecoderGetInfo(anim.get(), &info) || info.frame_count != frame_count)
    return "bad WebP animation";
  std::vector<uint8_t> frames;
  std::vector<uint32_t> delays;
  for (int previous = 0; WebPAnimDecoderHasMoreFrames(anim.get());) {
    uint8_t* canvas;
    int timestamp;
    if (!WebPAnimDecoderGetNext(anim.get(), &canvas, &timestamp)) return "bad WebP: a frame does not decode";
    if (in.mode == Read::pixels) frames.insert(frames.end(), canvas, canvas + canvas_bytes);
    delays.push_back(static_cast<uint32_t>(std::max(timestamp - previous, 0)));
    previous = timestamp;
  }
  return canvas_frames(img, std::move(frames), std::move(delays));
}

}  // namespace

std::string read_webp(const Input& in, Image& img) {
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(in.file.data(), in.file.size(), &features) != VP8_STATUS_OK) return "bad WebP header";
  const uint64_t frames = features.has_animation ? count_frames(in.file, in.limits.frames) : 1;
  if (std::string e = admit(in, img, "WebP", static_cast<uint64_t>(features.width),
                            static_cast<uint64_t>(features.height), std::max<uint64_t>(frames, 1), 0);
      !e.empty())
    return e;
  if (in.mode == Read::info) return info_frames(img, std::max<uint64_t>(frames, 1)), "";
  return features.has_animation ? read_animation(in, frames, img) : read_still(in, features, img);
}

}  // namespace lz16::readers
