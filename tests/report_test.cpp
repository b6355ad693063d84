// The batch's reports: the JSON against the report lines and the files, the
// page in headless Chromium, and the byte budget.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "helpers.h"
#include "image_in.h"
#include "options.h"
#include "report.h"

namespace lz16 {
namespace {

class Report : public test::ProcessTest {
 protected:
  void SetUp() override {
    ProcessTest::SetUp();
    // A picture with a key-coloured corner, a two-frame animation, and a broken PNG.
    test::Bytes ppm = test::hex("50 36 20 38 20 34 20 32 35 35 0a");  // P6 8 4 255
    for (int k = 0; k < 32; ++k)
      for (const int c : {k < 2 ? 255 : k * 8, 0, k < 2 ? 255 : 100}) ppm.push_back(static_cast<uint8_t>(c));
    write_file("a.ppm", ppm);
    test::write_gif(path("b.gif"), 4, 3, {{1, 2, 3}, {250, 0, 250}, {7, 8, 9}, {90, 90, 90}},
                    {{0, 0, 4, 3, 1, 5, -1, false, {}}, {1, 1, 2, 2, 1, 5, 0, false, {}}});
    write_file("bad.png", test::hex("89 50 4e 47 0d 0a 1a 0a 00"));
  }
  test::Proc pack(const std::string& args) { return run_cmd("cd " + dir_ + " && " + LZ16PACK_EXE + " " + args); }
};

TEST_F(Report, JsonHoldsTheReportLinesFiguresWithTheSameBytesForAnyJobs) {
  const test::Proc one = pack("-j 1 --key ff00ff -o assets --report r1.json a.ppm b.gif bad.png");
  EXPECT_EQ(one.status, 1);
  ASSERT_EQ(pack("-j 2 --key ff00ff -o assets --report sub/r2.json a.ppm b.gif bad.png").status, 1);
  EXPECT_EQ(read_file(path("assets/r1.json")), read_file(path("sub/r2.json")));  // a bare name goes with the assets
  // Python reads the JSON and writes the report back from it, each asset's
  // bytes checked against its files (repeated frames' files alike).
  std::ofstream(path("lines.py")) << R"(import json, sys
r = json.load(open(sys.argv[1]))
assert r["options"]["key"] == "ff00ff" and r["options"]["budget"] is None, r["options"]
for a in r["assets"]:
    if "error" in a:
        print(f"lz16pack: {a['input']}: {a['error']}")
        continue
    files = {open(o, "rb").read() for o in a["outputs"]}
    assert sum(map(len, files)) == a["bytes"], a
    frames = f", {a['frames']} frames, {a['stored']} stored" if a["frames"] > 1 else ""
    print(f"{a['input']}: {a['width']}x{a['height']}{frames}, {a['bytes']} bytes, {a['ratio']}%, "
          f"PSNR {a['psnr']} dB, {a['moved']} moved off the key, verified")
t = r["total"]
assert t["worst_input"] == min((a for a in r["assets"] if "psnr" in a), key=lambda a: a["psnr"])["input"], t
print(f"total: {t['images']} images, {t['bytes']} bytes, {t['ratio']}%, worst PSNR {t['worst_psnr']} dB "
      f"({t['worst_input']}), {t['failed']} failed")
)";
  test::Proc py = run_cmd("cd " + dir_ + " && python3 lines.py assets/r1.json");
  EXPECT_EQ(std::string(py.out.begin(), py.out.end()), one.err) << py.err;

  // Names are any bytes; the JSON stays valid UTF-8.
  PackedInput odd;
  odd.path = "x\xff\"\x01\xe2\x82\xac.png", odd.stem = "x";
  odd.result.error = "broken";
  std::ofstream(path("odd.json")) << report_json({&odd, 1}, batch_totals({&odd, 1}), {});
  std::ofstream(path("odd.py")) << "import json, sys\nname = json.load(open(sys.argv[1]))['assets'][0]['input']\n"
                                   "print(name == 'x\\ufffd\"\\x01\\u20ac.png')\n";
  py = run_cmd("cd " + dir_ + " && python3 odd.py odd.json");
  EXPECT_EQ(std::string(py.out.begin(), py.out.end()), "True\n") << py.err;
}

TEST_F(Report, BudgetFailsOneByteUnderTheTotalAndPassesAtIt) {
  ASSERT_EQ(pack("-q --report r.json a.ppm b.gif").status, 0);
  const std::string json = read_file(path("r.json"));
  const size_t at = json.find("\"bytes\": ", json.find("\"total\"")) + 9;
  const unsigned long total = std::stoul(json.substr(at));
  const test::Proc over = pack("-q -o under --budget " + std::to_string(total - 1) + " a.ppm b.gif");
  EXPECT_EQ(over.status, 1);
  EXPECT_EQ(over.err, "lz16pack: the assets take " + std::to_string(total) + " bytes, over the budget of " +
                          std::to_string(total - 1) + " bytes\n");
  EXPECT_TRUE(std::filesystem::exists(path("under/a.lz")));  // written, to look at
  EXPECT_EQ(pack("-q -o at --budget " + std::to_string(total) + " a.ppm b.gif").status, 0);
  // Byte counts as people write them; a misspelt option gets its nearest.
  for (const auto& [text, bytes] : {std::pair{"65536", 65536}, {"64K", 65536}, {"64kb", 65536}, {"1M", 1048576}, {"3B", 3}})
    EXPECT_EQ(parse_bytes(text), bytes) << text;
  for (const char* bad : {"", "K", "1k2", "1.5M", "-1", "1KK", "9007199254740992", "8796093022208m"})
    EXPECT_EQ(parse_bytes(bad), std::nullopt) << bad;
  EXPECT_EQ(pack("--budjet 1k --frmes 2x2 a.ppm").err,
            "lz16pack: unknown option --budjet: did you mean --budget?; unknown option --frmes: did you mean --frames? "
            "(try 'lz16pack --help')\n");
}

TEST_F(Report, PageShowsEveryAssetInChromiumAndAsksForNothingOutside) {
  ASSERT_EQ(pack("--key ff00ff -o assets --html page.html a.ppm b.gif bad.png").status, 1);
  ASSERT_EQ(pack("--key ff00ff -o assets -j 1 --html page1.html a.ppm b.gif bad.png").status, 1);
  EXPECT_EQ(read_file(path("assets/page.html")), read_file(path("assets/page1.html")));
  // A page beside it opens it in a frame and reads what it holds: the
  // assets, pictures that do not decode at their size, the failed inputs,
  // and anything it refers to or fetched that is not in the page itself.
  std::ofstream(path("check.html")) << R"(<!DOCTYPE html><body><iframe id="f" src="assets/page.html"></iframe><script>
document.getElementById("f").onload = function () {
  const d = this.contentDocument, pictures = Array.from(d.images);
  const outside = Array.from(d.querySelectorAll("[src],[href],[srcset],link,script,object,embed,iframe"))
    .map(e => e.getAttribute("src") || e.getAttribute("href") || e.tagName)
    .filter(u => !u.startsWith("data:image/png;base64,") && !u.startsWith("#"))
    .concat(Array.from(d.styleSheets).flatMap(s => Array.from(s.cssRules)).map(r => r.cssText)
            .filter(t => t.includes("url(")))
    .concat(this.contentWindow.performance.getEntriesByType("resource").map(e => e.name));
  document.body.setAttribute("data-result", [d.querySelectorAll("section.asset").length, pictures.length,
    pictures.filter(i => !i.complete || i.naturalWidth != i.dataset.width || i.naturalHeight != i.dataset.height)
      .length, d.querySelector(".failed li").textContent, outside.join(" ")].join("|"));
};
</script></body>)";
  const std::string chromium = "chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
                               "--disable-background-networking --disable-component-update --disable-sync "
                               "--user-data-dir=" + path("profile") + " ";
  test::Proc p = run_cmd(chromium + "--allow-file-access-from-files --virtual-time-budget=5000 --dump-dom file://" +
                         path("check.html"));
  const std::string dom(p.out.begin(), p.out.end());
  const size_t at = dom.find("data-result=\"") + 13;
  ASSERT_NE(at, std::string::npos + 13) << p.err;
  EXPECT_EQ(dom.substr(at, dom.find('"', at) - at), "2|4|0|bad.png: bad PNG: the file ends early|");
  p = run_cmd(chromium + "--window-size=1000,700 --screenshot=" + path("shot.png") + " file://" + path("assets/page.html"));
  Image shot;
  EXPECT_EQ(read_image(path("shot.png"), shot), "") << p.err;
  EXPECT_TRUE(shot.width == 1000 && shot.height == 700);
  // With alpha and no key: the picture on the device at the source's scale
  // (three times over for alpha), and no column for the key.
  test::write_gif(path("c.gif"), 40, 30, {{1, 2, 3}, {250, 0, 250}, {7, 8, 9}, {90, 90, 90}},
                  {{0, 0, 40, 30, 1, 5, 0, false, {}}});
  ASSERT_EQ(pack("-q --alpha -o plain --html page.html a.ppm c.gif").status, 0);
  const std::string page = read_file(path("plain/page.html"));
  EXPECT_EQ(page.find("moved off the key"), std::string::npos);
  std::vector<int> sizes;  // width, height of the <img>s: a's source and shown, then c's
  const std::regex img(R"re(<img [^>]*? width="(\d+)" height="(\d+)")re");
  for (std::sregex_iterator m(page.begin(), page.end(), img), end; m != end; ++m)
    sizes.insert(sizes.end(), {std::stoi((*m)[1]), std::stoi((*m)[2])});
  ASSERT_EQ(sizes.size(), 8u);
  EXPECT_EQ(sizes, (std::vector<int>{sizes[0], sizes[1], sizes[0], sizes[1], sizes[4], sizes[5], 3 * sizes[4], sizes[5]}));
}

}  // namespace
}  // namespace lz16
