#!/usr/bin/env python3
"""--trim on sprite sheets (corpus/frames, see bench/frames.py): for each
sheet, with --key ff00ff and with --alpha, the bytes of its frames and the
pixels the device decodes to draw every frame once, untrimmed and trimmed.
With --thumb, also the instructions a frame that drawing them takes on a
Cortex-M0 (bench/trim_count.c, lz16dec built -Os, counted under qemu-arm).

    bench/trim.py BUILD corpus/frames [--thumb]
"""
import json
import os
import re
import statistics
import subprocess
import sys
import tempfile


HERE = os.path.dirname(os.path.abspath(__file__))
DEVICE = os.path.join(HERE, "..", "device")


def thumb_decoder(work):
    """lz16dec.c as Cortex-M0 code that links into a Linux program (its
    v6-M tag dropped, as scripts/device.sh does)."""
    obj = os.path.join(work, "dec-thumb.o")
    subprocess.run(["arm-linux-gnueabi-gcc", "-mthumb", "-mcpu=cortex-m0", "-Os", "-I", DEVICE, "-c",
                    os.path.join(DEVICE, "lz16dec.c"), "-o", obj], check=True)
    subprocess.run(["arm-linux-gnueabi-objcopy", "-R", ".ARM.attributes", obj], check=True)
    return obj


def instructions(out, decoder, reps):
    program = os.path.join(out, f"count{reps}")
    subprocess.run(["arm-linux-gnueabi-gcc", "-mthumb", "-O2", "-static", f"-DLZ16_REPS={reps}", "-I", DEVICE,
                    "-I", out, os.path.join(HERE, "trim_count.c"), decoder, "-o", program], check=True)
    trace = subprocess.Popen(["qemu-arm", "-singlestep", "-d", "nochain,exec", "-D", "/dev/stdout", program],
                             stdout=subprocess.PIPE)
    count = sum(chunk.count(b"Trace") for chunk in iter(lambda: trace.stdout.read(1 << 20), b""))
    trace.wait()
    return count


def packed(build, folder, name, cut, mode, trim, decoder=None):
    out = tempfile.mkdtemp(prefix="lz16-trim-")
    args = [os.path.join(build, "lz16pack"), "-q", "-f", "h", "-o", out, "--report", os.path.join(out, "r.json"),
            "--index", "device_images.h",
            *mode.split(), *(["--frames", cut] if cut != "0x0" else []), *(["--trim"] if trim else []),
            os.path.join(folder, name)]
    subprocess.run(args, check=True)
    asset = json.load(open(os.path.join(out, "r.json")))["assets"][0]
    header = open(os.path.join(out, os.path.splitext(name)[0] + ".h")).read()
    boxes = re.findall(r"\{(\d+), (\d+), (\d+), (\d+)\}", header.split("_boxes[")[-1]) if trim else []
    pixels = sum(int(w) * int(h) for _, _, w, h in boxes) if trim else asset["frames"] * asset["width"] * asset["height"]
    if not decoder:
        return asset["bytes"], pixels, None
    # a pass over every frame, without start-up: a run of one pass less a run of none
    return asset["bytes"], pixels, (instructions(out, decoder, 1) - instructions(out, decoder, 0)) / asset["frames"]


def main():
    build, folder = os.path.abspath(sys.argv[1]), sys.argv[2]
    decoder = thumb_decoder(tempfile.mkdtemp(prefix="lz16-trim-")) if "--thumb" in sys.argv[3:] else None
    sheets = [line.split() for line in open(os.path.join(folder, "manifest.txt"))
              if not line.startswith("gif-")]
    thumb = " Thumb instructions a frame | trimmed | ratio |" if decoder else ""
    print("| sheet | mode | bytes | trimmed | ratio | pixels decoded | trimmed | ratio |" + thumb)
    print("|---|---|---|---|---|---|---|---|" + ("---|---|---|" if decoder else ""))
    totals = {}
    for name, w, h in sheets:
        for mode in ("--key ff00ff", "--alpha"):
            (b0, p0, i0), (b1, p1, i1) = (packed(build, folder, name, f"{w}x{h}", mode, t, decoder)
                                          for t in (False, True))
            t = totals.setdefault(mode, [0, 0, 0, 0, [], []])
            for i, v in enumerate((b0, b1, p0, p1)):
                t[i] += v
            row = f"| {name} | {mode} | {b0} | {b1} | {b1 / b0:.3f} | {p0} | {p1} | {p1 / p0:.3f} |"
            if decoder:
                t[4].append(i0)
                t[5].append(i1)
                row += f" {i0:.0f} | {i1:.0f} | {i1 / i0:.3f} |"
            print(row, flush=True)
    for mode, (b0, b1, p0, p1, i0, i1) in totals.items():
        row = f"| all {len(sheets)} | {mode} | {b0} | {b1} | {b1 / b0:.3f} | {p0} | {p1} | {p1 / p0:.3f} |"
        if decoder:  # the median sheet's ratio
            row += f" | | median {statistics.median(b / a for a, b in zip(i0, i1)):.3f} |"
        print(row)


if __name__ == "__main__":
    main()
