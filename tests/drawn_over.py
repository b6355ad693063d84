#!/usr/bin/env python3
"""Checks an icon that examples/assets drew with lz16dec over its gradient
(a PPM) against unlz16's raw RGBA of the same planes: where the alpha is 0
the gradient exactly, where it is 255 the colour exactly, and between them
each channel within one 5-bit level of the exact blend (green in six bits,
as the panel has it).

    tests/drawn_over.py ICON.rgba DRAWN.ppm
"""
import sys


def main(raw, ppm):
    header, drawn = open(ppm, 'rb').read().split(b'\n', 3)[1:4:2]
    width, height = map(int, header.split())
    rgba = open(raw, 'rb').read()
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
    print(f'{ppm}: {width}x{height}, {bad} channels off the blend of {raw}')
    return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main(*sys.argv[1:]))
