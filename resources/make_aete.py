#!/usr/bin/env python3
"""Writes Kivaglobe's scripting terminology (resource 16000, type "AETE") as raw bytes.

Layout (the host's terminology format in its Windows form: every integer little-endian, a
four-character code 'abcd' as the little-endian word 0x61626364, like the property list):

    u16 reserved word 1, u8 major version 1, u8 minor version 0, u16 language 0,
    u16 script 0, u16 suite count
    per suite:  pstring name, pstring description, code suite ID, u16 level, u16 version,
                u16 event count, events, u16 class count, u16 comparison operator count,
                u16 enumeration count, enumerations
    per event:  pstring name, pstring description, code class, code ID, code reply type,
                pstring reply description, u16 reply flags, code direct parameter type,
                pstring its description, u16 its flags, u16 parameter count, parameters
    per parameter:   pstring name, code key, code type, pstring description, u16 flags
    per enumeration: code type, u16 item count, items
    per item:        pstring name, code value, pstring description

A pstring is a length byte and the characters. Nothing is padded: the Windows form has no
alignment bytes after odd-length strings (the Macintosh resource had them), and a host that
reads the Windows form would take a padding byte for the next field.

The table of parameters is the scripting key table of plugin/script_descriptor.cpp with the
names that the host shows and the stand-in host's --set takes.

Usage: make_aete.py --out FILE [--names FILE]
  --names also writes the parameter table as text (name, key, type a line) for the tests.
"""

import argparse
import struct
import sys

PARAMETERS = [
    ("land red", "0001"), ("land green", "0002"), ("land blue", "0003"),
    ("air red", "0004"), ("air green", "0005"), ("air blue", "0006"),
    ("sea red", "0007"), ("sea green", "0008"), ("sea blue", "0009"),
    ("air depth", "0010"), ("cloud height", "0011"), ("cloud shadows", "0012"),
    ("sunset", "0013"), ("planet size", "0014"), ("land complexity", "0015"),
    ("storm size", "0016"), ("storm count", "0017"), ("storm swirl", "0018"),
    ("air brightness", "0019"), ("real clouds", "0020"), ("backlighting", "0021"),
    ("sea level", "0022"), ("desert", "0023"), ("crater count", "0024"),
    ("crater size", "24p5"), ("crater texture", "0025"), ("cloud edges", "0026"),
    ("cloud red", "0027"), ("cloud green", "0028"), ("cloud blue", "0029"),
    ("land texture", "0030"), ("cloud coverage", "0031"), ("real luna", "0032"),
    ("glue", "LGky"), ("cities", "0034"), ("cloud viscosity", "0035"),
    ("lunar climate", "0036"), ("ice", "0037"), ("cloud texture", "0038"),
    ("light x", "0039"), ("light y", "0040"), ("light z", "0041"),
    ("axis x", "0042"), ("axis y", "0043"), ("axis z", "0044"),
    ("random seed", "0045"), ("cloud coriolis", "0046"), ("downloaded clouds", "0047"),
    ("desert red", "0048"), ("desert green", "0049"), ("desert blue", "0050"),
    ("ice red", "0051"), ("ice green", "0052"), ("ice blue", "0053"),
    ("city red", "0054"), ("city green", "0055"), ("city blue", "0056"),
    ("X center", "0057"), ("Y center", "0058"),
]

MODES = ["normal", "composite", "lit map", "map color", "land color", "land bump", "ocean mask",
         "air color", "cloud mask", "cloud bump", "cities", "mural", "hypsometric", "bump w/o ocean"]


def parameter_type(key):
    if key == "LGky":
        return "LGty", 0xA000
    if key in ("0057", "0058"):
        return "doub", 0x8000
    return "long", 0x8000


class Writer:
    def __init__(self):
        self.data = bytearray()

    def code(self, text):
        assert len(text) == 4
        self.data += struct.pack("<I", int.from_bytes(text.encode("ascii"), "big"))

    def u8(self, value):
        self.data += struct.pack("<B", value)

    def u16(self, value):
        self.data += struct.pack("<H", value)

    def pstring(self, text):
        raw = text.encode("ascii")
        assert len(raw) < 256
        self.data += bytes([len(raw)]) + raw


def build():
    w = Writer()
    w.u16(1)   # reserved word of the Windows form
    w.u8(1)
    w.u8(0)
    w.u16(0)   # language: English
    w.u16(0)   # script: Roman
    w.u16(1)   # one suite
    w.pstring("Corvalane")
    w.pstring("Kivaglobe")
    w.code("Kvgb")
    w.u16(1)   # level
    w.u16(1)   # version
    w.u16(1)   # one event
    w.pstring("Kivaglobe")
    w.pstring("Makes planets")
    w.code("Kvgb")   # class
    w.code("Kvgb")   # ID
    w.code("null")   # no reply
    w.pstring("")
    w.u16(0)
    w.code("#ImR")   # the direct parameter: the image
    w.pstring("")
    w.u16(0xB000)
    w.u16(len(PARAMETERS))
    for name, key in PARAMETERS:
        kind, flags = parameter_type(key)
        w.pstring(name)
        w.code(key)
        w.code(kind)
        w.pstring(name)
        w.u16(flags)
    w.u16(0)   # classes
    w.u16(0)   # comparison operators
    w.u16(1)   # enumerations
    w.code("LGty")
    w.u16(len(MODES))
    for number, name in enumerate(MODES, 1):
        w.pstring(name)
        w.code("LG%02d" % number)
        w.pstring(name)
    return bytes(w.data)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--names")
    args = parser.parse_args()
    assert len(PARAMETERS) == 59 and len({k for _, k in PARAMETERS}) == 59
    with open(args.out, "wb") as f:
        f.write(build())
    if args.names:
        with open(args.names, "w") as f:
            for name, key in PARAMETERS:
                f.write("%s\t%s\t%s\n" % (name, key, parameter_type(key)[0]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
