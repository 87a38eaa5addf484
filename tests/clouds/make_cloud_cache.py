#!/usr/bin/env python3
"""Writes a cloud cache file for the end-to-end runs.

    make_cloud_cache.py FILE halves|swirls

"halves": 64 x 64, the upper half 250 (full cloud), the lower half 0. "swirls": 256 x 256
spiral bands inside a disc, to be looked at on a lit globe. Every pyramid level is written, its
sizes by the level rule (halve rounding up, an odd result of 3 or more up to the next even
number, down to the first 1 x 1 level after level 0); the box is the whole picture.
"""
import math
import struct
import sys


def next_side(n):
    n = (n + 1) // 2
    return n + 1 if n >= 3 and n % 2 == 1 else n


def value(kind, u, v):
    if kind == "halves":
        return 250 if v < 0.5 else 0
    r = math.hypot(u - 0.5, v - 0.5)
    a = math.atan2(v - 0.5, u - 0.5)
    s = math.sin(a * 3 + r * 25) * 0.5 + 0.5
    return int(255 * s * s) if r < 0.5 else 0


def main():
    path, kind = sys.argv[1], sys.argv[2]
    side = 64 if kind == "halves" else 256
    out = struct.pack(">IIiiiiiii", 0xFEDCABB0, 1, side, side, 0, side, 0, side, 0)
    w = h = side
    level = 0
    while True:
        out += bytes(value(kind, (x + 0.5) / w, (y + 0.5) / h) for y in range(h) for x in range(w))
        if level > 0 and w == 1 and h == 1:
            break
        w, h, level = next_side(w), next_side(h), level + 1
    with open(path, "wb") as fh:
        fh.write(out)


main()
