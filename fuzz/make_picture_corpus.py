#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the seed corpus of picture_fuzz into fuzz/corpus/picture: tiny PNGs
with the parameters in each text chunk encoding, damaged ones of each kind the
reader refuses, and bare JSON texts. Run it again after changing it; the files
are kept in the repository."""

import json
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "picture")

SIGNATURE = b"\x89PNG\r\n\x1a\n"


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


IHDR = chunk(b"IHDR", struct.pack(">IIBBBBB", 2, 1, 8, 2, 0, 0, 0))
IDAT = chunk(b"IDAT", zlib.compress(b"\x00\xff\x00\x00\x00\x00\xff"))
IEND = chunk(b"IEND", b"")
SOFTWARE = chunk(b"tEXt", b"Software\x00Plorvex Picture Maker 1.2014")


def itxt(text, compressed=False, language=b"", translated=b""):
    body = zlib.compress(text) if compressed else text
    return chunk(b"iTXt", b"plorvex\x00" + (b"\x01" if compressed else b"\x00") + b"\x00" + language +
                 b"\x00" + translated + b"\x00" + body)


def png(before, after=b""):
    return SIGNATURE + IHDR + before + IDAT + after + IEND


def params(**changes):
    p = {"version": "1.2014", "pattern": "dada", "x": " -2.5e3", "y": "&H1F", "size": "768",
         "zoom": "0.15", "brightness": "150 ", "density": 2, "smooth": 4, "complete": True}
    for key, value in changes.items():
        if value is None:
            del p[key]
        else:
            p[key] = value
    return json.dumps(p, ensure_ascii=False, separators=(",", ":")).encode()


def segment(code, data):
    return b"\xff" + bytes([code]) + struct.pack(">H", len(data) + 2) + data


JFIF = segment(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
SOS = segment(0xDA, b"\x01\x01\x00\x00\x3f\x00") + b"\x12\x34\xff\xd9"


def jpeg(segments):
    return b"\xff\xd8" + JFIF + segments + SOS


GOOD = params()
UNICODE = params(x="Zo\u00eb", y="\u65e5\u672c", zoom="\U0001F600" * 3)

SEEDS = {
    "written": png(itxt(GOOD) + SOFTWARE),
    "written-unicode": png(itxt(UNICODE) + SOFTWARE),
    "itxt-compressed": png(itxt(GOOD, compressed=True)),
    "itxt-language": png(itxt(GOOD, language=b"en", translated=b"Parameter")),
    "itxt-after-idat": png(b"", itxt(GOOD)),
    "text-latin1": png(chunk(b"tEXt", b"plorvex\x00" + params(x="Zo\u00eb").decode().encode("latin-1"))),
    "ztxt-latin1": png(chunk(b"zTXt", b"plorvex\x00\x00" + zlib.compress(GOOD))),
    "other-texts-first": png(chunk(b"tEXt", b"Comment\x00hello") + chunk(b"iTXt", b"Title\x00\x00\x00\x00\x00t") +
                             itxt(GOOD)),
    "no-plorvex": png(SOFTWARE),
    "crc-wrong": png(itxt(GOOD)[:-1] + b"\x00"),
    "truncated": png(itxt(GOOD))[:60],
    "bomb": png(itxt(b" " * 200000, compressed=True)),
    "member-missing": png(itxt(params(zoom=None))),
    "member-type": png(itxt(params(density="2"))),
    "pattern-unknown": png(itxt(params(pattern="Atlas"))),
    "text-too-long": png(itxt(params(x="9" * 257))),
    "density-range": png(itxt(params(density=1000001, smooth=0.5))),
    "surrogate-escape": png(itxt(GOOD.replace(b"&H1F", b"\\ud800"))),
    "utf8-invalid": png(itxt(GOOD.replace(b"768", b"7\xc38"))),
    "json-broken": png(itxt(GOOD[:-3])),
    "json-array": png(itxt(b"[" + GOOD + b"]")),
    "jpeg-written": jpeg(segment(0xFE, b"plorvex: " + GOOD)),
    "jpeg-others-first": jpeg(segment(0xDB, b"q" * 65) + b"\xff" + segment(0xFE, b"hello") +
                              segment(0xFE, b"plorvex: " + UNICODE)),
    "jpeg-no-comment": jpeg(b""),
    "jpeg-truncated": jpeg(segment(0xFE, b"plorvex: " + GOOD))[:40],
    "json-bare": GOOD,
    "json-escapes": params(x="a\"b\\c\td\u0000e", brightness="\u2028"),
}


def main():
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        os.remove(os.path.join(OUT, name))
    for name, data in SEEDS.items():
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
