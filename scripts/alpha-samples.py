#!/usr/bin/env python3
"""Writes the pictures with alpha that the device checks draw, as RGBA PNG:
badge.png, a 24x24 icon (a disc with a soft edge, a glint and a shadow), and
screen.png, a 320x240 overlay (a panel with rounded, soft corners over a
transparent border, a translucent band and a few icons on it).

    scripts/alpha-samples.py DIR
"""
import math
import struct
import sys
import zlib


def png(path, width, height, pixel):
    rows = b''.join(b'\0' + bytes(c for x in range(width) for c in pixel(x, y)) for y in range(height))
    chunk = lambda name, data: struct.pack('>I', len(data)) + name + data + struct.pack('>I', zlib.crc32(name + data))
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0)) +
                chunk(b'IDAT', zlib.compress(rows, 9)) + chunk(b'IEND', b''))


def clamp(v):
    return max(0.0, min(1.0, v))


def disc(x, y, cx, cy, radius, colour):
    """A disc with a soft edge, a glint and a shadow: straight RGB and alpha."""
    edge = clamp(radius - math.hypot(x - cx, y - cy))
    shadow = clamp((radius + 1.5 - math.hypot(x - cx - 2, y - cy - 2)) / 3) * 0.45
    glint = clamp((radius / 3 - math.hypot(x - cx + radius / 3, y - cy + radius / 3)) / 2)
    alpha = edge + shadow * (1 - edge)
    rgb = [(c + (255 - c) * glint) * edge / alpha if alpha else 0 for c in colour]
    return rgb, alpha


def badge(x, y):
    rgb, alpha = disc(x, y, 10.5, 10.5, 8.5, (200, 60, 40))
    return [round(c) for c in rgb] + [round(255 * alpha)]


def screen(x, y):
    # a panel with soft rounded corners
    dx, dy = max(0, abs(x - 159.5) - 140), max(0, abs(y - 119.5) - 100)
    panel = clamp(12.5 - math.hypot(dx, dy)) * 0.9
    rgb = [30 + x * 60 // 320, 40 + y * 80 // 240, 90]
    alpha = panel
    if 190 <= y < 222:  # a translucent band
        rgb, alpha = [240, 240, 250], alpha + 0.35 * (1 - alpha)
    for k in range(5):  # icons along the top
        icon, a = disc(x, y, 50 + 55 * k, 60, 14, ((60 + 40 * k) % 256, 160, (200 - 30 * k) % 256))
        if a:
            rgb = [i * a + r * alpha * (1 - a) for i, r in zip(icon, rgb)]
            alpha = a + alpha * (1 - a)
            rgb = [c / alpha for c in rgb]
    return [min(255, round(c)) for c in rgb] + [round(255 * alpha)]


if __name__ == '__main__':
    png(sys.argv[1] + '/badge.png', 24, 24, badge)
    png(sys.argv[1] + '/screen.png', 320, 240, screen)
