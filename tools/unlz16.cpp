// unlz16: checks and decodes an lz16 compressed image.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "assets.h"
#include "binary_stdio.h"
#include "decoder.h"
#include "image_out.h"
#include "planes.h"

namespace {

const char usage[] =
    "usage: unlz16 [options] [FILE]\n"
    "Decodes an lz16 compressed image from FILE, or standard input, to standard output.\n"
    "\n"
    "  --format rgb24   raw 24-bit RGB, 5-bit channels widened to 8 bits (default)\n"
    "  --format rgb16   the 16-bit pixel words, low byte first\n"
    "  --format ppm     binary PPM; needs --width\n"
    "  --format png     PNG; needs --width\n"
    "  --width W        image width in pixels (the file does not store it)\n"
    "  --alpha A.lz     FILE is a colour plane and A.lz its alpha plane (lz16pack --alpha):\n"
    "                   with --format png, an RGBA PNG (needs --width); with --format rgba,\n"
    "                   raw RGBA, 4 bytes a pixel; with --test, the pair checked\n"
    "  --test           check the whole file and report it; write no pixels\n"
    "A mask (lz16pack --mask) decodes as its alpha in grey, black clear to white opaque.\n"
    "  --help           show this help\n"
    "  --version        show the version\n"
    "\n"
    "Exit status: 0 valid, 1 invalid file or failed I/O, 2 bad usage.\n";

// What to add when file's pixels are no whole number of rows: a colour
// plane holds only the pixels that show, so if the alpha plane lz16pack
// writes beside it is there, say how to view the pair.
std::string colour_plane_hint(const std::string& file, size_t width) {
  if (!file.ends_with(lz16::lz_suffix) || file.ends_with(lz16::alpha_suffix)) return "";
  const std::string alpha = file.substr(0, file.size() - lz16::lz_suffix.size()) + std::string(lz16::alpha_suffix);
  if (std::error_code ec; !std::filesystem::is_regular_file(alpha, ec)) return "";
  return ": it is the colour plane of an image with alpha, which holds only the pixels that show; view the pair "
         "with unlz16 --alpha " + alpha + " --format png --width " + std::to_string(width) + " " + file;
}

int usage_error(const std::string& message) {
  std::fprintf(stderr, "unlz16: %s (try 'unlz16 --help')\n", message.c_str());
  return 2;
}

int failure(const std::string& name, const std::string& message) {
  std::fprintf(stderr, "unlz16: %s: %s\n", name.c_str(), message.c_str());
  return 1;
}

bool read_all(std::FILE* in, std::vector<uint8_t>& bytes) {
  std::vector<uint8_t> block(1 << 20);
  size_t got;
  while ((got = std::fread(block.data(), 1, block.size(), in)) > 0)
    bytes.insert(bytes.end(), block.begin(), block.begin() + static_cast<long>(got));
  return !std::ferror(in);
}

struct Options {
  std::string format = "rgb24";
  long long width = 0;  // 0: not given
  bool test = false;
  std::string file;  // empty or "-": standard input
  std::string alpha;  // the alpha plane's file, if FILE is a colour plane
};

// Parses the command line into opts. Returns -1 to go on, else an exit status.
int parse(int argc, char** argv, Options& opts) {
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (only_files || arg == "-" || arg.rfind("--", 0) != 0) {
      if (!opts.file.empty()) return usage_error("more than one input file");
      opts.file = arg;
      continue;
    }
    if (arg == "--") {
      only_files = true;
      continue;
    }
    std::string value;
    const size_t eq = arg.find('=');
    const bool has_value = eq != std::string::npos;
    if (has_value) {
      value = arg.substr(eq + 1);
      arg.erase(eq);
    }
    auto take_value = [&]() -> bool {
      if (has_value) return true;
      if (i + 1 >= argc) return false;
      value = argv[++i];
      return true;
    };
    if (arg == "--help" && !has_value) {
      std::fputs(usage, stdout);
      return 0;
    } else if (arg == "--version" && !has_value) {
      std::printf("unlz16 %s\n", LZ16_VERSION);
      return 0;
    } else if (arg == "--test" && !has_value) {
      opts.test = true;
    } else if (arg == "--format") {
      if (!take_value()) return usage_error("--format needs a value");
      if (value != "rgb24" && value != "rgb16" && value != "ppm" && value != "png" && value != "rgba")
        return usage_error("unknown format '" + value + "'");
      opts.format = value;
    } else if (arg == "--alpha") {
      if (!take_value() || value.empty()) return usage_error("--alpha needs the alpha plane's file");
      opts.alpha = value;
    } else if (arg == "--width") {
      if (!take_value()) return usage_error("--width needs a value");
      char* end = nullptr;
      errno = 0;
      opts.width = std::strtoll(value.c_str(), &end, 10);
      if (value.empty() || *end != '\0' || errno != 0 || opts.width < 1 || opts.width > 0x7FFFFFFF)
        return usage_error("bad width '" + value + "'");
    } else {
      return usage_error("unknown option '" + std::string(argv[i]) + "'");
    }
  }
  if ((opts.format == "ppm" || opts.format == "png") && opts.width == 0 && !opts.test)
    return usage_error("--format " + opts.format + " needs --width");
  if (opts.format == "rgba" && opts.alpha.empty()) return usage_error("--format rgba needs --alpha");
  if (!opts.alpha.empty() && !opts.test && opts.format != "png" && opts.format != "rgba")
    return usage_error("--alpha gives RGBA: --format png or rgba");
  return -1;
}

// Reads and decodes the file at path ("" or "-": standard input) into
// words (a mask, or with coded_alpha a coded alpha plane, is only read);
// "" or why not, with the file's name.
std::string decode_file(const std::string& path, std::vector<uint8_t>& file, std::vector<uint16_t>& words,
                        lz16::DecodeResult& result, bool coded_alpha = false) {
  const bool from_stdin = path.empty() || path == "-";
  const std::string name = from_stdin ? "standard input" : path;
  std::FILE* in = from_stdin ? stdin : std::fopen(path.c_str(), "rb");
  if (!in) return name + ": " + std::strerror(errno);
  const bool read = read_all(in, file);
  if (!from_stdin) std::fclose(in);
  if (!read) return name + ": cannot read: " + std::strerror(errno);
  if ((coded_alpha && lz16::is_coded_alpha(file)) || lz16::is_mask(file)) return "";
  words = lz16::decode_to_vector(file.data(), file.size(), &result);
  if (result.error != lz16::DecodeError::none)
    return name + ": " + lz16::decode_error_text(result.error) + " at byte " + std::to_string(result.offset);
  return "";
}

// The colour plane's words and its alpha plane's file as an RGBA PNG (or
// only checked); "" or why not.
std::string write_rgba(const Options& opts, const std::vector<uint8_t>& colour_file,
                       const std::vector<uint16_t>& colour) {
  std::vector<uint8_t> file;
  std::vector<uint16_t> alpha;
  lz16::DecodeResult result;
  lz16::PixelWords words;
  std::vector<uint8_t> levels;
  if (std::string error = decode_file(opts.alpha, file, alpha, result, true); !error.empty()) return error;
  const std::string error = lz16::is_coded_alpha(file) ? lz16::join_coded(colour, colour_file.size(), file, words, levels)
                                                       : lz16::join_planes(colour, colour_file.size(), alpha, words, levels);
  if (!error.empty()) return opts.alpha + ": " + error;
  if (opts.test) {
    std::fprintf(stderr, "%s: ok, %zu pixels with alpha, %zu of them shown\n", opts.alpha.c_str(), words.size(),
                 colour.size());
    return "";
  }
  const size_t width = opts.format == "rgba" ? words.size() : static_cast<size_t>(opts.width);
  if (words.size() % width != 0 || words.size() / width > 0x7FFFFFFF)
    return opts.alpha + ": " + std::to_string(words.size()) + " pixels are not a whole number of rows of " +
           std::to_string(width);
  std::string rgba(4 * words.size(), '\0');
  for (size_t k = 0; k < words.size(); ++k) {
    lz16::widen_rgb24(&words[k], 1, reinterpret_cast<uint8_t*>(&rgba[4 * k]));
    rgba[4 * k + 3] = static_cast<char>(lz16::widen5(levels[k]));
  }
  if (opts.format == "png")
    rgba = lz16::png_bytes(reinterpret_cast<const uint8_t*>(rgba.data()), 4, static_cast<uint32_t>(width),
                           static_cast<uint32_t>(words.size() / width));
  if (std::fwrite(rgba.data(), 1, rgba.size(), stdout) != rgba.size() || std::fflush(stdout) != 0)
    return std::string("standard output: cannot write: ") + std::strerror(errno);
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  use_binary_stdio();
  Options opts;
  if (const int status = parse(argc, argv, opts); status >= 0) return status;

  const std::string name = opts.file.empty() || opts.file == "-" ? "standard input" : opts.file;
  std::vector<uint8_t> file;
  try {
    std::vector<uint16_t> words;
    lz16::DecodeResult result;
    if (std::string error = decode_file(opts.file, file, words, result); !error.empty()) {
      std::fprintf(stderr, "unlz16: %s\n", error.c_str());
      return 1;
    }
    if (lz16::is_mask(file)) {  // its levels in grey, from black (clear) to white (opaque)
      if (!opts.alpha.empty()) return failure(name, "a mask is the alpha alone: it takes no --alpha");
      std::vector<uint8_t> levels;
      if (std::string error = lz16::read_mask(file, levels); !error.empty()) return failure(name, error);
      result.npix = levels.size();
      words.resize(levels.size());
      for (size_t k = 0; k < levels.size(); ++k) words[k] = lz16::level_word(levels[k], levels[k], levels[k]);
      if (opts.test) {
        const auto shown = std::count_if(levels.begin(), levels.end(), [](uint8_t l) { return l != 0; });
        std::fprintf(stderr, "%s: ok, a mask of %zu pixels, %td of them shown\n", name.c_str(), levels.size(), shown);
        return 0;
      }
    }
    if (!opts.alpha.empty()) {
      const std::string error = write_rgba(opts, file, words);
      if (!error.empty()) std::fprintf(stderr, "unlz16: %s\n", error.c_str());
      return error.empty() ? 0 : 1;
    }
    if (opts.test) {
      std::fprintf(stderr, "%s: ok, %zu pixels, code segment %zu bytes, data segment %zu bytes\n", name.c_str(),
                   result.npix, result.code_len, result.data_len);
      return 0;
    }

    bool ok = true;
    if (opts.format == "rgb24") {
      ok = lz16::write_rgb24(stdout, words.data(), words.size());
    } else if (opts.format == "rgb16") {
      ok = lz16::write_rgb16(stdout, words.data(), words.size());
    } else {
      const size_t width = static_cast<size_t>(opts.width);
      if (words.empty()) return failure(name, "the image has no pixels to write as " + opts.format);
      if (words.size() % width != 0)
        return failure(name, std::to_string(words.size()) + " pixels are not a whole number of rows of " +
                                 std::to_string(width) + colour_plane_hint(opts.file, width));
      if (words.size() / width > 0x7FFFFFFF) return failure(name, "the image is too tall for " + opts.format);
      const auto w32 = static_cast<uint32_t>(width), h32 = static_cast<uint32_t>(words.size() / width);
      ok = opts.format == "ppm" ? lz16::write_ppm(stdout, words.data(), w32, h32)
                                : lz16::write_png(stdout, words.data(), w32, h32);
    }
    if (!ok || std::fflush(stdout) != 0)
      return failure("standard output", std::string("cannot write: ") + std::strerror(errno));
  } catch (const std::bad_alloc&) {
    return failure(name, "out of memory");
  }
  return 0;
}
