#!/usr/bin/env python3
"""Prints the benchmark table: per image and in aggregate, the median time
and input throughput of lz16 (on every core, and on one thread), the
exhaustive search and zstd -1, their ratios, and lz16's peak memory.

    report.py BENCH.json MANIFEST PEAK [COMMANDS]

BENCH.json is Google Benchmark's JSON output of lz16-bench; MANIFEST lists
"NAME WIDTH HEIGHT KIND"; PEAK lists "NAME KILOBYTES" with an "empty" line
for a run on no input. COMMANDS, from commands.py, adds a table of the two
commands' times.
"""
import json
import os
import sys

CODECS = ("lz16", "lz16-1t", "exhaustive", "zstd-1")  # compared side by side; an image lacking one is left out


def main():
    bench_path, manifest_path, peak_path = sys.argv[1:4]
    with open(bench_path) as f:
        runs = json.load(f)["benchmarks"]
    median = {}  # (codec, image) -> seconds
    failed = set()
    for r in runs:
        codec, image = r["run_name"].split("/")[:2]
        if r.get("error_occurred"):
            failed.add((codec, image))
        if r.get("aggregate_name") == "median":
            unit = {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[r["time_unit"]]
            median[(codec, image)] = r["real_time"] * unit
    for codec, image in sorted(failed):
        print(f"FAILED: {codec}/{image}: {next(r.get('error_message') for r in runs if r['run_name'].startswith(codec + '/' + image))}")

    images = []
    with open(manifest_path) as f:
        for line in f:
            name, width, height, kind = line.split()
            images.append((name, int(width) * int(height), kind))
    peak = {}
    with open(peak_path) as f:
        for line in f:
            name, kb = line.split()
            peak[name] = int(kb) * 1024

    def mbs(nbytes, seconds):
        return nbytes / seconds / 1e6

    head = f"{'image':22} {'pixels':>9} {'lz16 ms':>8} {'MB/s':>7} {'1t ms':>7} {'exh ms':>9} {'MB/s':>6} {'zstd ms':>8}" \
           f" {'MB/s':>7} {'x exh':>7} {'/ zstd':>7} {'1t /zstd':>8} {'peak B/px':>9} {'dec MB/s':>8}"
    print(head)
    print("-" * len(head))
    total = {c: 0.0 for c in CODECS}
    total_bytes = 0
    total_decode = [0.0]
    slower_than_exhaustive = []
    for name, npix, kind in images:
        t = {c: median.get((c, name)) for c in CODECS}
        if None in t.values():
            continue
        nbytes = 3 * npix
        total_bytes += nbytes
        for c in CODECS:
            total[c] += t[c]
        if t["lz16"] > t["exhaustive"]:
            slower_than_exhaustive.append(name)
        extra = (peak.get(name, 0) - peak.get("empty", 0)) / npix
        dec = median.get(("dec-strict", name))
        total_decode[0] += dec or 0
        print(f"{name:22} {npix:9d} {t['lz16']*1e3:8.1f} {mbs(nbytes, t['lz16']):7.0f} {t['lz16-1t']*1e3:7.1f}"
              f" {t['exhaustive']*1e3:9.0f} {mbs(nbytes, t['exhaustive']):6.1f} {t['zstd-1']*1e3:8.1f}"
              f" {mbs(nbytes, t['zstd-1']):7.0f} {t['exhaustive']/t['lz16']:7.1f} {t['zstd-1']/t['lz16']:7.2f}"
              f" {t['zstd-1']/t['lz16-1t']:8.2f} {extra:9.2f} {mbs(2 * npix, dec) if dec else 0:8.0f}")
    print("-" * len(head))
    if total_bytes:
        print(f"{'aggregate':22} {total_bytes // 3:9d} {total['lz16']*1e3:8.0f} {mbs(total_bytes, total['lz16']):7.0f}"
              f" {total['lz16-1t']*1e3:7.0f} {total['exhaustive']*1e3:9.0f} {mbs(total_bytes, total['exhaustive']):6.1f}"
              f" {total['zstd-1']*1e3:8.0f} {mbs(total_bytes, total['zstd-1']):7.0f}"
              f" {total['exhaustive']/total['lz16']:7.1f} {total['zstd-1']/total['lz16']:7.2f}"
              f" {total['zstd-1']/total['lz16-1t']:8.2f} {'':9}"
              f" {mbs(total_bytes * 2 // 3, total_decode[0]) if total_decode[0] else 0:8.0f}")
    print()
    print("x exh: lz16's speed over the exhaustive search; / zstd: lz16's throughput relative to zstd -1")
    print("(1.0 = as fast). lz16 uses every core (%d here) on images large enough to share;" % os.cpu_count())
    print("1t is the same encoder held to one thread, against zstd -1's one thread in 1t /zstd.")
    print("Times are medians of 5 repetitions, wall clock; MB/s counts the raw 24-bit input.")
    print(f"peak B/px: lz16's peak resident memory above an empty run ({peak.get('empty', 0) // 1024} KB), per pixel.")
    print("dec MB/s: lz16's strict decoder on lz16's file, into a buffer made ready, in MB of 16-bit pixel words per second.")
    print("images slower than the exhaustive search:", ", ".join(slower_than_exhaustive) or "none")
    print_decoders(median, images)
    if len(sys.argv) > 4:
        print_commands(sys.argv[4], images)
    if failed:
        sys.exit(1)


DECODERS = ["dec-strict", "dec-unpack", "dec-checked", "dec-stream", "dec-skip"]
WIDTHS = (10, 11, 11, 8, 8)


def print_decoders(median, images):
    """The decoders' table: MB of 16-bit pixel words per second."""
    head = f"{'decoder MB/s':22} {'C++ decode':>10} {'lz16_unpack':>11} {'lz16_decode':>11} {'stream':>8} {'skip':>8}"
    rows, total, total_bytes = [], {d: 0.0 for d in DECODERS}, 0
    for name, npix, _ in images:
        t = {d: median.get((d, name)) for d in DECODERS}
        if None in t.values():
            continue
        total_bytes += 2 * npix
        for d in DECODERS:
            total[d] += t[d]
        rows.append(f"{name:22} " + " ".join(f"{2 * npix / t[d] / 1e6:{w}.0f}" for d, w in zip(DECODERS, WIDTHS)))
    if not rows:
        return
    print()
    print(head)
    print("-" * len(head))
    print("\n".join(rows))
    print("-" * len(head))
    print(f"{'aggregate':22} " + " ".join(f"{total_bytes / total[d] / 1e6:{w}.0f}" for d, w in zip(DECODERS, WIDTHS)))
    print()
    print("Each decoder into a buffer made ready beforehand; the stream 256 pixels at a time, skip in one call.")


def print_commands(path, images):
    """The commands' table: file in, compressed file out, as in a build."""
    times = {}
    with open(path) as f:
        for line in f:
            name, lz16, zstd = line.split()
            times[name] = (float(lz16), float(zstd))
    print()
    head = f"{'command':22} {'lz16 ms':>8} {'zstd -1 ms':>10} {'/ zstd':>7}"
    print(head)
    print("-" * len(head))
    total = [0.0, 0.0]
    for name, _, _ in images:
        if name not in times:
            continue
        lz16, zstd = times[name]
        total[0] += lz16
        total[1] += zstd
        print(f"{name:22} {lz16*1e3:8.1f} {zstd*1e3:10.1f} {zstd/lz16:7.2f}")
    print("-" * len(head))
    if total[0]:
        print(f"{'aggregate':22} {total[0]*1e3:8.0f} {total[1]*1e3:10.0f} {total[1]/total[0]:7.2f}")
    print()
    print("The commands themselves: lz16 and zstd -1 (its default threading) each read the image file")
    print("on standard input and write to /dev/null; medians of 5 runs taken in turn, process start included.")


if __name__ == "__main__":
    main()
