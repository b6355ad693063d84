#!/usr/bin/env python3
"""The web page against native lz16pack -j1 on the same batch: the samples,
images of every input type (web/tests/make-images.py) and Debian's GNOME
wallpapers (WebP and JPEG, 4K and more), with no options and with -f c
--alpha. Prints medians of wall-clock time, native and in the page (Chromium,
headless, the files already in the page), and their ratio.

    bench/web.py [RUNS]    (after scripts/test-web.sh, which builds the page and its driver)
"""
import glob
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
work = os.environ.get("LZ16_WEB_WORK", os.path.join(root, "build-web"))
page = os.path.join(work, "page", "lz16.html")
native = os.path.join(root, "build", "lz16pack")

with tempfile.TemporaryDirectory() as tmp:
    batch = os.path.join(tmp, "batch")
    subprocess.run([sys.executable, os.path.join(root, "web", "tests", "make-images.py"), batch], check=True)
    os.remove(os.path.join(batch, "shapes-16bit.ppm"))  # refused, by design
    files = sorted(glob.glob(os.path.join(batch, "*")))
    files += sorted(glob.glob(os.path.join(root, "samples", "*.png"))) + [os.path.join(root, "samples", "bounce.gif")]
    walls = sorted(glob.glob("/usr/share/backgrounds/gnome/*.webp") + glob.glob("/usr/share/backgrounds/gnome/*.jpg"))
    files += walls[:4]
    print(f"batch: {len(files)} files ({len(walls[:4])} wallpapers), {runs} runs each, medians")
    print(f"{'options':<16} {'native -j1':>11} {'page':>9} {'ratio':>6}")
    for args in ([], ["-f", "c", "--alpha"]):
        times = []
        for _ in range(runs):
            out = os.path.join(tmp, "out")
            start = time.perf_counter()
            subprocess.run([native, "-j1", "-q", *args, "-o", out, *files], check=True)
            times.append(time.perf_counter() - start)
            subprocess.run(["rm", "-rf", out], check=True)
        native_s = statistics.median(times)
        env = dict(os.environ, NODE_PATH=os.path.join(work, "node", "node_modules"))
        lines = subprocess.run(["node", os.path.join(root, "bench", "web_time.js"), page, str(runs),
                                json.dumps(["-q", *args]), *files], check=True, capture_output=True, text=True,
                               env=env).stdout.split()
        page_s = statistics.median(float(x) for x in lines) / 1000
        print(f"{' '.join(args) or '(none)':<16} {native_s:>10.3f}s {page_s:>8.3f}s {page_s / native_s:>5.2f}x")
