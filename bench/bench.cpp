// lz16-bench: times lz16's encoder (on every core, and held to one
// thread), the exhaustive reference search and zstd -1 on the same raw RGB
// images, memory to memory, side by side; and lz16's decoder on the files
// lz16 makes of them.
//
//   lz16-bench --corpus=DIR [Google Benchmark flags]
//
// DIR holds NAME.rgb files and a manifest.txt ("NAME WIDTH HEIGHT KIND").
// Each timed lz16 run includes the RGB conversion and the container head;
// the three encoders must produce the same bytes or the benchmark fails.
#include <benchmark/benchmark.h>
#include <zstd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "container.h"
#include "decoder.h"
#include "lz16dec.h"
#include "encoder.h"
#include "pixels.h"

namespace {

struct Image {
  std::string name;
  std::vector<uint8_t> rgb;
};

enum class Encoder { lz16, lz16_one_thread, exhaustive };

size_t file_size(size_t code_len, size_t data_len) {
  return static_cast<size_t>(lz16::container_head(static_cast<int32_t>(code_len)).size) + code_len + data_len;
}

// The compressed size, so that the work cannot be optimised away. lz16's
// segments stay in the pieces its parts leave, as the command writes them;
// keep gets them joined, for comparing.
size_t compress(const std::vector<uint8_t>& rgb, Encoder encoder, lz16::Segments* keep = nullptr) {
  const size_t npix = rgb.size() / 3;
  lz16::PixelWords words(npix);
  lz16::convert_rgb24(rgb.data(), npix, words.data());
  const int32_t n = static_cast<int32_t>(npix);
  if (encoder == Encoder::exhaustive) {
    lz16::Segments seg = lz16::encode_exhaustive(words.data(), n);
    const size_t size = file_size(seg.code_seg.size(), seg.data_seg.size());
    if (keep) *keep = std::move(seg);
    return size;
  }
  lz16::SegmentPieces seg = encoder == Encoder::lz16_one_thread ? lz16::encode_parts(words.data(), n, 1)
                                                                : lz16::encode_pieces(words.data(), n);
  const size_t size = file_size(lz16::byte_count(seg.code), lz16::byte_count(seg.data));
  if (keep) *keep = lz16::join(std::move(seg));
  return size;
}

void run_lz16(benchmark::State& state, const Image* img, Encoder encoder) {
  for (auto _ : state) benchmark::DoNotOptimize(compress(img->rgb, encoder));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * img->rgb.size()));
}

// Also checks that all three encoders give the same bytes.
void run_exhaustive(benchmark::State& state, const Image* img) {
  lz16::Segments fast, one;
  compress(img->rgb, Encoder::lz16, &fast);
  compress(img->rgb, Encoder::lz16_one_thread, &one);
  if (one != fast) {
    state.SkipWithError("lz16 on one thread and on all cores differ");
    return;
  }
  for (auto _ : state) {
    lz16::Segments slow;
    benchmark::DoNotOptimize(compress(img->rgb, Encoder::exhaustive, &slow));
    if (slow != fast) {
      state.SkipWithError("lz16 and the exhaustive search differ");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * img->rgb.size()));
}

// The decoders side by side, each into a buffer made ready beforehand: the
// strict C++ decoder and the device decoder's ways in: the stream 256
// pixels (a band of a small screen's rows) at a time, and one skip of the
// whole image, which decodes into the stream's window alone.
enum class Decoder { strict, unpack, checked, stream, skip };

size_t decode_with(Decoder d, const std::vector<uint8_t>& file, std::vector<uint16_t>& out) {
  static lz16_stream s;
  switch (d) {
    case Decoder::strict:
      return lz16::decode(file.data(), file.size(), out.data(), out.size()).npix;
    case Decoder::unpack:
      return static_cast<size_t>(lz16_unpack(file.data(), out.data()) - out.data());
    case Decoder::checked:
      return static_cast<size_t>(lz16_decode(file.data(), file.size(), out.data(), out.size()));
    case Decoder::stream: {
      size_t got = 0;
      lz16_stream_init(&s, file.data(), file.size());
      for (int32_t n; (n = lz16_stream_read(&s, out.data() + got, std::min<size_t>(256, out.size() - got))) > 0;)
        got += static_cast<size_t>(n);
      return got;
    }
    case Decoder::skip:
      lz16_stream_init(&s, file.data(), file.size());
      return static_cast<size_t>(lz16_stream_skip(&s, out.size()));
  }
  return 0;
}

void run_decoder(benchmark::State& state, const Image* img, Decoder d) {
  lz16::Segments seg;
  compress(img->rgb, Encoder::lz16, &seg);
  const std::vector<uint8_t> file = lz16::container_file(seg);
  std::vector<uint16_t> out(img->rgb.size() / 3);
  for (auto _ : state) {
    if (decode_with(d, file, out) != out.size()) {
      state.SkipWithError("lz16's own file does not decode");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * out.size() * 2));
}

void run_zstd(benchmark::State& state, const Image* img) {
  std::vector<uint8_t> out(ZSTD_compressBound(img->rgb.size()));
  for (auto _ : state)
    benchmark::DoNotOptimize(ZSTD_compress(out.data(), out.size(), img->rgb.data(), img->rgb.size(), 1));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * img->rgb.size()));
}

std::vector<Image> load_corpus(const std::string& dir) {
  std::vector<Image> images;
  std::ifstream manifest(dir + "/manifest.txt");
  std::string line;
  while (std::getline(manifest, line)) {
    std::istringstream fields(line);
    Image img;
    if (!(fields >> img.name)) continue;
    std::ifstream f(dir + "/" + img.name + ".rgb", std::ios::binary);
    img.rgb.assign(std::istreambuf_iterator<char>(f), {});
    images.push_back(std::move(img));
  }
  return images;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::string dir;
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--corpus=", 9) == 0) dir = argv[i] + 9;
  if (dir.empty()) {
    std::fprintf(stderr, "usage: lz16-bench --corpus=DIR [benchmark flags]\n");
    return 2;
  }
  static std::vector<Image> images = load_corpus(dir);
  if (images.empty()) {
    std::fprintf(stderr, "lz16-bench: no images in %s/manifest.txt\n", dir.c_str());
    return 1;
  }
  for (const Image& img : images) {
    // Five repetitions each, reported as medians, which a busy neighbour on
    // a shared machine moves far less than a mean; the exhaustive search is
    // slow enough that one iteration per repetition is plenty.
    for (auto* b : {benchmark::RegisterBenchmark(("lz16/" + img.name).c_str(), run_lz16, &img, Encoder::lz16),
                    benchmark::RegisterBenchmark(("lz16-1t/" + img.name).c_str(), run_lz16, &img,
                                                 Encoder::lz16_one_thread),
                    benchmark::RegisterBenchmark(("zstd-1/" + img.name).c_str(), run_zstd, &img),
                    benchmark::RegisterBenchmark(("dec-strict/" + img.name).c_str(), run_decoder, &img, Decoder::strict),
                    benchmark::RegisterBenchmark(("dec-unpack/" + img.name).c_str(), run_decoder, &img, Decoder::unpack),
                    benchmark::RegisterBenchmark(("dec-checked/" + img.name).c_str(), run_decoder, &img,
                                                 Decoder::checked),
                    benchmark::RegisterBenchmark(("dec-stream/" + img.name).c_str(), run_decoder, &img, Decoder::stream),
                    benchmark::RegisterBenchmark(("dec-skip/" + img.name).c_str(), run_decoder, &img, Decoder::skip),
                    benchmark::RegisterBenchmark(("exhaustive/" + img.name).c_str(), run_exhaustive, &img)})
      b->Repetitions(5)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(0.3);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
