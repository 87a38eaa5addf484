#!/usr/bin/env python3
"""Decodes the built property lists and the scripting terminology the way a host on Windows
reads them, with nothing shared with the writers (resources/make_pipl.py, make_aete.py) or the
stand-in host's readers: Python's struct on the raw bytes.

Usage: resource_bytes_check.py PIPL64 PIPL32 AETE
"""

import struct
import sys

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def code(raw):
    # A four-character code is a little-endian word: 'kind' is stored as the bytes "dnik".
    return raw[::-1].decode("latin-1")


def properties(data):
    reserved, version, count = struct.unpack_from("<Hii", data, 0)
    check(reserved == 1 and version == 0, "property list header %d %d" % (reserved, version))
    at = 10
    found = {}
    for _ in range(count):
        vendor, key = code(data[at:at + 4]), code(data[at + 4:at + 8])
        _, length = struct.unpack_from("<iI", data, at + 8)
        check(vendor == "8BIM", "vendor %r" % vendor)
        found[key] = data[at + 16:at + 16 + length]
        at += 16 + ((length + 3) & ~3)
    check(at == len(data), "property list ends at %d of %d" % (at, len(data)))
    return found


# Image modes as a host numbers them, and the flag bit each has in the 'mode' bytes.
MODE_FLAGS = {
    "bitmap": (0, 0x80), "grayscale": (0, 0x40), "indexed": (0, 0x20), "RGB": (0, 0x10),
    "duotone": (1, 0x80), "Lab": (1, 0x40), "Gray16": (1, 0x20), "RGB48": (1, 0x10),
}


def check_pipl(path, entry_key, entry):
    with open(path, "rb") as f:
        found = properties(f.read())
    modes = found.get("mode", b"")
    check(modes[:2] == b"\x50\x00", "%s: mode bytes %s, expected 50 00" % (path, modes[:2].hex(" ")))
    enabled = sorted(name for name, (byte, bit) in MODE_FLAGS.items() if len(modes) > byte and modes[byte] & bit)
    check(enabled == ["RGB", "grayscale"], "%s: modes declared %s" % (path, enabled))
    check(found.get(entry_key, b"").rstrip(b"\0") == entry.encode(), "%s: entry %r" % (path, found.get(entry_key)))


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, fmt):
        values = struct.unpack_from("<" + fmt, self.data, self.at)
        self.at += struct.calcsize("<" + fmt)
        return values if len(values) > 1 else values[0]

    def pstring(self):
        n = self.data[self.at]
        text = self.data[self.at + 1:self.at + 1 + n].decode("latin-1")
        self.at += 1 + n
        return text

    def code(self):
        raw = self.data[self.at:self.at + 4]
        self.at += 4
        return code(raw)


def check_aete(path):
    with open(path, "rb") as f:
        data = f.read()
    r = Reader(data)
    reserved, major, minor, language, script, suites = r.take("HBBHHH")
    check(reserved == 1, "terminology reserved word %d, expected 1" % reserved)
    check((major, minor) == (1, 0), "terminology version %d.%d, expected 1.0" % (major, minor))
    check(suites == 1, "%d suites" % suites)
    vendor, description, suite = r.pstring(), r.pstring(), r.code()
    check((vendor, description, suite) == ("Corvalane", "Kivaglobe", "Kvgb"), "suite %r" % ((vendor, description, suite),))
    level, version, events = r.take("HHH")
    check((level, version, events) == (1, 1, 1), "suite level, version, events %r" % ((level, version, events),))
    name, description = r.pstring(), r.pstring()
    check((name, description) == ("Kivaglobe", "Makes planets"), "event %r" % ((name, description),))
    check([r.code(), r.code(), r.code()] == ["Kvgb", "Kvgb", "null"], "event codes")
    check(r.pstring() == "" and r.take("H") == 0, "reply")
    check(r.code() == "#ImR" and r.pstring() == "" and r.take("H") == 0xB000, "direct parameter")
    count = r.take("H")
    check(count == 59, "%d parameters" % count)
    parameters = []
    for _ in range(count):
        name, key, kind, description, flags = r.pstring(), r.code(), r.code(), r.pstring(), r.take("H")
        check(description == name, "parameter %r described as %r" % (name, description))
        parameters.append((name, key, kind, flags))
    check(parameters[0] == ("land red", "0001", "long", 0x8000), "first parameter %r" % (parameters[0],))
    check(("glue", "LGky", "LGty", 0xA000) in parameters, "glue parameter")
    check(("Y center", "0058", "doub", 0x8000) == parameters[-1], "last parameter %r" % (parameters[-1],))
    check(len({p[1] for p in parameters}) == 59 and "0033" not in {p[1] for p in parameters}, "keys")
    classes, operators, enumerations = r.take("HHH")
    check((classes, operators, enumerations) == (0, 0, 1), "classes, operators, enumerations")
    check(r.code() == "LGty", "enumeration type")
    items = r.take("H")
    check(items == 14, "%d modes" % items)
    names = []
    for number in range(1, items + 1):
        name, value, description = r.pstring(), r.code(), r.pstring()
        check(value == "LG%02d" % number and description == name, "mode %d: %r %r" % (number, value, description))
        names.append(name)
    check(names[2] == "lit map" and names[13] == "bump w/o ocean", "mode names %r" % names)
    check(r.at == len(data), "terminology parsed to byte %d of %d" % (r.at, len(data)))


def main(argv):
    if len(argv) != 3:
        print(__doc__)
        return 2
    try:
        check_pipl(argv[0], "8664", "PluginMain")
        check_pipl(argv[1], "wx86", "ENTRYPOINT")
        check_aete(argv[2])
    except (struct.error, IndexError, UnicodeDecodeError) as e:
        failures.append("cannot decode: %s" % e)
    for f in failures:
        print("FAIL:", f)
    print("%d failures" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
