#!/usr/bin/env python3
"""Writes the GIF files that the cloud decoder's tests read.

    tools/make_gif_fixtures.py OUTDIR

OUTDIR/legal/*.gif are well-formed pictures that exercise the unusual corners of the format
(interlace, 1-byte sub-blocks carrying 12-bit codes, a full table without a clear, local tables,
transparency, animation). Each one is checked here with ImageMagick, which must decode it to the
indices this script meant; the tests then compare our decoder with ImageMagick again.

OUTDIR/hostile/*.gif are damaged or malicious files. Their names say what the decoder must give:
"nopic_" no picture at all, "partial_" a picture whose first pixels are the ones listed in
OUTDIR/hostile/expected.txt and whose other pixels are 0.

The files are committed; they double as the seed corpus of the decoder's fuzz target.
"""
import os
import random
import struct
import subprocess
import sys


def pack_codes(codes):
    """(code, bit size) pairs into bytes, least significant bit first."""
    acc = 0
    bits = 0
    out = bytearray()
    for code, size in codes:
        acc |= code << bits
        bits += size
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data, size):
    out = bytearray()
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out.append(len(chunk))
        out += chunk
    out.append(0)
    return bytes(out)


def lzw_codes(indices, min_size, deferred=False):
    """The GIF LZW code stream of the indices. With `deferred`, a full table is kept (no clear)."""
    clear = 1 << min_size
    end = clear + 1
    codes = [(clear, min_size + 1)]
    size = min_size + 1
    table = {}
    next_code = end + 1
    w = None
    for k in indices:
        if w is None:
            w = k
            continue
        if (w, k) in table:
            w = table[(w, k)]
            continue
        codes.append((w, size))
        if next_code < 4096:
            table[(w, k)] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        elif not deferred:
            codes.append((clear, size))
            table = {}
            next_code = end + 1
            size = min_size + 1
        w = k
    if w is not None:
        codes.append((w, size))
    codes.append((end, size))
    return codes


def colour_table(n, seed):
    rnd = random.Random(seed)
    return [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(n)]


def table_bytes(colours):
    return b"".join(bytes(c) for c in colours)


def table_bits(n):
    """The flags' size field for a table of n entries (a power of two, 2..256)."""
    return n.bit_length() - 2


def interlace_order(height):
    rows = []
    for start, step in ((0, 8), (4, 8), (2, 4), (1, 2)):
        rows += list(range(start, height, step))
    return rows


def image_block(width, height, rows, min_size, block_size=255, interlaced=False, local=None,
                deferred=False, left=0, top=0):
    flags = 0x40 if interlaced else 0
    out = bytearray(b",")
    out += struct.pack("<HHHH", left, top, width, height)
    if local is not None:
        flags |= 0x80 | table_bits(len(local))
    out.append(flags)
    if local is not None:
        out += table_bytes(local)
    order = interlace_order(height) if interlaced else range(height)
    indices = [v for y in order for v in rows[y]]
    out.append(min_size)
    out += sub_blocks(pack_codes(lzw_codes(indices, min_size, deferred)), block_size)
    return bytes(out)


def gce(transparent=None, delay=0):
    flags = 1 if transparent is not None else 0
    return b"!\xf9\x04" + struct.pack("<BHB", flags, delay, transparent or 0) + b"\x00"


def gif(width, height, global_table, blocks, version=b"89a"):
    out = bytearray(b"GIF" + version)
    flags = 0
    if global_table is not None:
        flags = 0x80 | table_bits(len(global_table)) | 0x70
    out += struct.pack("<HHBBB", width, height, flags, 0, 0)
    if global_table is not None:
        out += table_bytes(global_table)
    for b in blocks:
        out += b
    out += b";"
    return bytes(out)


def random_rows(width, height, colours, seed):
    rnd = random.Random(seed)
    return [[rnd.randrange(colours) for _ in range(width)] for _ in range(height)]


def smooth_rows(width, height, colours, seed):
    """Runs of equal values, so the strings grow long (and the KwKwK case comes up)."""
    rnd = random.Random(seed)
    rows = []
    for _ in range(height):
        row = []
        while len(row) < width:
            row += [rnd.randrange(colours)] * rnd.randrange(1, 9)
        rows.append(row[:width])
    return rows


def legal_fixtures():
    """name -> (bytes, rows, palette) of the first image."""
    f = {}
    g16 = colour_table(16, 1)
    rows = random_rows(16, 12, 16, 2)
    f["basic_16x12"] = (gif(16, 12, g16, [image_block(16, 12, rows, 4)]), rows, g16)

    g4 = colour_table(4, 3)
    rows = [[0, 1], [2, 1]]
    f["transparent_2x2"] = (gif(2, 2, g4, [gce(transparent=3), image_block(2, 2, rows, 2)]), rows, g4)

    for w, h in ((1, 10), (1, 3), (3, 1), (5, 7), (6, 9), (7, 10), (11, 17)):
        g8 = colour_table(8, 10 + h)
        rows = random_rows(w, h, 8, 20 + h)
        f["interlaced_%dx%d" % (w, h)] = (gif(w, h, g8, [image_block(w, h, rows, 3, interlaced=True)]), rows, g8)

    g256 = colour_table(256, 4)
    rows = random_rows(80, 80, 256, 5)
    f["tiny_blocks_deferred_clear"] = (
        gif(80, 80, g256, [image_block(80, 80, rows, 8, block_size=1, deferred=True)]), rows, g256)
    rows = random_rows(70, 70, 256, 6)
    f["two_byte_blocks_with_clears"] = (gif(70, 70, g256, [image_block(70, 70, rows, 8, block_size=2)]), rows, g256)
    rows = smooth_rows(64, 48, 5, 7)
    f["long_runs_3_byte_blocks"] = (gif(64, 48, g256, [image_block(64, 48, rows, 8, block_size=3)]), rows, g256)

    local = colour_table(4, 8)
    rows = random_rows(9, 5, 4, 9)
    f["local_table"] = (gif(9, 5, g256, [image_block(9, 5, rows, 2, local=local)]), rows, local)

    g2 = [(0, 0, 0), (255, 255, 255)]
    rows = random_rows(13, 6, 2, 11)
    f["two_colours_gif87a"] = (gif(13, 6, g2, [image_block(13, 6, rows, 2)], version=b"87a"), rows, g2)

    frames = [random_rows(6, 4, 16, 30 + i) for i in range(3)]
    blocks = []
    for fr in frames:
        blocks += [gce(delay=10), image_block(6, 4, fr, 4)]
    comment = b"!\xfe" + sub_blocks(b"made for the cloud decoder's tests", 7)
    app = b"!\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00"
    f["animated_3_frames"] = (gif(6, 4, g16, [app, comment] + blocks), frames[0], g16)

    # For the cloud import: green levels 204 and 255 with a one-pixel overlay line (index 2) in
    # the 204 area, a bottom row of green 102; and a dark square on a bright ground.
    cp = [(0, 0, 0), (10, 204, 10), (255, 255, 0), (0, 102, 0), (0, 255, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0)]
    rows = [[(2 if x == 5 and 2 <= y <= 12 else 1) if x < 10 else 4 for x in range(20)] for y in range(15)] + [[3] * 20]
    f["cloud_overlay_20x16"] = (gif(20, 16, cp, [image_block(20, 16, rows, 3)]), rows, cp)
    rows = [[0 if 6 <= x <= 17 and 4 <= y <= 15 else 4 for x in range(24)] for y in range(20)]
    f["cloud_disc_24x20"] = (gif(24, 20, cp, [image_block(24, 20, rows, 3)]), rows, cp)
    return f


def imagemagick_rgb(path):
    return subprocess.run(["convert", path + "[0]", "-depth", "8", "rgb:-"], check=True,
                          capture_output=True).stdout


def hostile_fixtures():
    """name -> bytes, and name -> the expected leading pixels of the partial cases."""
    h = {}
    expected = {}
    g16 = colour_table(16, 40)
    rows = random_rows(8, 8, 16, 41)
    good = gif(8, 8, g16, [gce(transparent=2), image_block(8, 8, rows, 4)])
    image_at = 13 + 3 * 16 + len(gce(transparent=2))
    h["nopic_no_trailer"] = good[:-1]
    h["nopic_cut_in_extension"] = good[:image_at - 3]
    h["nopic_cut_in_image_data"] = good[:image_at + 20]
    h["nopic_cut_in_global_table"] = good[:20]
    h["nopic_cut_in_descriptor"] = good[:image_at + 5]
    h["nopic_bad_signature"] = b"GIG" + good[3:]
    h["nopic_bad_version"] = b"GIF88a" + good[6:]
    h["nopic_no_image"] = gif(8, 8, g16, [gce(transparent=2)])
    h["nopic_empty"] = b""
    for size in (0, 1, 9, 12, 255):
        h["nopic_code_size_%d" % size] = good[:image_at + 10] + bytes([size]) + good[image_at + 11:]
    h["nopic_width_0"] = gif(0, 8, g16, [image_block(0, 8, [[]] * 8, 4)])
    h["nopic_width_20000"] = gif(8, 8, g16, [b"," + struct.pack("<HHHHB", 0, 0, 20000, 2, 0) + b"\x04\x02\x10\x11\x00"])
    h["nopic_cut_after_frame"] = good[:-1] + gce(delay=4)[:4]
    # A later frame is passed over by its lengths, but its code size is still checked.
    later = image_block(8, 8, rows, 4)
    h["nopic_later_frame_code_size_12"] = good[:-1] + later[:10] + b"\x0c" + later[11:] + b";"

    def raw(width, height, codes, min_size=4, block=255):
        body = b"," + struct.pack("<HHHHB", 0, 0, width, height, 0) + bytes([min_size])
        return gif(width, height, g16, [body + sub_blocks(pack_codes(codes), block)])

    c, e = 16, 17
    h["partial_end_code_first"] = raw(4, 2, [(c, 5), (e, 5)])
    expected["partial_end_code_first"] = []
    h["partial_code_above_next_free"] = raw(4, 2, [(c, 5), (1, 5), (2, 5), (3, 5), (30, 5), (4, 5), (e, 5)])
    expected["partial_code_above_next_free"] = [1, 2, 3]
    h["partial_first_code_not_literal"] = raw(4, 2, [(c, 5), (20, 5), (1, 5), (e, 5)])
    expected["partial_first_code_not_literal"] = []
    h["partial_bad_code_after_clear"] = raw(4, 2, [(c, 5), (5, 5), (6, 5), (c, 5), (18, 5), (e, 5)])
    expected["partial_bad_code_after_clear"] = [5, 6]
    h["partial_data_ends_early"] = raw(4, 3, [(c, 5), (7, 5), (8, 5), (9, 5)])
    expected["partial_data_ends_early"] = [7, 8, 9]
    # KwKwK right after the first literal: code 18 is the next free entry (7, 7).
    h["partial_kwkwk_then_end"] = raw(4, 2, [(c, 5), (7, 5), (18, 5), (e, 5)])
    expected["partial_kwkwk_then_end"] = [7, 7, 7]
    # A graphic control extension whose sub-block holds 2 bytes: no transparent index in it.
    short_gce = b"!\xf9\x02\x01\x00\x00"
    h["partial_short_control_extension"] = gif(2, 1, g16, [short_gce, image_block(2, 1, [[3, 4]], 4)])
    expected["partial_short_control_extension"] = [3, 4]
    # Junk between blocks is passed over.
    h["partial_junk_between_blocks"] = gif(2, 1, g16, [b"\x00\x99\x07", image_block(2, 1, [[5, 6]], 4), b"\x00"])
    expected["partial_junk_between_blocks"] = [5, 6]
    return h, expected


def main():
    out = sys.argv[1]
    os.makedirs(os.path.join(out, "legal"), exist_ok=True)
    os.makedirs(os.path.join(out, "hostile"), exist_ok=True)
    for name, (data, rows, palette) in sorted(legal_fixtures().items()):
        path = os.path.join(out, "legal", name + ".gif")
        with open(path, "wb") as fh:
            fh.write(data)
        meant = b"".join(bytes(palette[v]) for row in rows for v in row)
        if imagemagick_rgb(path) != meant:
            sys.exit("ImageMagick does not read %s as meant" % path)
    hostile, expected = hostile_fixtures()
    for name, data in sorted(hostile.items()):
        with open(os.path.join(out, "hostile", name + ".gif"), "wb") as fh:
            fh.write(data)
    with open(os.path.join(out, "hostile", "expected.txt"), "w") as fh:
        for name, pixels in sorted(expected.items()):
            fh.write("%s %s\n" % (name, " ".join(str(p) for p in pixels)))


if __name__ == "__main__":
    main()
