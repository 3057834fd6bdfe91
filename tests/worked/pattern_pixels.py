#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Works out pictures and pixels of atlas, dada, lazy, nitegale and pluck from
their formulas alone, without the program's code, and checks the values the
tests hold against them.

    python3 tests/worked/pattern_pixels.py
        checks every worked pixel of these patterns in tests/patterns_*_test.cpp
        and every picture in tests/sampled_cases.cpp; prints each mismatch and
        exits 1 if there is one. For a pixel at the top of a later column it
        also says whether the carried value reset per column would change it.
    python3 tests/worked/pattern_pixels.py PATTERN X Y SIZE ZOOM BRIGHTNESS [DENSITY SMOOTH]
        prints that picture as 0xRRGGBB rows, as the tests hold them.

It uses nothing but IEEE doubles and sin, cos, tan and pow correctly rounded
(MPFR through gmpy2: the exact value rounded to the nearest double), evaluates every formula
left to right as written, converts channels by rounding half to even (Python's
round does) and sweeps in the program's order: columns left to right, each from
top to bottom, the carried value running on from each pixel to the next.
Field texts are read as plain decimal numbers; cases with other texts (&H1F,
blanks inside) are left out and counted.

Density D and smoothing S (the rule of the README): with G = D * S, output
column k * D + m samples i = i_k + ((m * S + q - (S - 1) / 2) / G) for
q = 0 .. S-1, rows likewise; each output column is swept top to bottom, each
pixel's samples q outer, t inner; the samples of a pixel are averaged in
linear light (sRGB decoded, summed in sample order, divided, encoded, rounded
half to even). A pixel of one sample is that sample's colour.
"""

import glob
import os
import re
import sys

import gmpy2

# Double precision as IEEE defines it (53 bits, subnormals, round to nearest):
# each function's exact value rounded once, which is what the program's own
# maths returns on every machine.
gmpy2.set_context(gmpy2.context(precision=53, emin=-1073, emax=1024, subnormalize=True))


def sin(x):
    return float(gmpy2.sin(x))


def cos(x):
    return float(gmpy2.cos(x))


def tan(x):
    return float(gmpy2.tan(x))


def pow_(x, y):
    return float(gmpy2.mpfr(x) ** y)


K = 44 / 7


def val(text):
    """The leading number of a field text (plain decimal texts only)."""
    match = re.match(r"\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[EeDd][+-]?\d+)?)", text)
    if not match:
        if text.strip() == "":
            return 0.0
        raise ValueError("this script reads plain decimal texts only: %r" % text)
    return float(match.group(1).replace("D", "E").replace("d", "e"))


def sweep_sizes(size):
    rows = val(size)
    columns = 1024.0 if rows == 768 else rows
    return columns, rows


# Each pattern: intake(fields) -> (x0, y0, params); pixel(params, i, j, carried)
# -> (r, g, b, carried) with the channels before clamping.

def atlas_intake(f):
    return val(f[0]) + 400, val(f[1]) + 400, (val(f[3]) * 1.5, val(f[4]) * 1.5)


def atlas_pixel(par, i, j, carried):
    Z, B = par
    a1 = (K * (j / 200)) * Z
    a2 = (K * (i / 200)) * Z
    t1 = sin((a1 - sin(a2 - a1)) - cos(a1 - a2))
    t2 = tan(t1) * (cos((a1 / (t1 + 0.000123)) * cos(a1 * sin(a2 * sin(a2 * cos(a1))))) * sin(a2 * cos(a1)))
    t3 = cos(t1) * sin(sin(a2 / (K + sin(a1 * a2))))
    t4 = sin(t1 * a2) + sin(a1 * t2)
    t5 = sin(((a1 * t2) / 5) * cos((a2 + 0.000123) - (a1 * sin((a2 * a1) * cos((3 * t4) * t2))))) * (t2 + 0.000123)
    t6 = cos(t1 + sin((t5 - t2) + cos((t2 - (t5 * t1)) + sin((t5 + t2) + cos((t2 * t1) + t5)))))
    t7 = pow_(abs((t2 * t6) * (K / 100)), 1 / 5)
    c1 = t3 * 0.0036 + t5 * 0.14 + t2 * 0.24 + t6 * 0.2
    c2 = t3 * 0.21 + t2 * 0.51 + t7 * 0.11 + t4 * 0.35 + t6 * 0.1
    c3 = t2 * 0.05 + t5 * 0.032 + t7 * 0.32 + t4 * 0.46
    return 100 + B * c3, 100 + B * c2, 100 + B * c1, carried


def dada_intake(f):
    return val(f[0]) - 333, val(f[1]) - 333, (val(f[3]) + val(f[3]), val(f[4]) + val(f[4]))


def dada_pixel(par, i, j, t3):
    Z, B = par
    a1 = ((44 / 7) * (j / 200)) * Z
    a2 = ((44 / 7) * (i / 200)) * Z
    a3 = ((44 / 7) * ((i / 200) / (0.000123 + (44 / 7) * (j / 200)))) * Z
    q = cos(a1 / (a2 + 0.000123)) / 0.1 + cos(a3 * tan(a3 * tan(a2 - cos(a1))))
    t1 = tan(a3 * a2) * cos(a1 - q)
    t2 = tan(a1 - (a2 * cos(a2 - (a1 + 0.000123))) * tan(a2 + a1 * cos(a1 + a2)))
    t3 = pow_(abs(t1 - (t3 + K)), 0.27)
    c1 = t1 * 0.2 + t2 * 0.000001 + t3 * 0.03
    c2 = t1 * 0.1 + t2 * 0.2 + t3 * 0.00000004
    c3 = t1 * 0.000005 + t2 * 0.6 + t3 * 0.05
    return 100 + B * c1, 100 + B * c2, 100 + B * c3, t3


def plain_intake(f):
    return val(f[0]), val(f[1]), (val(f[3]), val(f[4]))


def lazy_pixel(par, i, j, a3):
    Z, B = par
    v = 0.5 + (44 / 7) * (j / 200) * Z
    u = 0.5 + (44 / 7) * (i / 200) * Z
    w = (44 / 7) * cos(i / 200) * sin(0.000123 + (44 / 7) * (j / 200) - 0.5) * Z
    a1 = cos(w - sin(w * cos(v * u)) - sin(u * v) - cos(w * v)) - sin(u - sin(w * u) * tan(w))
    a2 = (sin(w - 1.5) - cos(1.235 + w) + tan(v) * w
          - sin(w * a1) * cos((v - u) * cos(a1 * w * sin(u * sin(w)) - cos(w * a1))))
    a3 = (sin(a2 * a1 - cos(a2 * v)) * cos(a2 + sin(u * w))
          * tan(v * cos(u + tan(a3 * cos(v)) * a1 + tan(u))) - 0.1)
    a4 = cos(a1 + sin(a2 - w + cos(w - a2 * a1 + sin(a2 + w + cos(w * a1 + a2)))))
    a5 = pow_(abs(a2 / (a3 + 0.000123)), 1 / 3)
    s1 = a3 * 0.31 + a5 * 0.53 + a4 * 0.91 + a1 * 0.15
    s2 = a3 * 0.11 + a5 * 0.21 + a4 * 0.41 + a1 * 0.81
    s3 = a3 * 0.08 + a5 * 0.12 + a4 * 0.04 + a1 * 1.11
    return 100 + B * s1 / 2, 100 + B * s2 / 2, 100 + B * s3 / 2, a3


def nitegale_pixel(par, i, j, a5):
    Z, B = par
    v = 0.5 + (44 / 7) * (j / 200) * Z
    u = 0.5 + (44 / 7) * (i / 200) * Z
    w = ((44 / 7) * (i / 200)) / (0.000123 + (44 / 7) * (j / 200) - 0.5) * Z
    a1 = sin(u * cos(v * cos(v / (u + 0.000123)) + sin(v + sin(u * abs(u - cos(sin(v)))))))
    a2 = sin(v - u + cos(u / (v + 0.000123) * sin(a1 + sin(u + v + cos(v + u)))))
    a3 = pow_(abs(a2 + a1), 0.5)
    a4 = sin(a1 - a2) - cos(1.235 + w) + tan(v) * a1 - cos(w * a1 * cos(a2 * a1 * sin(a1 * sin(a1 - a1))))
    a5 = sin(a2 * cos(a1 + sin(a5 + sin(a1 * (cos(a4 + tan(a1 * a2)) - cos(a4 * a2))))))
    a6 = cos(sin(a4 - w + cos(w - sin(a4 + w + cos(a4)))))
    a7 = abs(a4 / (a5 + 0.000123)) / 4
    s1 = a5 * 0.1 + a7 * 0.05 + a6 * 0.03 + a4 * 0.4 + a3 * 0.01
    s2 = a5 * 0.03 + a7 * 0.2 + a6 * 0.21 + a4 * 0.012 + a3 * 0.0035
    s3 = a5 * 0.008 + a7 * 0.1 + a6 * 0.14 + a4 * 0.0007 + a3 * 0.05
    return 100 + B * s2, 100 + B * s3, 100 + B * s1, a5


def pluck_pixel(par, i, j, m):
    Z, B = par
    q = 0.5 + (K * (j / 200)) * Z
    p = 0.5 + (K * (i / 200)) * Z
    d = (K * (i / 200)) / ((0.000123 + K * (j / 200)) - 0.5)
    a1 = sin((q * cos(p)) * sin(p * q))
    a2 = sin((p - a1) - sin(q - p * cos(q * sin(p * cos(p * q)))))
    a3 = sin(a2 - sin(((p * q) + cos(q)) - cos(q * a2)))
    a4 = abs(tan(q - p)) * cos(p / ((a3 + 0.000123) + (a3 * sin(p + q)) * cos(q + p)))
    a5 = cos((a1 - sin(a2 * cos(a3 - cos(a4)))) + cos(a1 - sin(a2 - sin(a3) * cos(a4))))
    a6 = (((sin(d - 1.5) - cos(1.235 + d)) + cos(q) * d)
          - sin(d * a5) * cos((q - p) * cos(((a5 * d) * sin(p * sin(d))) - cos(d * a5))))
    m = cos(q * cos(p + cos(m * (cos(q) * a5 + cos(p * (cos(a6 + sin(p * d)) * sin((a6 * a5) - cos(a6 * q)))))))) - 0.1
    a7 = cos(a5 + sin((a6 - d) + cos((d - a6 * a5) + sin((a6 + d) + cos((d * a5) + a6)))))
    a8 = abs(a6 / (m + 0.000123)) / 4
    s1 = m * 0.31 + a8 * 0.53 + a7 * 0.91 + a5 * 0.15
    s2 = m * 0.11 + a8 * 0.21 + a7 * 0.41 + a5 * 0.81
    s3 = m * 0.08 + a8 * 0.12 + a7 * 0.04 + a5 * 1.11
    return 100 + (B * s3) / 2, 100 + (B * s2) / 2, 100 + (B * s1) / 2, m


PATTERNS = {
    "atlas": (atlas_intake, atlas_pixel),
    "dada": (dada_intake, dada_pixel),
    "lazy": (plain_intake, lazy_pixel),
    "nitegale": (plain_intake, nitegale_pixel),
    "pluck": (plain_intake, pluck_pixel),
}


def channel(value):
    value = 0.0 if value < 0 else 255.0 if value > 255 else value
    return round(value)


def decoded(c):
    v = c / 255.0
    return v / 12.92 if v <= 0.04045 else pow_((v + 0.055) / 1.055, 2.4)


def encoded(linear):
    e = 12.92 * linear if linear <= 0.0031308 else 1.055 * pow_(linear, 1 / 2.4) - 0.055
    return min(max(round(e * 255), 0), 255)


def counters(start, count):
    """start + 1 .. start + count in steps of 1, the bound fixed first."""
    values, c, end = [], start + 1, start + count
    while c <= end:
        values.append(c)
        c = c + 1
    return values


def render(pattern, fields, density=1, smooth=1, reset_each_column=False, until=None):
    """The picture as {(x, y): (r, g, b)}, x and y from 0 at its top left pixel,
    up to the pixel `until` when given. reset_each_column starts the carried
    value at 0 in every column (a fault, to see which pixels would show it)."""
    intake, pixel = PATTERNS[pattern]
    x0, y0, par = intake(fields)
    columns, rows = sweep_sizes(fields[2])
    grid = density * smooth
    offsets = [(s - (smooth - 1) / 2) / grid for s in range(grid)]
    carries = pattern != "atlas"
    carried = 0.0
    picture = {}
    for k, ik in enumerate(counters(x0, columns)):
        if reset_each_column:
            carried = 0.0
        for m in range(density):
            for n, jn in enumerate(counters(y0, rows)):
                for r in range(density):
                    at = (k * density + m, n * density + r)
                    if not carries and until is not None and at != until:
                        continue  # nothing passes between pixels: only the one asked for
                    colours = []
                    for q in range(smooth):
                        i = ik + offsets[m * smooth + q] if grid > 1 else ik
                        for t in range(smooth):
                            j = jn + offsets[r * smooth + t] if grid > 1 else jn
                            red, green, blue, carried = pixel(par, i, j, carried)
                            colours.append((channel(red), channel(green), channel(blue)))
                    if smooth == 1:
                        colour = colours[0]
                    else:
                        sums = [0.0, 0.0, 0.0]
                        for c in colours:
                            for ch in range(3):
                                sums[ch] += decoded(c[ch])
                        colour = tuple(encoded(s / len(colours)) for s in sums)
                    picture[at] = colour
                    if at == until:
                        return picture
    return picture


def hex_rows(picture, width, height):
    return [(picture[(x, y)][0] << 16) | (picture[(x, y)][1] << 8) | picture[(x, y)][2]
            for y in range(height) for x in range(width)]


TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))  # tests/, above worked/
TEXTS = r'((?:"[^"]*"\s*,\s*){4}"[^"]*")'
STARTUP = ("1", "1", "150", "1", "150")


def strings(text):
    return tuple(re.findall(r'"([^"]*)"', text))


def worked_pixels():
    """(file, pattern, fields, x, y, rgb) of every worked pixel of these patterns."""
    for path in sorted(glob.glob(os.path.join(TESTS, "patterns_*_test.cpp"))):
        source = open(path).read()
        named = {m.group(1): strings(m.group(2))
                 for m in re.finditer(r"FieldTexts (\w+) = texts\(" + TEXTS + r"\)", source)}
        # FieldTexts{} holds the texts the window starts with.
        named.update({m.group(1): STARTUP for m in re.finditer(r"FieldTexts (\w+)\{\};", source)})
        for m in re.finditer(r'PixelCase\{"(\w+)", (?:texts\(' + TEXTS + r'\)|(\w+)), '
                             r'(\d+), (\d+), (\d+), (\d+), (\d+)\}', source):
            if m.group(1) in PATTERNS:
                fields = strings(m.group(2)) if m.group(2) else named[m.group(3)]
                yield (os.path.basename(path), m.group(1), fields, int(m.group(4)), int(m.group(5)),
                       tuple(int(m.group(g)) for g in (6, 7, 8)))


def sampled_pictures():
    """(name, pattern, fields, density, smooth, width, height, rows) of the shared table."""
    source = open(os.path.join(TESTS, "sampled_cases.cpp")).read()
    for m in re.finditer(r'\{"(\w+)", "(\w+)", \{' + TEXTS + r'\}, \{(\d+), (\d+)\}, (\d+), (\d+),\s*\{([^}]*)\}\}',
                         source):
        yield (m.group(1), m.group(2), strings(m.group(3)), int(m.group(4)), int(m.group(5)),
               int(m.group(6)), int(m.group(7)), [int(v, 16) for v in re.findall(r"0x[0-9a-fA-F]+", m.group(8))])


def check():
    mismatches = checked = left_out = 0
    for where, pattern, fields, x, y, rgb in worked_pixels():
        try:
            at = (x - 161, y - 51)
            got = render(pattern, fields, until=at)[at]
        except ValueError:
            left_out += 1
            continue
        checked += 1
        note = ""
        if x > 161 and y == 51 and pattern != "atlas":
            reset = render(pattern, fields, reset_each_column=True, until=at)[at]
            note = "  (reset per column: %s)" % ("shows" if reset != got else "does NOT show")
        status = "ok" if got == rgb else "MISMATCH, worked out %s" % (got,)
        if got != rgb:
            mismatches += 1
        if got != rgb or note:
            print("%s: %s %s at (%d, %d) %s: %s%s" % (where, pattern, fields, x, y, rgb, status, note))
    for name, pattern, fields, density, smooth, width, height, rows in sampled_pictures():
        checked += 1
        got = hex_rows(render(pattern, fields, density, smooth), width, height)
        if got != rows:
            mismatches += 1
            print("sampled_cases.cpp: %s MISMATCH, worked out %s" % (name, " ".join("0x%06x" % v for v in got)))
    print("%d passed, %d failed (%d cases with texts this script does not read left out)"
          % (checked - mismatches, mismatches, left_out))
    return mismatches == 0 and checked > 0


def main(args):
    if not args:
        return 0 if check() else 1
    pattern, fields = args[0], tuple(args[1:6])
    density, smooth = (int(args[6]), int(args[7])) if len(args) > 6 else (1, 1)
    columns, rows = sweep_sizes(fields[2])
    width, height = int(columns) * density, int(rows) * density
    values = hex_rows(render(pattern, fields, density, smooth), width, height)
    for y in range(height):
        print(", ".join("0x%06x" % v for v in values[y * width:(y + 1) * width]) + ",")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
