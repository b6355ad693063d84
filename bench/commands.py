#!/usr/bin/env python3
"""Times the commands as people run them: lz16 and zstd -1 (its default
threading), each reading an image file on standard input and writing to
/dev/null, taken in turn, and prints "NAME LZ16_SECONDS ZSTD_SECONDS" per
image: medians of the runs, wall clock, process start included.

    commands.py CORPUS_DIR LZ16 [RUNS]
"""
import statistics
import subprocess
import sys
import time


def wall(cmd, path):
    with open(path, "rb") as f:
        start = time.perf_counter()
        done = subprocess.run(cmd, stdin=f, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        seconds = time.perf_counter() - start
    if done.returncode != 0:
        sys.exit(f"commands.py: {cmd[0]} failed on {path}")
    return seconds


def main():
    corpus, lz16 = sys.argv[1:3]
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with open(f"{corpus}/manifest.txt") as f:
        names = [line.split()[0] for line in f if line.strip()]
    for name in names:
        path = f"{corpus}/{name}.rgb"
        times = {"lz16": [], "zstd": []}
        for _ in range(runs):
            times["lz16"].append(wall([lz16], path))
            times["zstd"].append(wall(["zstd", "-1", "-q", "-c"], path))
        print(name, statistics.median(times["lz16"]), statistics.median(times["zstd"]))


if __name__ == "__main__":
    main()
