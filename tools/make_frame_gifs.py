#!/usr/bin/env python3
"""Writes files/frame_gifs.cpp: the four frame images of the gallery pages as byte arrays.

Each picture of a page sits in a 3 x 3 table whose outer cells show a grey drop shadow: a thin
light edge at the top and left, a deeper shade at the right and a soft shadow below. The page
stretches each image to its cell with width and height attributes, so the images only need one
pixel along the stretched side: top 1 x 2, left 3 x 1, right 3 x 1, bottom 1 x 5.

The GIFs are GIF89a with a local colour table of 8 greys. Their LZW data sends a clear code
before every pixel, so that the code width never grows past 4 bits: a few bytes longer than a
compressing encoder's output, and readable by every decoder.

    python3 tools/make_frame_gifs.py files/frame_gifs.cpp
"""
import sys

GREYS = [0xff, 0xf0, 0xe4, 0xd4, 0xc0, 0xa8, 0x94, 0x80]

# name -> (width, height, rows of palette indices)
FRAMES = {
    "top": (1, 2, [[2], [3]]),
    "left": (3, 1, [[2, 3, 4]]),
    "right": (3, 1, [[7, 5, 3]]),
    "bottom": (1, 5, [[6], [5], [4], [2], [1]]),
}


def lzw(indices, min_code_size=3):
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    width = min_code_size + 1
    codes = []
    for i in indices:
        codes += [clear, i]
    codes.append(end)
    bits, count, out = 0, 0, bytearray()
    for c in codes:
        bits |= c << count
        count += width
        while count >= 8:
            out.append(bits & 0xff)
            bits >>= 8
            count -= 8
    if count:
        out.append(bits & 0xff)
    return bytes(out)


def gif(width, height, rows):
    out = bytearray(b"GIF89a")
    out += width.to_bytes(2, "little") + height.to_bytes(2, "little")
    out += bytes([0x00, 0, 0])                       # no global colour table
    out += b"\x2c" + bytes(4) + width.to_bytes(2, "little") + height.to_bytes(2, "little")
    out += bytes([0x82])                             # local table of 8 colours
    for g in GREYS:
        out += bytes([g, g, g])
    data = lzw([i for row in rows for i in row])
    out += bytes([3])
    for k in range(0, len(data), 255):
        chunk = data[k:k + 255]
        out += bytes([len(chunk)]) + chunk
    out += b"\x00\x3b"
    return bytes(out)


def main():
    lines = ["// frame_gifs.cpp -- made by tools/make_frame_gifs.py; do not edit.",
             '#include "files/frame_gifs.h"', ""]
    table = []
    for name, (w, h, rows) in FRAMES.items():
        data = gif(w, h, rows)
        lines.append("static const uint8_t k%sGif[%d] = {" % (name.capitalize(), len(data)))
        for k in range(0, len(data), 16):
            lines.append("    " + ", ".join("0x%02x" % b for b in data[k:k + 16]) + ",")
        lines.append("};")
        table.append('    {"%s.gif", k%sGif, %d},' % (name, name.capitalize(), len(data)))
    lines.append("")
    lines.append("const FrameGif kFrameGifs[kFrameGifCount] = {")
    lines += table
    lines.append("};")
    with open(sys.argv[1], "w") as f:
        f.write("\n".join(lines) + "\n")


main()
