#!/usr/bin/env python3
"""The batch benchmark: a folder of PNG files through lz16pack, against
(a) a shell loop of `convert FILE -depth 8 rgb:- | lz16 > OUT`, one file at
a time, and (b) decoding the same files with libpng alone on the same cores.
Prints medians of wall-clock time, peak memory, and whether lz16pack's .lz
equals the pipe's for every opaque file.

    bench/batch.py BUILD_DIR PNG_DIR [RUNS]
"""
import os
import statistics
import struct
import subprocess
import sys
import tempfile
import time


def timed(cmd, runs, shell=False):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(cmd, shell=shell, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def peak_kib(cmd, shell=False):
    """Peak resident memory of cmd, from GNU time."""
    with tempfile.NamedTemporaryFile("r") as out:
        line = ["/usr/bin/time", "-f", "%M", "-o", out.name] + (["sh", "-c", cmd] if shell else cmd)
        subprocess.run(line, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return int(out.read().split()[-1])


def png_info(path):
    """(width, height, opaque): opaque when there is no alpha channel and no tRNS chunk."""
    with open(path, "rb") as f:
        data = f.read()
    width, height, depth, colour = struct.unpack(">IIBB", data[16:26])
    return width, height, not (colour & 4) and b"tRNS" not in data[: data.find(b"IDAT")]


def main():
    build, folder = sys.argv[1], sys.argv[2]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    files = sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".png"))
    info = {f: png_info(f) for f in files}
    pixels = sum(w * h for w, h, _ in info.values())
    cores = len(os.sched_getaffinity(0))
    lz16, pack, floor = (os.path.join(build, p) for p in ("lz16", "lz16pack", "lz16-png-floor"))

    with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
        loop = " ; ".join(
            f"convert '{f}' -depth 8 rgb:- | {lz16} > '{a}/{os.path.basename(f)[:-4]}.lz'" for f in files)
        t_loop = timed(loop, max(1, runs // 2), shell=True)
        t_pack = timed([pack, "-q", "-o", b] + files, runs)
        t_floor = timed([floor, str(cores)] + files, runs)
        same = [f for f in files if info[f][2] and open(f"{a}/{os.path.basename(f)[:-4]}.lz", "rb").read()
                == open(f"{b}/{os.path.basename(f)[:-4]}.lz", "rb").read()]
        opaque = [f for f in files if info[f][2]]

    largest = max(files, key=lambda f: info[f][0] * info[f][1])
    w, h, _ = info[largest]
    with tempfile.TemporaryDirectory() as d:
        raw = os.path.join(d, "largest.rgb")
        subprocess.run(f"convert '{largest}' -depth 8 rgb:- > {raw}", shell=True, check=True)
        m_pack = peak_kib([pack, "-q", "-j", "1", "-o", d, largest])
        m_lz16 = peak_kib(f"{lz16} < {raw} > {d}/x.lz", shell=True)
        m_batch = peak_kib([pack, "-q", "-o", d] + files)

    print(f"{len(files)} PNG files, {pixels / 1e6:.1f} Mpixels, {cores} cores; medians of {runs} runs "
          f"({max(1, runs // 2)} for the shell loop)")
    print(f"{'':34} {'seconds':>8} {'lz16pack is':>14}")
    print(f"{'lz16pack, all cores':34} {t_pack:8.2f}")
    print(f"{'(a) convert | lz16, file by file':34} {t_loop:8.2f} {t_loop / t_pack:10.1f}x faster")
    print(f"{'(b) libpng alone, all cores':34} {t_floor:8.2f} {t_pack / t_floor:10.2f}x its time")
    print(f"largest file {os.path.basename(largest)} ({w}x{h}): peak memory lz16pack -j 1 {m_pack / 1024:.0f} MiB, "
          f"lz16 on its raw RGB {m_lz16 / 1024:.0f} MiB, decoded RGB {w * h * 3 / 2**20:.0f} MiB; whole batch "
          f"{m_batch / 1024:.0f} MiB")
    print(f".lz identical to convert | lz16 for {len(same)} of {len(opaque)} opaque files "
          f"({len(files) - len(opaque)} have transparency, which lz16pack composites)")


if __name__ == "__main__":
    main()
