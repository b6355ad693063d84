#!/usr/bin/env python3
"""The colour options' cost and gain: every PNG of a folder through lz16pack
four ways (the top five bits, --round, --dither, both), with the bytes and
the PSNR that lz16pack reports for each image. Prints a table per image,
then one per kind of image (the name's first word) and for all of them.

    bench/colour.py BUILD_DIR PNG_DIR
"""
import math
import os
import re
import statistics
import subprocess
import sys
import tempfile

WAYS = [("default", []), ("round", ["--round"]), ("dither", ["--dither"]), ("both", ["--round", "--dither"])]
LINE = re.compile(r"^(.*): \d+x\d+, (\d+) bytes, [0-9.]+%, PSNR (inf|[0-9.]+)(?: dB)?, verified$")


def run(pack, files, options):
    """{file name: (bytes, psnr)} for one way."""
    with tempfile.TemporaryDirectory() as out:
        p = subprocess.run([pack, "-o", out] + options + files, check=True, capture_output=True, text=True)
    found = {}
    for line in p.stderr.splitlines():
        m = LINE.match(line)
        if m:
            found[os.path.basename(m.group(1))] = (int(m.group(2)), float(m.group(3)))
    return found


def psnr_text(v):
    return "inf" if math.isinf(v) else f"{v:.2f}"


def summary(label, names, results):
    """Bytes summed (and against the default), and the median PSNR gain over
    the default for the images that lose colour at all."""
    base = sum(results["default"][n][0] for n in names)
    lossy = [n for n in names if not math.isinf(results["default"][n][1])]
    cells = []
    for way, _ in WAYS:
        size = sum(results[way][n][0] for n in names)
        gains = [results[way][n][1] - results["default"][n][1] for n in lossy]
        gain = f"{statistics.median(gains):+.2f}" if gains else "-"
        cells.append(f"{size:>10} {size / base:5.3f} {gain:>6}")
    print(f"{label:<12} {len(names):>4} {len(lossy):>5}  " + "  ".join(cells))


def main():
    build, folder = sys.argv[1], sys.argv[2]
    pack = os.path.join(build, "lz16pack")
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".png"))
    results = {way: run(pack, files, options) for way, options in WAYS}
    names = sorted(results["default"])

    print("per image: bytes and PSNR (dB) of the picture shown against the source")
    print(f"{'image':<48}" + "".join(f"{way:>20}" for way, _ in WAYS))
    for n in names:
        print(f"{n[:47]:<48}" + "".join(f"{results[w][n][0]:>12} {psnr_text(results[w][n][1]):>7}" for w, _ in WAYS))

    print()
    print("per kind: bytes summed, against the default, and the median PSNR gain (dB) over the default")
    print(f"{'kind':<12} {'imgs':>4} {'lossy':>5}  " + "  ".join(f"{way:>23}" for way, _ in WAYS))
    kinds = sorted({n.split("-")[0] for n in names})
    for kind in kinds:
        summary(kind, [n for n in names if n.split("-")[0] == kind], results)
    summary("all", names, results)


if __name__ == "__main__":
    main()
