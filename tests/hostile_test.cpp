// lz16pack under interrupts, concurrent runs, hostile names and files that
// lie about their size: nothing left behind, nothing mixed, nothing lost.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <csignal>
#include <filesystem>

#include "helpers.h"
#include "image_out.h"
#include "synth.h"

namespace lz16 {
namespace {

namespace fs = std::filesystem;

class Hostile : public test::ProcessTest {
 protected:
  test::Proc pack(const std::string& args, const std::string& prefix = "") {
    return run_cmd("cd " + dir_ + " && " + prefix + LZ16PACK_EXE + " " + args, "> /dev/null");
  }
  void write_png(const std::string& name, std::string_view kind, int width, int height, uint64_t seed = 1) {
    const std::vector<uint8_t> rgb = synth::make_rgb24(kind, width, height, seed);
    const std::string png = png_bytes(rgb.data(), 3, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    write_file(name.c_str(), test::Bytes(png.begin(), png.end()));
  }
  // The files of folder, hidden ones too, with their contents.
  std::map<std::string, std::string> files_in(const char* folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(path(folder))) files[e.path().filename()] = read_file(e.path());
    return files;
  }
  // Peak resident memory in KB of a command run on its own.
  static long peak_kb(const std::string& cmd) {
    const pid_t pid = fork();
    if (pid == 0) execl("/bin/sh", "sh", "-c", ("exec " + cmd + " 2>/dev/null").c_str(), nullptr), _exit(127);
    int status;
    rusage use{};
    wait4(pid, &status, 0, &use);
    return use.ru_maxrss;
  }
};

TEST_F(Hostile, InterruptsLeaveNoTemporaryFileAndTheNextRunRemovesAKilledOnes) {
  for (int k = 0; k < 4; ++k) write_png("n" + std::to_string(k) + ".png", "noise", 1024, 600, k);
  ASSERT_EQ(pack("-q -f c -j 2 -o ref n*.png").status, 0);
  const auto ref = files_in("ref");
  for (const auto& [signal, number] : {std::pair{"INT", SIGINT}, {"TERM", SIGTERM}, {"KILL", SIGKILL}})
    for (const char* after : {"0.15", "0.4", "0.8"}) {
      SCOPED_TRACE(std::string(signal) + " after " + after);
      fs::remove_all(path("o"));
      const test::Proc p = pack("-q -f c -j 2 -o o n*.png", std::string("timeout --preserve-status -s ") + signal +
                                                                " " + after + " ");
      fs::create_directory(path("o"));  // (stopped before it made its output folder, on a slow machine)
      for (const auto& [name, bytes] : files_in("o"))  // whole assets, and no temporary file but a killed run's
        EXPECT_TRUE(ref.contains(name) ? ref.at(name) == bytes : number == SIGKILL && name.ends_with(".lz16tmp")) << name;
      if (number == SIGKILL) {  // and a leftover for certain, as a killed run leaves it
        // n0.c gone, so that it is written again, through its leftover's name
        write_file("o/.n0.c.lz16tmp", test::hex("01 02 03")), fs::remove(path("o/n0.c"));
        ASSERT_EQ(pack("-q -f c -o o n*.png").status, 0);
        EXPECT_TRUE(files_in("o") == ref);
      } else if (p.status != 0) {  // else done before the signal
        EXPECT_EQ(p.status, 128 + number);
        EXPECT_EQ(p.err, std::string("lz16pack: interrupted (SIG") + signal + "); no temporary file is left\n");
      }
    }
  // Certainly interrupted while a temporary file is there: n0.c is a FIFO
  // that nothing reads, which lz16pack waits to write into, n0.h's
  // temporary file made.
  const test::Proc p = run_cmd("cd " + dir_ + " && rm -rf f && mkdir f && mkfifo f/n0.c && { " + LZ16PACK_EXE +
                               " -q -f c -o f n0.png & for t in $(seq 200); do [ -e f/.n0.h.lz16tmp ] && break; sleep 0.05; done; kill -INT $!;"
                               " wait $!; }", "> /dev/null");
  EXPECT_EQ(p.status, 130);
  EXPECT_TRUE(fs::is_fifo(path("f/n0.c")) && names_in("f") == "n0.c") << p.err;
}

TEST_F(Hostile, ConcurrentRunsNeverLeaveAPairThatCompilesMixed) {
  for (char run = 0; run < 4; ++run)
    for (char k = 0; k < 6; ++k) write_png({'v', char('0' + run), '/', 'i', char('0' + k), '.', 'p', 'n', 'g'}, "tiles",
                                           64 + 8 * run, 48, 10 * k + run);
  std::ofstream(path("use.c")) << "#include \"i0.h\"\nint main(void) { return I0_LZ16_SIZE > 0 ? 0 : 1; }\n";
  auto builds = [&](const char* folder, const std::string& c) {
    return run_cmd("cc -std=c99 -pedantic -Wall -Werror -I" + path(folder) + " " + path(folder) + "/" + c + " " +
                   path("use.c") + " -o " + path("use"), "> /dev/null");
  };
  for (int round = 0; round < 5; ++round) {  // each round's pairs checked: a mix shows in any of them
    ASSERT_EQ(run_cmd("cd " + dir_ + " && for v in v0 v1 v2 v3; do " + LZ16PACK_EXE +
                      " -q -f c -o o $v/*.png & done; wait", "> /dev/null").status, 0);
    for (const char* c : {"i0.c", "i1.c", "i2.c", "i3.c", "i4.c", "i5.c"}) EXPECT_EQ(builds("o", c).status, 0) << c;
  }
  // A pair that does mix fails to build, loudly, even with as many bytes on each side.
  write_png("f0/i0.png", "flat", 30, 20, 1), write_png("f1/i0.png", "flat", 30, 20, 2);
  ASSERT_EQ(pack("-q -f c -o m0 f0/i0.png").status + pack("-q -f c -o m1 f1/i0.png").status, 0);
  fs::copy_file(path("m1/i0.h"), path("m0/i0.h"), fs::copy_options::overwrite_existing);
  const test::Proc mixed = builds("m0", "i0.c");
  EXPECT_NE(mixed.status, 0);
  EXPECT_NE(mixed.err.find("i0.c and i0.h are from different runs of lz16pack"), std::string::npos) << mixed.err;
}

TEST_F(Hostile, NamesThatCannotMakeCAreRefusedForCAndWrittenAsLz) {
  // A stem of 250 bytes has a .lz name of 253, and a temporary name that fits too.
  const std::string names[] = {"a\"quote", "a\nline", "a?\?(tri", "a\\back", "b" + std::string(249, 'x')};
  for (const std::string& name : names) {
    fs::remove_all(path("in")), fs::remove_all(path("o"));
    write_png("in/" + name + ".png", "flat", 4, 4);
    const test::Proc c = pack("-f c -o o in/*.png");
    EXPECT_EQ(c.status, name[0] == 'a' ? 2 : 0) << c.err;
    EXPECT_TRUE(name[0] != 'a' || c.err.find('\n') == c.err.size() - 1) << c.err;  // one line, the name's newline too
    EXPECT_EQ(fs::exists(path("o")), name[0] != 'a') << c.err;
    EXPECT_EQ(pack("-o o in/*.png").status, 0);
    EXPECT_TRUE(fs::exists(path("o/") + name + ".lz"));
  }
}

TEST_F(Hostile, OutputsThatWouldMeetOverwriteWhatTheRunReadsOrNotCompileAreRefusedBeforeAnyIsWritten) {
  for (const char* name : {"c.png", "c.alpha.png", "hero.png", "anim-001.png", "stdin-001.png", "x-000.png", "int.png",
                           "icon.png", "icon-alpha.png", "size.png", "assets-lvgl.png"})
    write_png(name, "sprites", 16, 8);
  for (const char* name : {"anim.webp", "x.dat", "a.gif"}) write_file(name, test::animated_webp(3));  // WebPs all
  write_png(std::string(247, 'n') + ".png", "flat", 2, 2);
  std::ofstream(path("m.toml")) << "format = \"c\"\noutput = \".\"\nindex = \"m.toml\"\n[[asset]]\ninput = \"hero.png\"\n";
  std::ofstream(path("r.toml")) << "output = \"o\"\nreport = \"./r.toml\"\n[[asset]]\ninput = \"hero.png\"\n";
  const std::pair<std::string, std::string> cases[] = {
      {"--alpha c.png c.alpha.png", "'c.png' and 'c.alpha.png' would both write o/c.alpha.lz"},
      {"-f c --index hero.h hero.png", "'hero.png' and --index would both write o/hero.h"},
      {"--report o/c.lz c.png", "'c.png' and --report would both write o/c.lz"},
      {"-f c --report r.json --html r.json c.png", "--report and --html would both write o/r.json"},
      {"--html ./hero.png hero.png", "--html would write ./hero.png, which is the input 'hero.png'"},
      {"--manifest m.toml", "--index would write ./m.toml, which is the manifest 'm.toml'"},
      {"--manifest r.toml", "--report would write ./r.toml, which is the manifest 'r.toml'"},
      // Frames are told from content, whatever the name or the source.
      {"anim.webp anim-001.png", "'anim.webp' and 'anim-001.png' would both write o/anim-001.lz"},
      {"x.dat x-000.png", "'x.dat' and 'x-000.png' would both write o/x-000.lz"},
      {"- stdin-001.png < a.gif", "'-' and 'stdin-001.png' would both write o/stdin-001.lz"},
      // Names no directory can hold.
      {"-f c --index .. c.png", "--index takes the name of a file in the output directory: '..' is not a file's name"},
      {"--alpha " + std::string(247, 'n') + ".png", "a file's name is at most 255 bytes"},
      // C that would not compile.
      {"-f lvgl int.png", "'int.png': its C name int is a keyword of C or C++: rename it"},
      {"-f c --index int.h c.png", "--index int.h: its C name int is a keyword of C or C++: rename it"},
      {"-f h size.png", "'size.png': its C name SIZE_WIDTH is one that <stdint.h> defines: rename it"},
      {"-f lvgl --alpha icon.png icon-alpha.png", "'icon.png' and 'icon-alpha.png' would both define icon_alpha in C"},
      {"-f c --alpha --frames 8x8 icon.png icon-alpha.png", "'icon.png' and 'icon-alpha.png' would both define icon_alpha_frames"},
      {"-f lvgl --index assets.h assets-lvgl.png", "'assets-lvgl.png' and --index assets.h would both define assets_lvgl"}};
  for (const auto& [args, error] : cases) {
    const test::Proc p = pack((args.starts_with("--manifest") ? "" : "-o o ") + args);
    EXPECT_EQ(p.status, 2) << args;
    EXPECT_NE(p.err.find(error), std::string::npos) << p.err;
    EXPECT_EQ(p.err.find('\n'), p.err.size() - 1) << p.err;
    EXPECT_FALSE(fs::exists(path("o")) || fs::exists(path("r.json")) || fs::exists(path("c.lz"))) << args;
  }
  // What is not refused compiles, each file on its own and all together.
  ASSERT_EQ(pack("-q -f c --alpha --index all.h -o c int.png icon.png icon-alpha.png").status, 0);
  ASSERT_EQ(pack("-q -f h --alpha --frames 8x8 -o h c.png").status, 0);
  std::ofstream(path("all.c")) << "#include \"all.h\"\n#include \"int.h\"\n#include \"c.h\"\n"
                                  "int use(void) { return (int)all[0].size + (int)int_lz16[0] + (int)c_frames[1].size; }\n";
  for (const std::string c : {"c/int.c", "c/icon.c", "c/icon-alpha.c", "all.c"})
    EXPECT_EQ(run_cmd("cc -std=c99 -c -Wall -Werror -I" + path("c") + " -I" + path("h") + " " + path(c.c_str()) + " -o " +
                      path("x.o")).status, 0) << c;
}

// An RGB PNG of the given size whose image data is zlib's of only rows
// rows of a picture, mostly flat.
std::string lying_png(uint32_t width, uint32_t height, uint32_t rows) {
  auto be32 = [](uLong v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  auto chunk = [&](const char* type, const std::string& data) {
    const std::string c = type + data;
    return be32(data.size()) + c + be32(crc32(0, reinterpret_cast<const Bytef*>(c.data()), static_cast<uInt>(c.size())));
  };
  std::string raw;
  for (uint32_t y = 0; y < rows; ++y) {
    raw += '\0' + std::string(3 * size_t{width}, 'A');
    for (size_t i = raw.size() - 3 * size_t{width}; i < raw.size(); i += 61) raw[i] = static_cast<char>(i * 7 + y);
  }
  uLongf size = compressBound(raw.size());
  std::string z(size, '\0');
  compress2(reinterpret_cast<Bytef*>(z.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), raw.size(), 9);
  z.resize(size);
  return "\x89PNG\r\n\x1a\n" + chunk("IHDR", be32(width) + be32(height) + std::string("\10\2\0\0\0", 5)) +
         chunk("IDAT", z) + chunk("IEND", "");
}

TEST_F(Hostile, AFileThatClaimsMoreThanItHoldsOrHidesAFaultFailsInLittleMemory) {
  // The hostile files the readers' fuzz targets start from (scripts/hostile-samples.py).
  const std::pair<const char*, const char*> seeds[] = {
      {"png/hostile-wide.png", "image too large: 2147483647x1 is more than 1073741823 pixels"},
      {"png/hostile-big.png", "bad PNG: 32767x32767 pixels cannot fit in its 65 bytes"},
      {"ppm/hostile-big.ppm", "truncated PPM"},
      {"gif/hostile-wide.gif", "bad GIF: 65535x16383 pixels cannot fit in its 29 bytes"},
      {"qoi/hostile-big.qoi", "bad QOI: 32767x32767 pixels cannot fit in its 22 bytes"},
      {"qoi/hostile-short.qoi", "bad QOI: its data ends before the 100x100 pixels its header claims"},
      {"bmp/hostile-big.bmp", "bad BMP: the file ends early"},
      {"bmp/hostile-palette.bmp", "bad BMP: a pixel's colour index 5 is past its palette of 2 colours"},
      {"bmp/hostile-offset.bmp", "bad BMP: its pixels start at byte 20, inside its headers"},
      {"tga/hostile-big.tga", "bad TGA: 32767x32767 pixels cannot fit in its 1017 bytes"},
      {"tga/hostile-index.tga", "bad TGA: a pixel's colour index 15 is outside its colour map (entries 16 to 18)"},
      {"webp/hostile-big.webp", "image too large for its file: a WebP of 16383x16383 takes 1792 MB to decode, and "
                                "a file of 45 bytes may take 64 MB: save it as PNG"},
      {"webp/hostile-zero-bits.webp", "image too large for its file: a WebP of 16383x16383 takes 1792 MB to decode, "
                                      "and a file of 34 bytes may take 64 MB: save it as PNG"},
      {"webp/hostile-zero-bits-animation.webp", "image too large for its file: a WebP animation of 16383x16383 takes "
                                                "2048 MB to decode, and a file of 136 bytes may take 64 MB: save it as PNG"}};
  auto fails_small = [&](const std::string& name, const std::string& file, const std::string& error) {
    EXPECT_EQ(pack("-q -o o " + file).err, "lz16pack: " + file + ": " + error + "\n") << name;
#if !defined(LZ16_SANITIZED)  // the sanitizers' own memory is not the program's
    EXPECT_LE(peak_kb(LZ16PACK_EXE " -o " + path("o") + " " + file), 64 * 1024 + long(fs::file_size(file)) / 64) << name;
#endif
  };
  for (const auto& [name, error] : seeds) fails_small(name, LZ16_SAMPLES_DIR "/fuzz/" + std::string(name), error);
  // Data for 4800 of 5000 rows, more than memory may take at once: read
  // through once, keeping nothing, before any row is kept.
  const std::string cut = lying_png(6000, 5000, 4800);
  write_file("cut.png", test::Bytes(cut.begin(), cut.end()));
  fails_small("cut.png", path("cut.png"), "bad PNG: Not enough image data");
  // More frames than one image may give: refused before anything is written.
  const std::string many = "P6 257 256 255\n" + std::string(257 * 256 * 3, '\7');
  write_file("many.ppm", test::Bytes(many.begin(), many.end()));
  EXPECT_EQ(pack("-q -o m --frames 1x1 many.ppm").err,
            "lz16pack: many.ppm: 65792 frames, more than the 65536 one image may give\n");
  EXPECT_EQ(names_in("m"), "");
}

TEST_F(Hostile, AnInputNeverRemovesAnotherInputsFiles) {
  auto gif = [&](const char* name, size_t frames) {
    test::write_gif(path(name), 2, 2, {{200, 0, 0}, {0, 200, 0}, {0, 0, 200}, {9, 9, 9}},
                    std::vector<test::GifFrame>(frames, {0, 0, 2, 2, DISPOSE_DO_NOT, 1, NO_TRANSPARENT_COLOR, false, {}}));
  };
  write_png("anim-005.png", "noise", 3, 3);
  write_file("bad/anim-005.png", test::hex("89 50 4e 47 0d 0a 1a 0a 00"));
  write_file("bad/anim.gif", test::hex("47 49 46 38 39 61 00"));
  gif("anim.gif", 3);
  // The still first, then the animation's frames beside it, then the animation failing.
  ASSERT_EQ(pack("-q -o a anim-005.png").status + pack("-q -o a anim.gif").status, 0);
  EXPECT_EQ(names_in("a"), "anim-000.lz anim-001.lz anim-002.lz anim-005.lz");
  EXPECT_EQ(pack("-q -o a bad/anim.gif").status, 1);
  EXPECT_EQ(names_in("a"), "anim-005.lz");
  // The animation first: a still failing leaves its frame, one written takes it over, and
  // the animation's next run, of fewer frames, removes its own frames but that one.
  gif("anim.gif", 6);
  ASSERT_EQ(pack("-q -o b anim.gif").status, 0);
  EXPECT_EQ(pack("-q -o b bad/anim-005.png").status, 1);
  EXPECT_TRUE(fs::exists(path("b/anim-005.lz")));
  gif("anim.gif", 3);
  ASSERT_EQ(pack("-q -o b anim-005.png").status + pack("-q -o b anim.gif").status, 0);
  EXPECT_EQ(names_in("b"), "anim-000.lz anim-001.lz anim-002.lz anim-005.lz");
  EXPECT_EQ(read_file(path("b/anim-005.lz")), read_file(path("a/anim-005.lz")));
  // A still named as a first frame is no animation's frames: a still of the stem keeps it.
  write_png("anim-000.png", "noise", 2, 2), write_png("anim.png", "noise", 2, 2, 7);
  ASSERT_EQ(pack("-q -o c anim-000.png").status + pack("-q -o c anim.png").status, 0);
  EXPECT_EQ(names_in("c"), "anim-000.lz anim.lz");
}

TEST_F(Hostile, ALinkAtAnOutputIsReplacedNeverFollowed) {
  write_png("x.png", "tiles", 16, 8);
  write_file("victim", test::hex("76 69 63 74 69 6d"));
  fs::create_directories(path("o"));
  // At an output, at its temporary name, at the report, and dangling.
  for (const auto& [link, to] : {std::pair{"o/x.lz", "../victim"}, {"o/.x.alpha.lz.lz16tmp", "../victim"},
                                 {"r.json", "victim"}, {"o/x.preview.png", "../nowhere/y"}})
    fs::create_symlink(to, path(link));
  const test::Proc p = pack("-q --alpha --preview --report ./r.json -o o x.png");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(read_file(path("victim")), "victim");
  EXPECT_FALSE(fs::exists(path("nowhere")));
  for (const char* out : {"o/x.lz", "r.json", "o/x.preview.png"}) EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path(out)))) << out;
  EXPECT_EQ(names_in("o"), "x.lz x.preview.png");  // x.png is opaque: no alpha plane, and the stray link is gone
}

TEST_F(Hostile, PipesAndFifosWorkLikeFilesAndAreNeverReplaced) {
  write_png("t.png", "tiles", 40, 30);
  ASSERT_EQ(pack("-q -o f t.png").status, 0);
  const std::string packer = LZ16PACK_EXE;
  const test::Proc p = run_cmd("cd " + dir_ + " && cat t.png | " + packer + " -q -o p - && mkfifo in.png fifo && ln -s fifo r.json && " +
                                   "{ cat t.png > in.png & timeout 10 cat fifo > got.json & " + packer +
                                   " -q -o p --report ./r.json in.png; wait; }",
                               "> /dev/null");
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(read_file(path("p/stdin.lz")), read_file(path("f/t.lz")));
  EXPECT_EQ(read_file(path("p/in.lz")), read_file(path("f/t.lz")));
  EXPECT_TRUE(fs::is_symlink(path("r.json")) && fs::is_fifo(path("r.json")));  // a link to a FIFO, as /dev/stdout is
  EXPECT_NE(read_file(path("got.json")).find("\"p/in.lz\""), std::string::npos);
  // Its report lines into a pipe whose reader goes at once: every file whole, no temporary file, status 0.
  for (int k = 0; k < 12; ++k) write_png("m/" + std::to_string(k) + ".png", "noise", 300, 200, k);
  ASSERT_EQ(pack("-q -f c -o ref m/*.png").status, 0);
  run_cmd("cd " + dir_ + " && { " + packer + " -j 2 -f c -o cut m/*.png 2>&1; echo $? > status; }"
                                 " | head -c 10", "> /dev/null");
  EXPECT_EQ(read_file(path("status")), "0\n");
  EXPECT_TRUE(files_in("cut") == files_in("ref"));
}

}  // namespace
}  // namespace lz16
