// lz16pack --manifest: a whole project's assets from one TOML file give
// the files their options give on the command line, with one index; a bad
// manifest is one error naming its line and key, and writes nothing.
#include <gtest/gtest.h>

#include <filesystem>

#include "helpers.h"
#include "image_out.h"
#include "synth.h"

namespace lz16 {
namespace {

namespace fs = std::filesystem;

class Manifest : public test::ProcessTest {
 protected:
  void SetUp() override {
    ProcessTest::SetUp();
    uint64_t seed = 1;
    for (const char* name : {"proj/art/a.png", "proj/art/b.png", "proj/ui/c.png", "proj/ui/d.png"}) {
      const std::vector<uint8_t> rgb = synth::make_rgb24("sprites", 24, 16, seed++);
      const std::string png = png_bytes(rgb.data(), 3, 24, 16);
      write_file(name, test::Bytes(png.begin(), png.end()));
    }
    fs::create_directories(path("proj/ui/dir.png"));  // a directory the glob matches is no input
  }
  test::Proc pack(const std::string& args) { return run_cmd("cd " + dir_ + " && " + LZ16PACK_EXE + " " + args); }
  void write_manifest(const char* name, const std::string& text) { std::ofstream(path(name)) << text; }
};

TEST_F(Manifest, GivesTheFilesOfEachAssetsOptionsOnTheCommandLineAndOneIndex) {
  write_manifest("proj/assets.toml", R"(format = "c"   # defaults for every asset
index = "all.h"
output = "out"
round = true

[[asset]]
input = "art/a.png"
name = "hero"
rotate = 90

[[asset]]
input = ["ui/*.png", "art/b.png"]
format = "h"
round = false
flip = "h"
)");
  const test::Proc listed = pack("--manifest proj/assets.toml -o elsewhere --list");
  ASSERT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(std::string(listed.out.begin(), listed.out.end()),
            "input proj/art/a.png\noutput elsewhere/hero.h\noutput elsewhere/hero.c\ninput proj/ui/c.png\noutput "
            "elsewhere/c.h\ninput proj/ui/d.png\noutput elsewhere/d.h\ninput proj/art/b.png\noutput elsewhere/b.h\n"
            "output elsewhere/all.h\n");
  EXPECT_FALSE(fs::exists(path("elsewhere")));

  const test::Proc run = pack("--manifest proj/assets.toml -q");
  ASSERT_EQ(run.status, 0) << run.err;
  fs::copy_file(path("proj/art/a.png"), path("hero.png"));
  ASSERT_EQ(pack("-q -f c --round --rotate 90 -o cli hero.png").status, 0);
  ASSERT_EQ(pack("-q -f h --flip h -o cli proj/ui/c.png proj/ui/d.png proj/art/b.png").status, 0);
  ASSERT_EQ(pack("-q -f c --index all.h --index-only -o cli hero.png proj/ui/c.png proj/ui/d.png proj/art/b.png").status, 0);
  EXPECT_EQ(names_in("proj/out"), "all.h b.h c.h d.h hero.c hero.h");
  for (const char* name : {"all.h", "b.h", "c.h", "d.h", "hero.c", "hero.h"})
    EXPECT_EQ(read_file(path("proj/out/") + name), read_file(path("cli/") + name)) << name;

  // The index compiles with the assets and lists them in the manifest's order.
  std::ofstream(path("main.c")) << "#include <stdio.h>\n#include \"all.h\"\nint main(void) {\n"
                                   "  for (int k = 0; k < ALL_COUNT; ++k) printf(\"%s %u \", all[k].name, all[k].width);\n}\n";
  const test::Proc cc = run_cmd("cd " + dir_ + " && cc -std=c99 -Wall -Werror -Iproj/out main.c proj/out/hero.c -o m && ./m");
  EXPECT_EQ(std::string(cc.out.begin(), cc.out.end()), "hero 16 c 24 d 24 b 24 ") << cc.err;
}

TEST_F(Manifest, ABadOneIsOneErrorNamingItsLineAndKeyAndWritesNothing) {
  std::string deep_key(399999, '.');  // k.k.k...: 200,000 parts
  for (size_t k = 0; k < deep_key.size(); k += 2) deep_key[k] = 'k';
  // Lines 1-5 make a good asset; each case adds an [[asset]] from line 6.
  const std::string good = "output = \"out\"\nformat = \"c\"\nindex = \"i.h\"\n[[asset]]\ninput = \"art/a.png\"\n";
  const std::pair<std::string, std::string> cases[] = {
      {"rotate = 45", "8: key 'rotate': 45 not in {0,90,180,270}"},
      {"alhpa = true", "8: key 'alhpa': is not an option: did you mean 'alpha'?"},
      {"trim = \"yes\"", "8: key 'trim': takes true or false"},
      {"fit = 48", "8: key 'fit': --fit takes WxH, not '48'"},
      {"resize = \"50\"", "8: key 'resize': --resize 50 needs a unit: 50% of the size, or WxH pixels"},
      {"anchor = \"top\"", "6: [[asset]]: --anchor says what --fill keeps: it needs --fill"},
      {"index = \"x.h\"", "8: key 'index': is the whole run's: put it at the top, before the first [[asset]]"},
      {"name = \"ui\"", "8: key 'name': names one image, and the input gives 2"},
      {"trim = true", "6: [[asset]]: --trim crops each frame to its pixels that show: it needs --alpha or --key to know the rest"},
      {"format = \"lz\"", "6: [[asset]]: --index takes a file name, and needs --format c, h or lvgl"},
      {"flip = \"h\" \xc3\xa9", "8: Error while parsing key-value pair: expected a comment or whitespace, saw '\xc3\xa9'"},
      {"flip = \"h", "8: Error while parsing string: unescaped control characters other than TAB (U+0009) are explicitly prohibited"},
      {"input = \"ui/*.jpg\"", "7: key 'input': no file matches 'ui/*.jpg'"},
      {"input = [\"ui/c.png\", 3]", "7: key 'input': takes a path or a glob, or a list of them"},
      {"name = \"x\"", "6: an [[asset]] needs an input: a path or a glob, or a list of them"},
      {"name = \"a\\u0000b\"", "8: key 'name': names the asset's files, in the output directory: a file's name holds no NUL byte"},
      {"name = \"..\"", "8: key 'name': names the asset's files, in the output directory: '..' is not a file's name"},
      {deep_key + " = 1",
       "8: a key of more than 32 dotted parts: a manifest's keys are an option's name, in an [[asset]] or at the top"},
  };
  for (const auto& [key, error] : cases) {
    const bool input = key.starts_with("input") || key.starts_with("name = \"x");
    write_manifest("proj/bad.toml", good + "[[asset]]\n" + (input ? "" : "input = \"ui/*.png\"\n") + key + "\n");
    const test::Proc p = pack("--manifest proj/bad.toml");
    EXPECT_EQ(p.status, 2) << key;
    EXPECT_EQ(p.err, "lz16pack: proj/bad.toml:" + error + "\n") << key;
    EXPECT_FALSE(fs::exists(path("proj/out"))) << key;
  }
  write_manifest("proj/bad.toml", "format = \"c\"\nindex = \"..\"\n[[asset]]\ninput = \"art/a.png\"\n");
  EXPECT_EQ(pack("--manifest proj/bad.toml").err, "lz16pack: proj/bad.toml:2: key 'index': --index takes the name of a "
                                                  "file in the output directory: '..' is not a file's name\n");
}

TEST_F(Manifest, AGlobNeverTakesTheRunsOwnPreviewsForInputs) {
  write_manifest("proj/art.toml", "output = \"art\"\npreview = true\n[[asset]]\ninput = \"art/*.png\"\n");
  for (int run = 0; run < 2; ++run) {
    const test::Proc p = pack("--manifest proj/art.toml");
    ASSERT_EQ(p.status, 0) << p.err;
    EXPECT_NE(p.err.find("total: 2 images"), std::string::npos) << p.err;
  }
  EXPECT_EQ(names_in("proj/art"), "a.lz a.png a.preview.png b.lz b.png b.preview.png");
}

}  // namespace
}  // namespace lz16
