#!/usr/bin/env python3
"""Writes the seed inputs of the source-list and cloud-cache fuzz targets.

    tools/make_cloud_seeds.py tests/fuzz_corpus

cloud_list/: whole lists (12 sources; 10 sources and 2 absent), one cut inside its last
entry, one with a URL length of 260. cloud_cache/: caches of 10 x 6 and 1 x 1 pictures, one
cut after its header, one with a wrong magic.
"""
import os
import struct
import sys

MAGIC = 0xFEDCABB0


def entry(i):
    url = ("http://clouds.example.com/source%d.gif" % i).encode()
    label = ("Source %d" % i).encode()
    fixed = [int(v * 100000) for v in (1, 473, 15, 450, 0.4, 0.9)]
    out = struct.pack(">i6i5ii8i", 0, *fixed, 2, -1, 1, i % 4, 1 + (i & 2), 50000, *([0] * 8))
    return out + struct.pack(">i", len(url)) + url + b"\0" + struct.pack(">i", len(label)) + label + b"\0"


def source_list(present, version=6):
    out = struct.pack(">Ii", MAGIC, version)
    for i in range(12):
        out += entry(i) if i < present else struct.pack(">i", -1)
    return out


def next_side(n):
    n = (n + 1) // 2
    return n + 1 if n >= 3 and n % 2 == 1 else n


def cache(width, height, source):
    out = struct.pack(">IIiiiiiii", MAGIC, 1, width, height, 0, width, 0, height, source)
    w, h, level = width, height, 0
    while True:
        out += bytes((x * 5 + y * 11 + level) & 255 for y in range(h) for x in range(w))
        if level > 0 and w == 1 and h == 1:
            return out
        w, h, level = next_side(w), next_side(h), level + 1


def main():
    root = sys.argv[1]
    lists = {
        "twelve": source_list(12, 7),
        "ten_and_two_absent": source_list(10),
        "cut_in_last_entry": source_list(12)[:-3],
        "url_length_260": source_list(1)[:8] + entry(0)[:84] + struct.pack(">i", 260) + b"u" * 261,
    }
    caches = {
        "picture_10x6": cache(10, 6, 3),
        "picture_1x1": cache(1, 1, 3),
        "cut_after_header": cache(10, 6, 3)[:36],
        "wrong_magic": b"\0" + cache(4, 4, 3)[1:],
    }
    for folder, files in (("cloud_list", lists), ("cloud_cache", caches)):
        os.makedirs(os.path.join(root, folder), exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(root, folder, name), "wb") as fh:
                fh.write(data)


main()
