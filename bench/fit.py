#!/usr/bin/env python3
"""--fit 320x240 on Debian's wallpapers (mate-backgrounds): lz16pack's own
scaling against ImageMagick's resize piped into lz16pack, side by side.

  time: lz16pack --fit 320x240 over all files (one batch, -j 1 and all
  cores), against `convert IN -resize 320x240 png:- | lz16pack -o D -` for
  each file in turn; medians of REPEATS runs.
  quality: the PSNR between lz16pack's scaled picture and ImageMagick's
  linear-light resize with the same filter (Mitchell), both reduced to 16
  bits by lz16pack, so that only the scaling differs.

    bench/fit.py BUILD [REPEATS]
"""
import glob
import os
import statistics
import subprocess
import sys
import tempfile
import time


def run(cmd, **kw):
    return subprocess.run(cmd, shell=True, check=True, capture_output=True, text=True, **kw).stdout


def timed(cmd, repeats):
    times = []
    for _ in range(repeats):
        t = time.perf_counter()
        run(cmd)
        times.append(time.perf_counter() - t)
    return statistics.median(times)


def main():
    build = os.path.abspath(sys.argv[1])
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    pack = os.path.join(build, "lz16pack")
    files = sorted(glob.glob("/usr/share/backgrounds/mate/*/*.jpg") + glob.glob("/usr/share/backgrounds/mate/*/*.png"))
    tmp = tempfile.mkdtemp(prefix="lz16-fit-")
    quoted = " ".join(f"'{f}'" for f in files)
    ours1 = timed(f"{pack} -q -j 1 --fit 320x240 -o {tmp}/a {quoted}", repeats)
    ours = timed(f"{pack} -q --fit 320x240 -o {tmp}/a {quoted}", repeats)
    theirs = timed(" && ".join(f"convert '{f}' -resize 320x240 png:- | {pack} -q -o {tmp}/b/{k} -"
                               for k, f in enumerate(files)), repeats)
    print(f"{len(files)} wallpapers, {sum(os.path.getsize(f) for f in files) / 1e6:.1f} MB; medians of {repeats}")
    print("| way | seconds | vs convert pipe |")
    print("|---|---|---|")
    print(f"| convert -resize 320x240, piped into lz16pack, each file | {theirs:.2f} | 1.00 |")
    print(f"| lz16pack --fit 320x240 -j 1 | {ours1:.2f} | {ours1 / theirs:.2f} |")
    print(f"| lz16pack --fit 320x240 (all cores) | {ours:.2f} | {ours / theirs:.2f} |")

    print("\n| wallpaper | size | PSNR against ImageMagick's linear-light Mitchell, dB |")
    print("|---|---|---|")
    values = []
    for k, f in enumerate(files):
        ref = f"{tmp}/ref{k}.png"
        run(f"convert '{f}' -colorspace RGB -filter Mitchell -resize 320x240 -colorspace sRGB -depth 8 {ref}")
        run(f"{pack} -q --preview -o {tmp}/q{k} {ref}")
        run(f"{pack} -q --fit 320x240 --preview -o {tmp}/p{k} '{f}'")
        stem = os.path.splitext(os.path.basename(f))[0]
        psnr = subprocess.run(f"compare -metric PSNR {tmp}/p{k}/'{stem}'.preview.png {tmp}/q{k}/ref{k}.preview.png null:",
                              shell=True, capture_output=True, text=True).stderr.split()[0]
        size = run(f"identify -format '%wx%h' {tmp}/q{k}/ref{k}.preview.png")
        values.append(float(psnr) if psnr != "inf" else 99.0)
        print(f"| {os.path.basename(f)} | {size} | {psnr} |")
    print(f"| median | | {statistics.median(values):.2f} |")


if __name__ == "__main__":
    main()
