#!/usr/bin/env python3
"""lz16 images in LVGL against LVGL's own LZ4-compressed images.

Screens on a 320x240 RGB565 display: a background photo, opaque and with
alpha (a soft vignette), 30 of Adwaita's 48x48 icons, and the background with
two of the icons. For each form (lz16's images in memory and, for the last
two screens, from files too; LVGL's LZ4 images and, for the last, its
uncompressed ones): the
flash bytes of the images' data, the rise of LVGL's heap peak while drawing,
and the median time of a full redraw in one pass and through partial buffers
of 1/10 of the screen (24 rows), with the first draw (which fills LVGL's
cache where one is used).

    bench/lvgl.py BUILD [REPEATS]

BUILD is a Release build with -DLZ16_BENCH=ON -DLZ16_LVGL_DIR=...; LVGL's
scripts/LVGLImage.py is taken from that tree, run by Debian's python3 (with
python3-png and python3-lz4, scripts/setup.sh --bench).
"""
import glob
import os
import re
import subprocess
import sys
import tempfile


def run(*cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def main():
    build = os.path.abspath(sys.argv[1])
    repeats = sys.argv[2] if len(sys.argv) > 2 else "21"
    cache = open(os.path.join(build, "CMakeCache.txt")).read()
    lvgl = re.search(r"^LZ16_LVGL_DIR:PATH=(.*)$", cache, re.M).group(1)
    tmp = tempfile.mkdtemp(prefix="lz16-lvgl-")
    photo = sorted(glob.glob("/usr/share/backgrounds/mate/nature/*.jpg"))[0]
    bg = os.path.join(tmp, "bg.png")
    run("convert", photo, "-resize", "320x240^", "-gravity", "center", "-extent", "320x240", bg)
    bga = os.path.join(tmp, "bga.png")
    run("convert", bg, "(", "-size", "320x240", "radial-gradient:white-black", "-level", "0%,60%", ")",
        "-alpha", "off", "-compose", "copy_opacity", "-composite", bga)
    icons = [p for p in sorted(glob.glob("/usr/share/icons/Adwaita/48x48/legacy/*.png")) if "symbolic" not in p][:30]
    places = [(8 + 52 * (k % 6), 4 + 47 * (k // 6)) for k in range(len(icons))]
    screens = {"background": [(0, 0, bg)], "background with alpha": [(0, 0, bga)],
               "30 icons 48x48": [(x, y, p) for (x, y), p in zip(places, icons)],
               "background and 2 icons": [(0, 0, bg), (40, 60, icons[0]), (220, 150, icons[1])]}

    def lz16_files(items, alpha):
        out = os.path.join(tmp, "lz", str(abs(hash(tuple(items)))))
        run(os.path.join(build, "lz16pack"), "-q", *(["--alpha"] if alpha else []), "-o", out, *[p for *_, p in items])
        args, size = [], 0
        for x, y, p in items:
            stem = os.path.join(out, os.path.splitext(os.path.basename(p))[0])
            w, h = map(int, run("identify", "-format", "%w %h", p).split())
            args.append(f"{x},{y},{w},{h},{stem}.lz")
            size += sum(os.path.getsize(f) for f in (stem + ".lz", stem + ".alpha.lz") if os.path.exists(f))
        return args, size

    def lvgl_files(items, cf, compress="LZ4"):
        out = os.path.join(tmp, "lvgl-" + cf + compress, str(abs(hash(tuple(items)))))
        args, size = [], 0
        for x, y, p in items:
            name = os.path.splitext(os.path.basename(p))[0]
            run("/usr/bin/python3", os.path.join(lvgl, "scripts", "LVGLImage.py"), "--ofmt", "BIN", "--cf",
                "RGB565" if p == bg else cf,
                "--compress", compress, "-o", out, "--name", name, p)
            f = os.path.join(out, name + ".bin")
            w, h = map(int, run("identify", "-format", "%w %h", p).split())
            args.append(f"{x},{y},{w},{h},{f}")
            size += os.path.getsize(f) - 12  # LVGL's image header is the descriptor's, not flash data
        return args, size

    bench = os.path.join(build, "lz16-lvgl-bench")
    print("| screen | form | flash bytes | heap rise, 1 pass | heap rise, 1/10 | ms, 1 pass | ms, 1/10 | ratio | first draw ms (1/10) |")
    print("|---|---|---|---|---|---|---|---|---|")
    for screen, items in screens.items():
        alpha = screen != "background"
        lz, lz_size = lz16_files(items, alpha)
        lv, lv_size = lvgl_files(items, "RGB565A8" if alpha else "RGB565")
        forms = [("lz16, bands", [bench], lz, lz_size),
                 ("lz16, bands, no stream kept", [bench + "-nokeep"], lz, lz_size),
                 ("lz16, whole into cache", [bench, "--whole"], lz, lz_size),
                 ("LVGL LZ4 " + ("RGB565A8" if alpha else "RGB565"), [bench], lv, lv_size)]
        if screen.startswith("background") and screen != "background with alpha":
            forms.insert(1, ("lz16, bands, from files", [bench, "--files"], lz, lz_size))
        if len(items) == 3:
            raw, raw_size = lvgl_files(items, "RGB565A8", "NONE")
            forms.append(("LVGL uncompressed", [bench], raw, raw_size))
        for form, cmd, args, size in forms:
            one = run(cmd[0], "240", repeats, *cmd[1:], *args).split()
            tenth = run(cmd[0], "24", repeats, *cmd[1:], *args).split()
            print(f"| {screen} | {form} | {size} | {one[2]} | {tenth[2]} | {float(one[0]):.2f} | {float(tenth[0]):.2f} | "
                  f"{float(tenth[0]) / float(one[0]):.2f} | {float(tenth[1]):.2f} |")


if __name__ == "__main__":
    main()
