#!/usr/bin/env python3
"""Checks an icon that examples/assets drew with lz16dec over its gradient
(a PPM) against unlz16's RGBA PNG of the same planes: where the alpha is 0
the gradient exactly, where it is 255 the colour exactly, and between them
each channel within one 5-bit level of the exact blend (green in six bits,
as the panel has it).

    tests/drawn_over.py ICON.png DRAWN.ppm
"""
import struct
import sys
import zlib


def rgba_png(path):
    data = open(path, 'rb').read()
    width, height, depth, kind = struct.unpack('>IIBB', data[16:26])
    assert (depth, kind) == (8, 6), 'an 8-bit RGBA PNG'
    idat, at = b'', 8
    while at < len(data):
        size, name = struct.unpack('>I4s', data[at:at + 8])
        idat += data[at + 8:at + 8 + size] if name == b'IDAT' else b''
        at += 12 + size
    raw, rows, stride = zlib.decompress(idat), [], 4 * width
    for y in range(height):
        line, kind = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)]), raw[y * (stride + 1)]
        up = rows[-1] if rows else bytearray(stride)
        for i in range(stride):
            a, b, c = line[i - 4] if i >= 4 else 0, up[i], up[i - 4] if i >= 4 else 0
            p = a + b - c
            near = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
            line[i] = (line[i] + [0, a, b, (a + b) // 2, near][kind]) & 255
        rows.append(line)
    return width, height, b''.join(rows)


def main(png, ppm):
    width, height, rgba = rgba_png(png)
    drawn = open(ppm, 'rb').read().split(b'\n', 3)[3]
    bad = 0
    for k in range(width * height):
        # in the panel's own terms: 5-bit red and blue, 6-bit green, and the alpha's level
        x, y, level = k % width, k // width, rgba[4 * k + 3] >> 3
        r = x * 31 // max(width - 1, 1)
        under = [r, y * 63 // max(height - 1, 1), 31 - r]
        colour = [rgba[4 * k] >> 3, (rgba[4 * k + 1] >> 3) * 2, rgba[4 * k + 2] >> 3]
        got = [drawn[3 * k] >> 3, drawn[3 * k + 1] >> 2, drawn[3 * k + 2] >> 3]
        for c in range(3):
            exact = (colour[c] * level + under[c] * (31 - level)) / 31
            bad += abs(got[c] - exact) > (0 if level in (0, 31) else 2 if c == 1 else 1)
    print(f'{ppm}: {width}x{height}, {bad} channels off the blend of {png}')
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))
