#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets into tests/fuzz_corpus/<target>/.

Each seed is a small, sound input of the kind the target reads, so that the fuzzer starts from
the paths real files take rather than from nothing: presets of versions 1, 22 and 40 with and
without a picture, baseline, progressive, grey, restart-marked and arithmetic-coded JPEG
pictures (made by libjpeg-turbo's cjpeg and jpegtran), recorded-action sequences, a cloud-source
list, the plug-in's property lists, and plain values for the numeric targets.

Usage: make_fuzz_seeds.py [ROOT]   (ROOT defaults to the source tree holding this script)
"""
import os
import struct
import subprocess
import sys
import tempfile

ROOT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, 'tests', 'fuzz_corpus')


def words(*values):
    return b''.join(struct.pack('>I', v & 0xFFFFFFFF) for v in values)


def put(target, name, data):
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data)


def ppm(width, height, grey=False):
    """A smooth RGB (or grey) test picture as PPM/PGM bytes."""
    pixels = bytearray()
    for y in range(height):
        for x in range(width):
            r, g, b = (x * 8) & 255, (y * 8) & 255, (x * 4 + y * 4) & 255
            pixels += bytes([r]) if grey else bytes([r, g, b])
    head = b'P5' if grey else b'P6'
    return head + b'\n%d %d\n255\n' % (width, height) + bytes(pixels)


def cjpeg(picture, *options):
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, 'in.pnm')
        with open(source, 'wb') as f:
            f.write(picture)
        return subprocess.run(['cjpeg', *options, source], check=True, capture_output=True).stdout


def fixed_part(version):
    """The words every version up to `version` carries, through the ice colour (version >= 18)."""
    w = [version] + [0x4000 + k for k in range(9)]                   # land, air, sea colours
    w += [30, 50, 1, 1, 65, 57, 50, 50, 3, 50, 50, 0, 0, 50, 30]      # air depth .. desert
    w += [0, 50, 50, 50, 40]                                          # craters, edges, setting
    w += [0xFFFF, 0xFFFF, 0xFFFF] * 2                                 # cloud colour, twice
    if version >= 2:
        w += [0x8000, 0x8000, 0x8000, 50, 50, 1]                      # spare, texture, coverage, luna
    if version >= 3:
        w += [1, 1]                                                   # output mode, marker
    if version >= 4:
        w += [0, 50, 1]                                               # cities, viscosity, climate
    if version >= 5:
        w += [50, 50]                                                 # ice, cloud texture
    if version >= 8:
        w += [-68, -68, 27, 0, 100, 0]                                # light, axis x 100
    if version >= 12:
        w += [1234]
    if version >= 14:
        w += [50]
    if version >= 16:
        w += [1]
    if version >= 17:
        w += [0]
    if version >= 18:
        w += [0xC000, 0xB000, 0x8000, 0xF000, 0xF000, 0xFFFF]
    return words(*w)


def preset_40(thumbnail=None, side=16):
    data = fixed_part(40) + words(0) + words(0x2000, 0x2000, 0x1000) + words(0, 0)
    if thumbnail is None:
        return data + words(0)
    return data + words(1, side, side, len(thumbnail)) + thumbnail


def settings_seeds():
    put('settings_reader', 'v01', fixed_part(1))
    legacy = words(1, 4, 4) + bytes((i * 37) & 255 for i in range(4 * 4 * 3))
    put('settings_reader', 'v22-picture', fixed_part(22) + legacy)
    put('settings_reader', 'v22-empty', fixed_part(22) + words(0))
    put('settings_reader', 'v40-none', preset_40())
    put('settings_reader', 'v40-thumbnail', preset_40(cjpeg(ppm(16, 16), '-quality', '80')))
    put('settings_reader', 'v40-progressive', preset_40(cjpeg(ppm(16, 16), '-progressive')))


def jpeg_seeds():
    colour, grey = ppm(32, 24), ppm(24, 16, grey=True)
    put('jpeg_loader', 'baseline', cjpeg(colour, '-quality', '80', '-optimize'))
    put('jpeg_loader', 'baseline-444', cjpeg(colour, '-sample', '1x1'))
    put('jpeg_loader', 'progressive', cjpeg(colour, '-progressive'))
    put('jpeg_loader', 'grey', cjpeg(grey))
    put('jpeg_loader', 'grey-progressive', cjpeg(grey, '-progressive'))
    put('jpeg_loader', 'restart', cjpeg(colour, '-restart', '1B'))
    put('jpeg_loader', 'arithmetic', cjpeg(colour, '-arithmetic'))
    put('jpeg_loader', 'odd-size', cjpeg(ppm(17, 9)))


def script_seeds():
    # Records of 10 bytes: key selector, kind selector (0 integer, 1 boolean, 2 float,
    # 3 and 4 the output-mode enumeration), 8 value bytes.
    def record(key, kind, value):
        if kind == 2:
            return bytes([key, kind]) + struct.pack('<d', value)
        return bytes([key, kind]) + struct.pack('<q', int(value))
    every = b''.join(record(k, 0, 50) for k in range(59))
    put('script_reader', 'every-key', every)
    put('script_reader', 'kinds', record(3, 1, 1) + record(7, 2, 0.5) + record(12, 4, 0x0301) + record(20, 0, 77))
    put('script_reader', 'repeated', record(5, 0, 10) * 4 + record(5, 2, 1e30))


def foundation_seeds():
    entry = words(12) + b'http://a/b.j\0' + words(5) + b'label\0' + words(50000) + b'\x01' + words(8) + bytes(8)
    put('foundation_readers', 'list', words(2) + entry + entry + b'rest of the file' * 4)
    put('foundation_readers', 'empty-list', words(0) + bytes(64))


def numeric_seeds():
    floats = lambda *v: struct.pack('<%df' % len(v), *v)
    put('noise_values', 'ordinary', struct.pack('<I', 1234) + floats(0.1, 0.2, 0.3, 0.4, 0.5) +
        floats(0.5, -0.25, 0.75, 10.5, 3.0, -7.0))
    put('noise_values', 'lattice', struct.pack('<I', 0) + floats(0, 0, 1, 1, 0.5) + floats(1, 2, 3, -1, -2, -3))
    put('render_parameters', 'sliders', words(*range(0, 200, 3)))
    put('render_parameters', 'zeros', bytes(128))
    put('imagestore_samplers', 'small', bytes(range(0, 256, 3)))
    put('imagestore_samplers', 'ramp', bytes(range(256)) * 2)


def properties_seeds():
    make = os.path.join(ROOT, 'resources', 'make_pipl.py')
    with tempfile.TemporaryDirectory() as tmp:
        for width in ('64', '32'):
            out = os.path.join(tmp, 'pipl.bin')
            subprocess.run([sys.executable, make, '--width', width, '--out', out], check=True)
            with open(out, 'rb') as f:
                put('host_properties', 'pipl' + width, f.read())
    put('host_properties', 'expression', b'in(PSHOP_ImageMode,RGBMode,GrayScaleMode) && !(PSHOP_ImageDepth == 32)')


def hostile_cloud_seeds():
    """What a hostile picture server may send: GIF screens without pixel data, an LZW bomb in a
    later frame, a JPEG header of 4096 x 4096 without its scan, a cache whose box lies beyond any
    picture, half a source list. The fuzz targets start from them; the largest forms are also
    written into tests/clouds/hostile/ for the tests that time them."""
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from make_gif_fixtures import pack_codes, sub_blocks
    fixtures = os.path.join(ROOT, 'tests', 'clouds', 'hostile')
    os.makedirs(fixtures, exist_ok=True)

    def fixture(name, data):
        with open(os.path.join(fixtures, name), 'wb') as f:
            f.write(data)

    def gif(width, height, images):
        head = b'GIF89a' + struct.pack('<HHBBB', width, height, 0x80, 0, 0) + b'\0\0\0\xff\xff\xff'
        return head + b''.join(images) + b';'

    def image(width, height, codes):
        return b',' + struct.pack('<HHHHB', 0, 0, width, height, 0) + b'\x02' + sub_blocks(pack_codes(codes), 255)

    def screen(side):
        return gif(side, side, [image(side, side, [(4, 3), (1, 3), (0, 3), (5, 3)])])

    def bomb(size):
        # Each code names the entry it makes until the table is full, then the longest string
        # (4091 pixels) again and again.
        codes, bits, limit, nxt = [(4, 3), (0, 3)], 3, 8, 6
        while nxt < 4096:
            codes.append((nxt, bits))
            nxt += 1
            if nxt >= limit and limit < 4096:
                limit, bits = limit * 2, bits + 1
        codes += [(4095, 12)] * (size * 8 // 12)
        return gif(1, 1, [image(1, 1, [(4, 3), (1, 3), (5, 3)]), image(4096, 4096, codes)])

    put('gif_decoder', 'screen_16384_without_data', screen(16384))
    put('gif_decoder', 'lzw_bomb_after_1x1', bomb(64 * 1024))
    fixture('screen_16384_without_data.gif', screen(16384))
    fixture('screen_4096_without_data.gif', screen(4096))
    fixture('lzw_bomb_1mb_after_1x1.gif', bomb(1 << 20))
    # A 16 x 16 baseline JPEG whose frame header claims 4096 x 4096, ending after its scan header.
    jpeg = bytearray(cjpeg(ppm(16, 16)))
    sof = jpeg.index(b'\xff\xc0')
    jpeg[sof + 5:sof + 9] = struct.pack('>HH', 4096, 4096)
    sos = jpeg.index(b'\xff\xda')
    fixture('header_only_4096.jpg', bytes(jpeg[:sos + 2 + struct.unpack('>H', jpeg[sos + 2:sos + 4])[0]]))
    cache = struct.pack('>IIiiIIIIi', 0xFEDCABB0, 1, 10, 6, 0x7FFFFFFF, 0x7FFFFFFF, 0x80000000, 0x7FFFFFFF, 3)
    put('cloud_cache', 'box_2147483647', cache + bytes(range(60)) + bytes(24 + 8 + 2 + 1))
    with open(os.path.join(OUT, 'cloud_list', 'twelve'), 'rb') as f:
        twelve = f.read()
    put('cloud_list', 'half_of_twelve', twelve[:len(twelve) // 2])


def main():
    hostile_cloud_seeds()
    settings_seeds()
    jpeg_seeds()
    script_seeds()
    foundation_seeds()
    numeric_seeds()
    properties_seeds()


if __name__ == '__main__':
    main()
