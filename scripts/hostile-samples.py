#!/usr/bin/env python3
"""Writes small image files that lie or hide a fault, one folder a format,
into samples/fuzz/FORMAT/hostile-*: the image readers' fuzz targets start
from them beside the valid samples there, and the tests read them with the
error each must give (tests/readers_test.cpp). Run it again after changing
it; the files are committed.

    scripts/hostile-samples.py [SAMPLES_DIR]    (default: samples/fuzz)
"""
import os
import struct
import sys
import zlib

out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "samples", "fuzz")


def save(fmt, name, data):
    os.makedirs(os.path.join(out, fmt), exist_ok=True)
    with open(os.path.join(out, fmt, "hostile-" + name), "wb") as f:
        f.write(data)


# ---- PNG: a header of width x height over the deflate of only rows rows.
def png(width, height, rows):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    raw = b"".join(b"\0" + b"A" * 3 * width for _ in range(rows))
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


save("png", "wide.png", png(0x7FFFFFFF, 1, 0))
save("png", "big.png", png(32767, 32767, 0))

# ---- GIF, PPM: headers far larger than their data.
save("gif", "wide.gif", b"GIF89a\xff\xff\xff\x3f\0\0\0,\0\0\0\0\1\0\1\0\0\2\2D\1\0;")
save("ppm", "big.ppm", b"P6 32767 32767 255\n" + b"\0" * 30)

# ---- QOI: 32767 x 32767 in 22 bytes; 100 x 100 whose operations give 160 pixels.
save("qoi", "big.qoi", b"qoif" + struct.pack(">II", 32767, 32767) + b"\3\0" + b"\0" * 7 + b"\1")
save("qoi", "short.qoi", b"qoif" + struct.pack(">II", 100, 100) + b"\3\0" + b"\0" * 160 + b"\0" * 7 + b"\1")


# ---- BMP: a 40-byte header, 24 or 8 bits a pixel.
def bmp(width, height, bits, rows, palette=b"", offset=None, colours=0, compression=0):
    pixels_at = 14 + 40 + len(palette) if offset is None else offset
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, len(rows), 2835, 2835, colours, 0)
    head = b"BM" + struct.pack("<IHHI", pixels_at + len(rows), 0, 0, pixels_at)
    body = head + info + palette
    return body + b"\0" * (pixels_at - len(body)) + rows if pixels_at >= len(body) else head + info + rows


save("bmp", "big.bmp", b"BM\0\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\xff\x7f\0\0\xff\x7f\0\0\1\0\x18")
# indices 0, 1, 5, 1 over a palette of two colours
save("bmp", "palette.bmp", bmp(4, 1, 8, bytes([0, 1, 5, 1]), palette=b"\0\0\xff\0\xff\0\0\0", colours=2))
# a palette image whose pixels are said to start at byte 20, inside its headers
save("bmp", "offset.bmp", bmp(4, 1, 8, bytes([0, 1, 1, 0]), palette=b"\0\0\xff\0\xff\0\0\0", offset=20, colours=2))

# ---- TGA: 32767 x 32767 over 999 bytes; a colour map from index 16 with a pixel of index 15.
save("tga", "big.tga", b"\0\0\2\0\0\0\0\0\0\0\0\0\xff\x7f\xff\x7f\x18\0" + b"\0" * 999)
save("tga", "index.tga", struct.pack("<BBBHHBHHHHBB", 0, 1, 1, 16, 3, 24, 0, 0, 4, 1, 8, 0x20) +
     b"\0\0\xff" + b"\0\xff\0" + b"\xff\0\0" + bytes([16, 17, 18, 15]))


# ---- WebP: lossless streams of prefix codes of one symbol each, so that
# every pixel costs no bit: a 16383 x 16383 picture in 34 bytes, and an
# animation of two such frames.
def vp8l(width, height):
    bits = []

    def put(value, n):
        bits.extend((value >> i) & 1 for i in range(n))
    put(0x2F, 8), put(width - 1, 14), put(height - 1, 14), put(0, 1), put(0, 3)
    put(0, 1), put(0, 1), put(0, 1)  # no transform, no colour cache, no meta prefix codes
    for symbol in (0x40, 0x80, 0x20, 0xFF, 0):  # green, red, blue, alpha, distance
        put(1, 1), put(0, 1), put(1, 1), put(symbol, 8)  # a simple code of one 8-bit symbol
    bits += [0] * (-len(bits) % 8)
    return bytes(sum(bits[i + j] << j for j in range(8)) for i in range(0, len(bits), 8))


def riff_chunk(kind, data):
    return kind + struct.pack("<I", len(data)) + data + b"\0" * (len(data) & 1)


def webp(chunks):
    body = b"WEBP" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def webp_animation(width, height, frames):
    def u24(v):
        return struct.pack("<I", v)[:3]
    vp8x = riff_chunk(b"VP8X", bytes([0x12, 0, 0, 0]) + u24(width - 1) + u24(height - 1))
    anim = riff_chunk(b"ANIM", b"\0\0\0\0\0\0")
    frame = riff_chunk(b"ANMF", u24(0) + u24(0) + u24(width - 1) + u24(height - 1) + u24(100) + b"\0" +
                       riff_chunk(b"VP8L", vp8l(width, height)))
    return webp([vp8x, anim] + [frame] * frames)


save("webp", "big.webp", b"RIFF\x25\0\0\0WEBPVP8L\x19\0\0\0\x2f\xfe\xbf\xff\x0f" + b"\0" * 20)
save("webp", "zero-bits.webp", webp([riff_chunk(b"VP8L", vp8l(16383, 16383))]))
save("webp", "zero-bits-animation.webp", webp_animation(16383, 16383, 2))
