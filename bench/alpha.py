#!/usr/bin/env python3
"""Bytes and quality of images with alpha, per class: Adwaita's icons by
size, the one-colour symbolic ones (most of the small sizes, and all the 64
and 96 px ones Debian ships) and the full-colour ones (at 64 and 96 px
scaled down from its 512 px ones by ImageMagick), and the game sprites with
alpha of pingus and frozen-bubble. lz16's two planes against RGB565A8 raw
(3 bytes a pixel) and in an LZ4 block, and the alpha alone in an LZ4 block
(A8, the GUI library's masks) against lz16's mask of it (lz16pack
--mask), as bench/alpha.cpp measures each image; then the instructions a
pixel of drawing a sample of them on the device (bench/drawing.py).

    bench/alpha.py BUILD_DIR CORPUS_DIR
"""
import glob
import os
import statistics
import subprocess
import sys

ICONS = "/usr/share/icons/Adwaita"
GAMES = "/usr/share/games"


def make(corpus):
    """The classes' files: Adwaita's own, and the scaled ones made once."""
    classes = {f"{s} px": sorted(glob.glob(f"{ICONS}/{s}x{s}/*/*.png")) for s in (16, 24, 32, 48)}
    scaled = sorted(glob.glob(f"{ICONS}/64x64/*/*.png") + glob.glob(f"{ICONS}/96x96/*/*.png"))
    for size in (64, 96):
        os.makedirs(f"{corpus}/{size}", exist_ok=True)
        for src in sorted(glob.glob(f"{ICONS}/512x512/*/*.png")):
            out = f"{corpus}/{size}/{os.path.basename(src)}"
            if not os.path.exists(out):
                subprocess.run(["convert", src, "-resize", f"{size}x{size}", out], check=True)
            scaled.append(out)
    classes["64 to 96 px"] = scaled
    classes["256 to 512 px"] = sorted(glob.glob(f"{ICONS}/256x256/*/*.png") + glob.glob(f"{ICONS}/512x512/*/*.png"))
    classes["pingus sprites"] = sorted(glob.glob(f"{GAMES}/pingus/data/images/**/*.png", recursive=True))
    classes["frozen-bubble sprites"] = sorted(glob.glob(f"{GAMES}/frozen-bubble/gfx/**/*.png", recursive=True))
    return classes


def measure(tool, files):
    rows = []
    for at in range(0, len(files), 200):
        out = subprocess.run([tool] + files[at:at + 200], check=True, capture_output=True, text=True).stdout
        for line in out.splitlines():
            f = line.split()
            w, h, colour, alpha, lz4, a8, mask = map(int, f[-9:-2])
            psnr, psnr565 = map(float, f[-2:])
            rows.append((w * h, colour + alpha, lz4, psnr, psnr565, a8, mask))
    return rows


def line(label, rows):
    px = sum(r[0] for r in rows)
    ours, lz4 = sum(r[1] for r in rows), sum(r[2] for r in rows)
    finite = lambda k: statistics.median(r[k] for r in rows if r[k] != float("inf"))
    a8, mask = sum(r[5] for r in rows), sum(r[6] for r in rows)
    print(f"| {label} | {len(rows)} | {px:,} | {ours:,} ({ours / px:.3f}) | {3 * px:,} (3.000) | {lz4:,} "
          f"({lz4 / px:.3f}) | {ours / lz4:.3f} | {finite(3):.2f} | {finite(4):.2f} | {a8:,} ({a8 / px:.3f}) | "
          f"{mask:,} ({mask / px:.3f}) | {mask / a8:.3f} |")


def main(build, corpus):
    tool = f"{build}/lz16-alpha-bench"
    print("bytes (a pixel), and the median PSNR drawn over black and white, of images with alpha:\n")
    print("| class | images | pixels | lz16 | RGB565A8 | LZ4 of RGB565A8 | lz16 / LZ4 | PSNR lz16 | PSNR RGB565A8 "
          "| LZ4 of A8 | lz16 mask | mask / LZ4 A8 |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    measured = {label: measure(tool, files) for label, files in make(corpus).items()}
    for label, rows in measured.items():
        line(label, rows)
    line("icons up to 128 px", [r for k, v in measured.items() if k in ("16 px", "24 px", "32 px", "48 px", "64 to 96 px") for r in v])
    line("sprites", [r for k, v in measured.items() if "sprites" in k for r in v])
    print()
    import drawing  # and the drawing of a sample of them on the device, in the same run
    drawing.main(build, corpus)


if __name__ == "__main__":
    main(*sys.argv[1:])
