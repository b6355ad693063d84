#!/usr/bin/env python3
"""Writes images of every input type lz16pack reads, in the forms that give
a decoder work (alpha, palettes, 16-bit samples, grey, lossy JPEG with
chroma subsampling and progressive scans, lossy and lossless WebP, animated
GIF and WebP), made by ImageMagick from a few pictures; QOI, which
ImageMagick does not write, as a file of RGBA operations.

    web/tests/make-images.py OUT_DIR
"""
import os
import struct
import subprocess
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def magick(*args):
    subprocess.run(["convert", *args], check=True)


# The pictures: a gradient with alpha, noise (hard for lossy coders), and shapes on a flat field.
gradient = ["-size", "48x40", "gradient:#ff2040-#20a0ff", "(", "-size", "48x40", "gradient:white-none", ")",
            "-compose", "CopyOpacity", "-composite"]
noise = ["-size", "64x48", "xc:gray50", "-seed", "7", "+noise", "Random", "-blur", "0x0.6"]
shapes = ["-size", "80x60", "xc:#f0e8d0", "-fill", "#2050a0", "-draw", "circle 30,30 30,8", "-fill", "#c03020",
          "-draw", "rectangle 44,10 74,50"]

for ext, extra in [("png", []), ("webp", ["-define", "webp:lossless=true"]), ("tga", []), ("bmp", []),
                   ("gif", [])]:
    magick(*gradient, *extra, os.path.join(out, f"gradient-alpha-{ext}.{ext}"))  # a stem each: one asset each
magick(*noise, "-quality", "80", "-sampling-factor", "2x2", os.path.join(out, "noise-420.jpg"))
magick(*noise, "-quality", "90", "-sampling-factor", "1x1", "-interlace", "Plane", os.path.join(out, "noise-progressive.jpg"))
magick(*shapes, "-quality", "75", "-sampling-factor", "2x1", os.path.join(out, "shapes-422.jpg"))
magick(*noise, "-colorspace", "Gray", os.path.join(out, "noise-grey-jpeg.jpg"))
magick(*noise, "-quality", "70", os.path.join(out, "noise-lossy.webp"))
magick(*shapes, "-quality", "60", os.path.join(out, "shapes-lossy.webp"))
magick(*noise, "-depth", "16", os.path.join(out, "noise-16bit.png"))
magick(*shapes, "-colors", "6", "PNG8:" + os.path.join(out, "shapes-palette.png"))
magick(*noise, "-colorspace", "Gray", os.path.join(out, "noise-grey.png"))
magick(*shapes, "-depth", "8", os.path.join(out, "shapes.ppm"))
magick(*shapes, "-depth", "16", os.path.join(out, "shapes-16bit.ppm"))  # refused: the same error from both
magick(*shapes, "-type", "Palette", "BMP3:" + os.path.join(out, "shapes-palette-bmp.bmp"))
magick(*shapes, "-compress", "RLE", os.path.join(out, "shapes-rle.tga"))
# Animations: three frames, one repeated.
frames = []
for k, colour in enumerate(["#c03020", "#2050a0", "#c03020"]):
    frames += ["(", "-size", "24x24", "xc:none", "-fill", colour, "-draw", f"circle {8 + 4 * k},12 {8 + 4 * k},4", ")"]
magick("-delay", "10", "-dispose", "Background", *frames, "-loop", "0", os.path.join(out, "ball-gif.gif"))
magick("-delay", "10", *frames, "-define", "webp:lossless=true", "-loop", "0", os.path.join(out, "ball-webp.webp"))


def qoi(name, width, height, pixel):
    """A QOI file of QOI_OP_RGBA operations, one a pixel."""
    body = bytearray()
    for y in range(height):
        for x in range(width):
            body += b"\xff" + bytes(pixel(x, y))
    with open(os.path.join(out, name), "wb") as f:
        f.write(b"qoif" + struct.pack(">II", width, height) + b"\x04\x00" + body + b"\x00" * 7 + b"\x01")


qoi("checks-alpha.qoi", 40, 30, lambda x, y: (x * 6, y * 8, 255 - x * 6, 255 if (x // 5 + y // 5) % 2 else 96))
