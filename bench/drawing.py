#!/usr/bin/env python3
"""Instructions a pixel of drawing images with alpha on the device, per
CPU, on a sample of the icons and sprites of bench/alpha.py (every 25th
icon of 16 to 96 px, every 30th pingus and 120th frozen-bubble sprite with
alpha): lz16_unpack_blend, the blend stream in reads of 256 pixels, and
the same alpha as masks (lz16_decode_mask), counted by
scripts/instructions.sh (the AVR on the first 40 images of up to 48x48
pixels: its 16 KB hold such a frame, the blend stream and the index).

    bench/drawing.py BUILD_DIR CORPUS_DIR
"""
import glob
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import alpha  # noqa: E402  (the classes' files)

ENTRIES = [("unpack_blend", 5, ""), ("blend stream", 6, ""), ("mask", 10, "-mask")]
CPUS = ["thumb", "rv32", "lx106", "m68k", "avr"]


def sample(classes):
    icons = [f for k in ("16 px", "24 px", "32 px", "48 px", "64 to 96 px") for f in classes[k][::25]]
    sprites = classes["pingus sprites"][::30] + classes["frozen-bubble sprites"][::120]
    return {"icons": icons, "sprites": sprites}


def pack(build, files, out, small):
    """The images with alpha among files that the counting program's frame
    holds (320x240, or with small 48x48, and 40 of them) in an index with
    --alpha and another with --mask; their count and pixels."""
    tool = f"{build}/lz16-alpha-bench"
    rows = subprocess.run([tool] + files, check=True, capture_output=True, text=True).stdout.splitlines()
    kept, pixels = [], 0
    for line in rows:
        f = line.split()
        name, w, h = " ".join(f[:-9]), int(f[-9]), int(f[-8])
        if w * h > (48 * 48 if small else 320 * 240) or (small and len(kept) == 40):
            continue
        kept.append(name)
        pixels += w * h
    for mode in ("alpha", "mask"):
        d = out + ("" if mode == "alpha" else "-mask")
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        # copies under short names: an index of hundreds of assets named by their paths
        names = []
        for k, src in enumerate(kept):
            names.append(f"{d}/i{k:03d}.png")
            shutil.copy(src, names[-1])
        subprocess.run([f"{build}/lz16pack", "-q", "-f", "h", f"--{mode}", "--index", "device_images.h", "-o", d] +
                       names, check=True)
    return len(kept), pixels


def main(build, corpus):
    sets = sample(alpha.make(corpus))
    work = f"{corpus}/drawing"
    print("instructions a pixel, -Os, drawing with alpha (bench/lz16dec_count.c under qemu and simavr):\n")
    print("| CPU | images | " + " | ".join(f"{name}" for name, _, _ in ENTRIES) + " |")
    print("|---|---|" + "---|" * len(ENTRIES))
    packed = {(label, small): pack(build, files, f"{work}/{label}{'-small' if small else ''}", small)
              for label, files in sets.items() for small in (False, True)}
    for cpu in CPUS:
        for label in sets:
            small = cpu == "avr"
            images, pixels = packed[(label, small)]
            figures = []
            for _, entry, suffix in ENTRIES:
                d = f"{work}/{label}{'-small' if small else ''}{suffix}"
                out = subprocess.run(["scripts/instructions.sh", cpu, str(entry), d, str(pixels)], check=True,
                                     capture_output=True, text=True).stdout.strip()
                figures.append(out)
            what = f"{label} up to 48x48" if small else label
            print(f"| {cpu} | {what}: {images}, {pixels:,} px | " + " | ".join(figures) + " |", flush=True)


if __name__ == "__main__":
    main(*sys.argv[1:])
