#!/usr/bin/env python3
"""Reads a cloud cache or a cloud source list with struct, independently of the plug-in's code.

    read_cloud_file.py cache FILE   -> "magic version width height x w y h source length pyramid"
    read_cloud_file.py list FILE    -> "magic version" then one line per entry:
                                       "absent" or "n m box... black white ov1 ov2 variant form
                                       flags threshold extra... | url | label"

The pyramid size follows the level rule: each side halves rounding up, an odd result of 3 or
more goes up to the next even number, and the pyramid ends with its first 1 x 1 level after
level 0.
"""
import struct
import sys


def next_side(n):
    n = (n + 1) // 2
    return n + 1 if n >= 3 and n % 2 == 1 else n


def pyramid(width, height):
    total = width * height
    level = 0
    while True:
        if level > 0 and width == 1 and height == 1:
            return total
        width, height = next_side(width), next_side(height)
        total += width * height
        level += 1


def cache(data):
    fields = struct.unpack(">IIiiiiiii", data[:36])
    print(" ".join(str(v) for v in fields), len(data), 36 + pyramid(fields[2], fields[3]))


def fixed(word):
    return "%.5f" % (word * 0.00001)


def source_list(data):
    magic, version = struct.unpack(">Ii", data[:8])
    print(magic, version)
    at = 8
    for _ in range(12):
        (presence,) = struct.unpack(">i", data[at:at + 4])
        at += 4
        if presence != 0:
            print("absent")
            continue
        words = struct.unpack(">6i5ii8i", data[at:at + 80])
        at += 80
        (n,) = struct.unpack(">i", data[at:at + 4])
        url = data[at + 4:at + 4 + n].decode("latin-1")
        assert data[at + 4 + n] == 0
        at += 4 + n + 1
        (m,) = struct.unpack(">i", data[at:at + 4])
        label = data[at + 4:at + 4 + m].decode("latin-1")
        assert data[at + 4 + m] == 0
        at += 4 + m + 1
        numbers = [fixed(w) for w in words[:6]] + [str(w) for w in words[6:11]] + [fixed(words[11])] + \
                  [str(w) for w in words[12:]]
        print(n, m, " ".join(numbers), "|", url, "|", label)
    print("end", at, len(data))


if __name__ == "__main__":
    with open(sys.argv[2], "rb") as fh:
        content = fh.read()
    (cache if sys.argv[1] == "cache" else source_list)(content)
