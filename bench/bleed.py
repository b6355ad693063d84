#!/usr/bin/env python3
"""What lz16pack's scaling does to three pictures that show bleeding, and a
picture of it: a flat colour stays flat at every size; a red-to-blue
gradient stays a ramp, each channel moving one way only; and a white
sprite with soft edges on clear pixels whose colour is pure green takes no
green into its edge (with --alpha, decoded with its alpha plane), where an
average that does not weigh by alpha does.

    bench/bleed.py BUILD OUT.png

Writes the figures as a table and OUT.png: each picture as the device
shows it (with alpha over a dark checkerboard), scaled up with square
pixels, left to right: the flat colour at 23x15, the gradient at 64x8, the
sprite at 16x16 and then each pixel of it that shows at all in its own
colour at full strength, and the same two for the sprite averaged without
weighing by alpha.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib


def write_png(path, width, height, rgba):
    rows = b"".join(b"\0" + bytes(rgba[y * width * 4:(y + 1) * width * 4]) for y in range(height))
    chunk = lambda kind, data: (struct.pack(">I", len(data)) + kind + data +
                                struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def shown(build, work, name, width, height, rgba, option):
    """The picture lz16pack makes of rgba with option: (w, h, RGBA bytes)."""
    src = os.path.join(work, name + ".png")
    write_png(src, width, height, rgba)
    out = os.path.join(work, name + "-" + option.replace(" ", "").replace("-", ""))
    report = subprocess.run([os.path.join(build, "lz16pack"), "--alpha", *option.split(), "-o", out, src],
                            check=True, capture_output=True, text=True).stderr
    w, h = (int(v) for v in report.split(": ")[1].split(",")[0].split("x"))
    colour, alpha = os.path.join(out, name + ".lz"), os.path.join(out, name + ".alpha.lz")
    unlz16 = [os.path.join(build, "unlz16"), "--format", "rgba"]
    if os.path.exists(alpha):
        pixels = subprocess.run(unlz16 + ["--alpha", alpha, colour], check=True, capture_output=True).stdout
    else:
        rgb = subprocess.run(unlz16[:1] + [colour], check=True, capture_output=True).stdout
        pixels = b"".join(rgb[k:k + 3] + b"\xff" for k in range(0, len(rgb), 3))
    return w, h, pixels


def box_average(width, height, rgba, factor):
    """Each factor x factor block's plain average, alpha not weighed: what
    scaling without alpha weighting gives."""
    w, h = width // factor, height // factor
    out = bytearray()
    for y in range(h):
        for x in range(w):
            for c in range(4):
                total = sum(rgba[((y * factor + j) * width + x * factor + i) * 4 + c]
                            for j in range(factor) for i in range(factor))
                out.append((total + factor * factor // 2) // (factor * factor))
    return w, h, bytes(out)


def over_checkerboard(w, h, rgba, scale, bare):
    """RGB rows of the picture over a dark checkerboard, scaled up by scale;
    bare: each pixel that shows at all in its own colour, at full strength,
    so that a colour an edge took in stands out."""
    rows = []
    for y in range(h * scale):
        row = bytearray()
        for x in range(w * scale):
            px = rgba[((y // scale) * w + x // scale) * 4:][:4]
            if bare and px[3]:
                px = px[:3] + b"\xff"
            board = 48 if ((x // 8) + (y // 8)) % 2 else 80
            row += bytes((px[c] * px[3] + board * (255 - px[3]) + 127) // 255 for c in range(3))
        rows.append(bytes(row))
    return rows


def main():
    build, out_png = os.path.abspath(sys.argv[1]), sys.argv[2]
    work = tempfile.mkdtemp(prefix="lz16-bleed-")
    pictures = []  # (caption, w, h, rgba)

    # A flat colour at sizes that divide it and sizes that do not.
    flat = bytes((200, 40, 90, 255)) * (60 * 40)
    print("| picture | scaled | what is checked | result |")
    print("|---|---|---|---|")
    for size in ("23x15", "37x29", "7x5", "120x80"):
        w, h, px = shown(build, work, "flat", 60, 40, flat, "--fit " + size + " --enlarge")
        colours = {px[k:k + 4] for k in range(0, len(px), 4)}
        print(f"| flat 60x40 | --fit {size} --enlarge -> {w}x{h} | colours shown | {len(colours)} |")
        if size == "23x15":
            pictures.append(("flat", w, h, px))

    # A red-to-blue gradient: each row's red falls and blue rises.
    gradient = bytes(v for y in range(32) for x in range(256) for v in (255 - x, 0, x, 255))
    for size in ("64x8", "61x9"):
        w, h, px = shown(build, work, "gradient", 256, 32, gradient, "--resize " + size)
        reversals = sum(1 for y in range(h) for x in range(1, w)
                        if px[(y * w + x) * 4] > px[(y * w + x - 1) * 4] or
                        px[(y * w + x) * 4 + 2] < px[(y * w + x - 1) * 4 + 2])
        print(f"| gradient 256x32 | --resize {size} | steps against the ramp | {reversals} |")
        if size == "64x8":
            pictures.append(("gradient", w, h, px))

    # A white disc with soft edges on clear pure green.
    sprite = bytearray()
    for y in range(64):
        for x in range(64):
            d = ((x - 31.5) ** 2 + (y - 31.5) ** 2) ** 0.5
            a = max(0, min(255, round((24 - d) * 20)))
            sprite += bytes((255, 255, 255, a) if a else (0, 255, 0, 0))
    green = lambda px: sum(1 for k in range(0, len(px), 4) if px[k + 3] and px[k + 1] > px[k] + 8)
    for size in ("16x16", "13x13"):
        w, h, px = shown(build, work, "sprite", 64, 64, bytes(sprite), "--fit " + size + " --enlarge")
        print(f"| sprite 64x64 on clear green | --fit {size} | shown pixels greener than white | {green(px)} |")
        if size == "16x16":
            pictures.append(("sprite", w, h, px))
    w, h, px = box_average(64, 64, sprite, 4)
    print(f"| sprite 64x64 on clear green | 4x4 average, alpha not weighed | shown pixels greener than white | {green(px)} |")
    pictures.append(("unweighted", w, h, px))

    # One row of the pictures, each scaled up to about 128 pixels high or 256 wide.
    scaled = [over_checkerboard(w, h, px, max(1, min(128 // h, 256 // w)), bare)
              for _, w, h, px in pictures for bare in ((False, True) if w == h else (False,))]
    height = max(len(rows) for rows in scaled)
    width = sum(len(rows[0]) // 3 for rows in scaled) + 16 * (len(scaled) + 1)
    canvas = []
    for y in range(height + 32):
        row = bytearray(b"\xf6\xf6\xf4" * width)
        x0 = 16
        for rows in scaled:
            if 16 <= y < 16 + len(rows):
                row[x0 * 3:x0 * 3 + len(rows[y - 16])] = rows[y - 16]
            x0 += len(rows[0]) // 3 + 16
        canvas.append(bytes(row))
    write_png(out_png, width, len(canvas), b"".join(bytes(p + b"\xff") for r in canvas
                                                     for p in (r[k:k + 3] for k in range(0, len(r), 3))))
    print(f"\n{out_png}: " + ", ".join(caption for caption, *_ in pictures))


if __name__ == "__main__":
    main()
