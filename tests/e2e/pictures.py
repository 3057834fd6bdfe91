# SPDX-License-Identifier: GPL-3.0-or-later
"""Pixel access and picture comparisons for the end-to-end suite.

Images are binary PPM (P6, 8 bits per channel): ImageMagick writes the
screenshots that way and plorvex-render writes the reference pictures.
"""

import os
import struct
import zlib


class Image:
    """An RGB image: width, height and rows of packed 3-byte pixels."""

    def __init__(self, width, height, data):
        if len(data) < width * height * 3:
            raise ValueError("image data too short for %dx%d" % (width, height))
        self.width = width
        self.height = height
        self.data = bytes(data[: width * height * 3])

    def pixel(self, x, y):
        o = (y * self.width + x) * 3
        return tuple(self.data[o : o + 3])

    def rows(self, left, top, width, height):
        """The rectangle as a list of row byte strings (clipped rows raise)."""
        if left < 0 or top < 0 or left + width > self.width or top + height > self.height:
            raise ValueError(
                "rectangle %dx%d at (%d, %d) leaves the %dx%d image"
                % (width, height, left, top, self.width, self.height))
        stride = self.width * 3
        return [
            self.data[(top + y) * stride + left * 3 : (top + y) * stride + (left + width) * 3]
            for y in range(height)
        ]

    def all_rows(self):
        return self.rows(0, 0, self.width, self.height)


def _tokens(data, count):
    """The first count header tokens of a PNM file and the offset after them."""
    tokens = []
    i = 0
    while len(tokens) < count:
        while i < len(data) and data[i : i + 1].isspace():
            i += 1
        if data[i : i + 1] == b"#":
            while i < len(data) and data[i : i + 1] not in (b"\n", b"\r"):
                i += 1
            continue
        j = i
        while j < len(data) and not data[j : j + 1].isspace():
            j += 1
        if j == i:
            raise ValueError("truncated PNM header")
        tokens.append(data[i:j])
        i = j
    return tokens, i + 1  # one whitespace byte ends the header


def parse_ppm(data):
    tokens, offset = _tokens(data, 4)
    if tokens[0] != b"P6":
        raise ValueError("not a binary PPM (magic %r)" % tokens[0])
    width, height, maxval = int(tokens[1]), int(tokens[2]), int(tokens[3])
    if maxval != 255:
        raise ValueError("PPM with maxval %d, expected 255" % maxval)
    return Image(width, height, data[offset:])


def read_ppm(path):
    with open(path, "rb") as f:
        return parse_ppm(f.read())


def write_ppm(path, image):
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (image.width, image.height))
        f.write(image.data)


def write_png(path, image):
    """An 8-bit RGB PNG, for people to look at."""
    raw = b"".join(b"\0" + row for row in image.all_rows())

    def chunk(tag, body):
        return (struct.pack(">I", len(body)) + tag + body
                + struct.pack(">I", zlib.crc32(tag + body) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", image.width, image.height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b""))


def _common_prefix(a, b):
    """Length in pixels of the longest common prefix of two pixel rows."""
    n = min(len(a), len(b)) // 3
    if a[: n * 3] == b[: n * 3]:
        return n
    lo, hi = 0, n  # prefix lo matches, prefix hi does not
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if a[: mid * 3] == b[: mid * 3]:
            lo = mid
        else:
            hi = mid
    return lo


def _common_suffix(a, b):
    n = min(len(a), len(b)) // 3
    if n == 0 or a[len(a) - n * 3 :] == b[len(b) - n * 3 :]:
        return n
    lo, hi = 0, n
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if a[len(a) - mid * 3 :] == b[len(b) - mid * 3 :]:
            lo = mid
        else:
            hi = mid
    return lo


def leading_columns(rows, reference):
    """How many whole columns, from the left, equal the reference's columns."""
    return min(_common_prefix(r, e) for r, e in zip(rows, reference))


def trailing_columns(rows, reference):
    return min(_common_suffix(r, e) for r, e in zip(rows, reference))


def split_columns(rows, left_ref, right_ref):
    """Whether the rows are left_ref's columns up to some column n and
    right_ref's from n on. Returns (n, ok): n is the number of leading
    columns that equal left_ref's, ok tells whether every column after them
    equals right_ref's."""
    width = len(rows[0]) // 3
    n = leading_columns(rows, left_ref)
    return n, n + trailing_columns(rows, right_ref) >= width


def differences(rows, reference, limit=5):
    """Count of differing pixels and the first few as (x, y, got, want)."""
    count = 0
    first = []
    for y, (r, e) in enumerate(zip(rows, reference)):
        if r == e:
            continue
        for x in range(len(r) // 3):
            got, want = r[x * 3 : x * 3 + 3], e[x * 3 : x * 3 + 3]
            if got != want:
                count += 1
                if len(first) < limit:
                    first.append((x, y, tuple(got), tuple(want)))
    return count, first


def difference_image(rows, reference):
    """Black where equal, the screenshot's pixel brightened where different."""
    out = bytearray()
    for r, e in zip(rows, reference):
        if r == e:
            out += bytes(len(r))
            continue
        for x in range(0, len(r), 3):
            if r[x : x + 3] == e[x : x + 3]:
                out += b"\0\0\0"
            else:
                out += b"\xff\x00\xff"
    height = len(rows)
    width = len(rows[0]) // 3 if rows else 0
    return Image(width, height, bytes(out))


def image_from_rows(rows):
    return Image(len(rows[0]) // 3, len(rows), b"".join(rows))


def ensure_dir(path):
    os.makedirs(path, exist_ok=True)
    return path
