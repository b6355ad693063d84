#!/usr/bin/env python3
"""--trim on sprite sheets (corpus/frames, see bench/frames.py): for each
sheet, with --key ff00ff and with --alpha, the bytes of its frames and the
pixels the device decodes to draw every frame once, untrimmed and trimmed.

    bench/trim.py BUILD corpus/frames
"""
import json
import os
import re
import subprocess
import sys
import tempfile


def packed(build, folder, name, cut, mode, trim):
    out = tempfile.mkdtemp(prefix="lz16-trim-")
    args = [os.path.join(build, "lz16pack"), "-q", "-f", "h", "-o", out, "--report", os.path.join(out, "r.json"),
            *mode.split(), *(["--frames", cut] if cut != "0x0" else []), *(["--trim"] if trim else []),
            os.path.join(folder, name)]
    subprocess.run(args, check=True)
    asset = json.load(open(os.path.join(out, "r.json")))["assets"][0]
    header = open(os.path.join(out, os.path.splitext(name)[0] + ".h")).read()
    boxes = re.findall(r"\{(\d+), (\d+), (\d+), (\d+)\}", header.split("_boxes[")[-1]) if trim else []
    pixels = sum(int(w) * int(h) for _, _, w, h in boxes) if trim else asset["frames"] * asset["width"] * asset["height"]
    return asset["bytes"], pixels


def main():
    build, folder = os.path.abspath(sys.argv[1]), sys.argv[2]
    sheets = [line.split() for line in open(os.path.join(folder, "manifest.txt"))
              if not line.startswith("gif-")]
    print("| sheet | mode | bytes | trimmed | ratio | pixels decoded | trimmed | ratio |")
    print("|---|---|---|---|---|---|---|---|")
    totals = {}
    for name, w, h in sheets:
        for mode in ("--key ff00ff", "--alpha"):
            (b0, p0), (b1, p1) = (packed(build, folder, name, f"{w}x{h}", mode, t) for t in (False, True))
            t = totals.setdefault(mode, [0, 0, 0, 0])
            for i, v in enumerate((b0, b1, p0, p1)):
                t[i] += v
            print(f"| {name} | {mode} | {b0} | {b1} | {b1 / b0:.3f} | {p0} | {p1} | {p1 / p0:.3f} |")
    for mode, (b0, b1, p0, p1) in totals.items():
        print(f"| all {len(sheets)} | {mode} | {b0} | {b1} | {b1 / b0:.3f} | {p0} | {p1} | {p1 / p0:.3f} |")


if __name__ == "__main__":
    main()
