#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Draws the Ostrel icon (a pulse line on a signal dish) at 32x32 and 16x16
and writes packaging/icons/ostrel-32.png and ostrel-16.png. Pure Python, no
imaging library: shapes are sampled 8x8 per pixel for smooth edges."""
import math, os, struct, zlib

def png(path, size, pixels):
    raw = b"".join(b"\0" + bytes(c for px in pixels[y * size:(y + 1) * size] for c in px)
                   for y in range(size))
    chunk = lambda t, d: struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))

def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)

# The pulse: flat, a sharp peak up, a dip down, flat again (unit square).
PULSE = [(0.14, 0.56), (0.36, 0.56), (0.45, 0.24), (0.56, 0.80), (0.64, 0.56), (0.86, 0.56)]

def colour(u, v, size):
    r = 0.16  # corner radius of the rounded square
    cx, cy = min(max(u, r), 1 - r), min(max(v, r), 1 - r)
    if math.hypot(u - cx, v - cy) > r:
        return None
    stroke = 0.085 if size <= 16 else 0.06
    if min(seg_dist(u, v, *PULSE[i], *PULSE[i + 1]) for i in range(len(PULSE) - 1)) < stroke:
        return (120, 255, 140)
    ring = math.hypot(u - 0.5, v - 0.56)
    if size > 16 and abs(ring - 0.40) < 0.025 and v < 0.56:
        return (70, 150, 200)  # the arc of a signal, above the line
    t = v  # background: deep blue to teal, top to bottom
    return (int(20 + 10 * t), int(50 + 60 * t), int(100 + 40 * t))

def draw(size):
    n = 8
    out = []
    for y in range(size):
        for x in range(size):
            acc, hits = [0, 0, 0], 0
            for sy in range(n):
                for sx in range(n):
                    c = colour((x + (sx + 0.5) / n) / size, (y + (sy + 0.5) / n) / size, size)
                    if c:
                        hits += 1
                        for i in range(3):
                            acc[i] += c[i]
            out.append((0, 0, 0, 0) if not hits else
                       tuple(a // hits for a in acc) + (255 * hits // (n * n),))
    return out

here = os.path.dirname(os.path.abspath(__file__))
for size in (32, 16):
    png(os.path.join(here, "icons", "ostrel-%d.png" % size), size, draw(size))
