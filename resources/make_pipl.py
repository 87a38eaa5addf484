#!/usr/bin/env python3
"""Writes Kivaglobe's plug-in property list (resource 16000, type "PIPL") as raw bytes.

Layout (the host's published property-list format, Windows byte order; plugin/pipl_layout.h
holds the same layout as C++ constants and a reader): a little-endian u16 reserved word 1, an
i32 list version 0 and an i32 property count; then the properties back to back, each made of
the vendor code '8BIM', its key, an i32 id 0, a u32 data length and the data, zero-padded to a
multiple of 4 bytes (the length counts the padding). A four-character code 'abcd' is the
little-endian word 0x61626364 (bytes "dcba"). Name and category are length-prefixed strings
(one length byte, then the characters); entry names, the enable expression and the
terminology scope are NUL-terminated. 'vers' is (major << 16) | minor; 'mode' is a set of
flag bytes, not a number: byte 0 holds bitmap 0x80, grayscale 0x40, indexed 0x20, RGB 0x10,
CMYK 0x08, ..., multichannel 0x01, byte 1 duotone 0x80, Lab 0x40, Gray16 0x20, RGB48 0x10, so
image mode m is the bit 0x80 >> (m % 8) of byte m // 8 (grayscale and RGB: the bytes 50 00); 'hstm' is i32 version, class code, event
code, i16 terminology resource id, scope string; 'fici' is seven 4-byte records (input
handling, output handling, flags byte 1, flags byte 2), one per filter case 1..7.

Usage: make_pipl.py --width 64|32 --out FILE
"""

import argparse
import struct
import sys


def fourcc(code):
    assert len(code) == 4
    return struct.pack("<I", int.from_bytes(code.encode("ascii"), "big"))


def pad4(data):
    return data + b"\0" * (-len(data) % 4)


def pascal(text):
    raw = text.encode("ascii")
    assert len(raw) < 256
    return bytes([len(raw)]) + raw


def cstring(text):
    return text.encode("ascii") + b"\0"


def prop(key, data):
    data = pad4(data)
    return fourcc("8BIM") + fourcc(key) + struct.pack("<iI", 0, len(data)) + data


# Filter cases 1..7: straight data in and out everywhere; flags byte 1 is 1 ("do not copy
# the source to the destination") for the flat and floating cases and 3 (also "works with
# blank data") for the four transparency cases; flags byte 2 is 0.
STRAIGHT_DATA = 1
FILTER_CASES = [(STRAIGHT_DATA, STRAIGHT_DATA, 1, 0)] * 3 + [(STRAIGHT_DATA, STRAIGHT_DATA, 3, 0)] * 4



def mode_flags(modes):
    flags = bytearray(2)
    for mode in modes:
        flags[mode // 8] |= 0x80 >> (mode % 8)
    return bytes(flags)


MODE_GRAYSCALE = 1
MODE_RGB = 3


def build(width):
    if width == 64:
        code = prop("8664", cstring("PluginMain"))
    else:
        code = prop("wx86", cstring("ENTRYPOINT"))
    properties = [
        prop("kind", fourcc("8BFM")),
        prop("name", pascal("Kivaglobe...")),
        prop("catg", pascal("Corvalane")),
        prop("vers", struct.pack("<I", (4 << 16) | 0)),
        code,
        prop("hstm", struct.pack("<i", 0) + fourcc("Kvgb") + fourcc("Kvgb") + struct.pack("<h", 16000)
             + cstring("Corvalane Kivaglobe")),
        prop("mode", mode_flags([MODE_GRAYSCALE, MODE_RGB])),
        prop("enbl", cstring("in (PSHOP_ImageMode, RGBMode, GrayScaleMode, RGB48Mode, Gray16Mode) ")),
        prop("fici", b"".join(struct.pack("<4B", *case) for case in FILTER_CASES)),
    ]
    return struct.pack("<Hii", 1, 0, len(properties)) + b"".join(properties)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--width", type=int, choices=(32, 64), required=True)
    parser.add_argument("--out", required=True)
    args = parser.parse_args(argv)
    data = build(args.width)
    with open(args.out, "wb") as out:
        out.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
