#!/usr/bin/env python3
"""Sprite sheets and animations through lz16pack three ways: every frame a
file of its own (repeats included, as -f lz writes them), repeats stored
once (the array of -f c), and joined (--join-frames). Prints bytes per
sheet and in total, where joining does not pay, and the median time per
frame of each way.

    bench/frames.py make FRAMES_DIR
    bench/frames.py BUILD_DIR FRAMES_DIR [RUNS]

"make" copies the sheets from Debian's game packages: pingus's sprites,
whose .sprite files give each sheet's frame grid and speed, and freeciv's
trident tileset, whose [grid_main] sections give its grids; only sheets whose grid
tiles the whole picture. It makes animated GIFs of some of them with
ImageMagick, at the sprite's speed, and writes manifest.txt, a line per
file: "NAME W H", W x H the frame size, 0 0 for a GIF's own frames.
"""
import collections
import glob
import os
import re
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

PINGUS = "/usr/share/games/pingus/data/images"
GIFS = {"walker", "bomber", "digger", "splat", "lava", "water2", "hammer", "teleporter", "sortie_anim", "explosions"}

LINE = re.compile(r"^(.*): (\d+)x(\d+), (\d+) frames(?:, (\d+) stored| joined), (\d+) bytes, ")


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    return struct.unpack(">II", head[16:24]) if head[:8] == b"\x89PNG\r\n\x1a\n" else None


def make(out):
    sheets = {}  # path -> (name, frame width, frame height, ms a frame)
    for sprite in sorted(glob.glob(f"{PINGUS}/**/*.sprite", recursive=True)):
        text = open(sprite).read()
        image, grid, cell = (re.search(p, text) for p in (r'\(image "([^"]+)"', r"\(array (\d+) (\d+)\)",
                                                           r"\(size (\d+) (\d+)\)"))
        speed = re.search(r"\(speed (\d+)\)", text)
        if image and grid and cell:
            path = os.path.normpath(os.path.join(os.path.dirname(sprite), image.group(1)))
            name = "pingus-" + os.path.relpath(path, PINGUS).replace("/", "-")
            sheets[path] = (name, int(cell.group(1)), int(cell.group(2)), int(speed.group(1)) if speed else 100)
    for tileset in sorted(glob.glob("/usr/share/games/freeciv/trident/*")):
        text = open(tileset, errors="replace").read() if not tileset.endswith(".png") else ""
        gfx = re.search(r'gfx = "([^"]+)"', text)
        grid = re.search(r"\[grid_main\]\s*x_top_left = 0\s*y_top_left = 0\s*dx = (\d+)\s*dy = (\d+)\s*\n\s*tiles", text)
        if gfx and grid:
            path = f"/usr/share/games/freeciv/{gfx.group(1)}.png"
            sheets[path] = ("freeciv-" + gfx.group(1).replace("/", "-") + ".png", int(grid.group(1)),
                            int(grid.group(2)), 100)
    with open(os.path.join(out, "manifest.txt"), "w") as manifest:
        for path, (name, w, h, ms) in sorted(sheets.items(), key=lambda s: s[1][0]):
            wh = os.path.exists(path) and png_size(path)
            if not wh or wh[0] % w or wh[1] % h or (wh[0] // w) * (wh[1] // h) < 2:
                continue
            shutil.copy(path, os.path.join(out, name))
            manifest.write(f"{name} {w} {h}\n")
            if os.path.splitext(os.path.basename(path))[0] in GIFS:
                gif = "gif-" + name[:-4] + ".gif"  # a stem of its own
                subprocess.run(["convert", path, "-crop", f"{w}x{h}", "+repage", "-set", "dispose", "background",
                                "-set", "delay", str(max(ms, 10) // 10), "-loop", "0", os.path.join(out, gif)],
                               check=True)
                manifest.write(f"{gif} 0 0\n")


def pack(lz16pack, folder, groups, out, extra):
    """Runs lz16pack on every group of files cut alike; {name: (frames, stored, bytes, width, height)} and the
    seconds taken."""
    found, seconds = {}, 0.0
    for (w, h), names in groups.items():
        cut = ["--frames", f"{w}x{h}"] if w else []
        start = time.perf_counter()
        p = subprocess.run([lz16pack, "-o", out] + cut + extra + [os.path.join(folder, n) for n in names],
                           check=True, capture_output=True, text=True)
        seconds += time.perf_counter() - start
        for line in p.stderr.splitlines():
            m = LINE.match(line)
            if m:
                found[os.path.basename(m.group(1))] = (int(m.group(4)), int(m.group(5) or 1), int(m.group(6)),
                                                       int(m.group(2)), int(m.group(3)))
    return found, seconds


def main():
    if sys.argv[1] == "make":
        return make(sys.argv[2])
    build, folder = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    lz16pack = os.path.join(build, "lz16pack")
    groups = collections.defaultdict(list)
    for line in open(os.path.join(folder, "manifest.txt")):
        name, w, h = line.split()
        groups[(int(w), int(h))].append(name)

    ways = {"a file each (-f lz)": ["-f", "lz"], "repeats once (-f c)": ["-f", "c"],
            "joined (--join-frames -f c)": ["--join-frames", "-f", "c"]}
    times = collections.defaultdict(list)
    for _ in range(runs):
        found = {}
        for way, options in ways.items():
            with tempfile.TemporaryDirectory() as out:
                found[way], t = pack(lz16pack, folder, groups, out, options)
                times[way].append(t)
                if options == ["-f", "lz"]:
                    files = collections.Counter()
                    for f in os.listdir(out):
                        files[re.sub(r"-\d{3,}\.lz$", "", f)] += os.path.getsize(os.path.join(out, f))
    once, joined = found["repeats once (-f c)"], found["joined (--join-frames -f c)"]

    names = sorted(once)
    total_frames = sum(once[n][0] for n in names)
    print(f"{len(names)} sheets and animations, {total_frames} frames; bytes of the compressed frames")
    print(f"{'':40} {'frame':>7} {'frames':>6} {'stored':>6} {'a file each':>11} {'repeats once':>12} {'joined':>8} "
          f"{'joined/once':>11}")
    sums = collections.defaultdict(lambda: [0, 0, 0])
    worse = []
    for n in names:
        frames, stored, bytes_once, w, h = once[n]
        row = (files[os.path.splitext(n)[0]], bytes_once, joined[n][2])
        for key in ("total", "frames of 2047 pixels or fewer" if w * h <= 2047 else "frames over 2047 pixels"):
            sums[key] = [s + r for s, r in zip(sums[key], row)]
        if row[2] > row[1]:
            worse.append(n)
        print(f"{n:40} {w:3}x{h:<3} {frames:6} {stored:6} {row[0]:11} {row[1]:12} {row[2]:8} {row[2] / row[1]:11.3f}")
    for key, row in sorted(sums.items(), key=lambda kv: kv[0] != "total"):
        print(f"{key:62} {row[0]:11} {row[1]:12} {row[2]:8} {row[2] / row[1]:11.3f}")
    print(f"joining does not pay for {len(worse)} of {len(names)}: {', '.join(worse) or 'none'}")
    for way in ways:
        t = statistics.median(times[way])
        print(f"time, {way}: {t:.3f} s, median of {runs}: {t / total_frames * 1e6:.0f} us a frame")

if __name__ == "__main__":
    main()
