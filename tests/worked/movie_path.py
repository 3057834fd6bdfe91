#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Works out the zoom movie path cases of tests/movie_path_test.cpp apart from
the C++ code, from the path's definition: world views of the keyframes, the
smooth zoom-and-pan path with rho = sqrt(2), the segments' shares by S and the
frames' texts by the number-to-text rule, in Python's own doubles (+ - * /
and sqrt), with exp, ln and powers correctly rounded (MPFR through gmpy2) and
cosh, sinh, tanh and asinh written on them as the path defines them.

    python3 tests/worked/movie_path.py

prints the table rows that the test holds; the test's rows must equal them.
"""

import math
import os
import sys

import gmpy2

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from view_geometry import View, number_text  # noqa: E402  (the intakes and the text rule)

RHO = math.sqrt(2.0)
LN2 = float.fromhex("0x1.62e42fefa39efp-1")

# Double precision as IEEE defines it: each function's exact value rounded once.
gmpy2.set_context(gmpy2.context(precision=53, emin=-1073, emax=1024, subnormalize=True))


def exp(x):
    return float(gmpy2.exp(x))


def log(x):
    return float(gmpy2.log(x))


def power(x, y):
    return float(gmpy2.mpfr(x) ** y)


def cosh(x):
    return (exp(x) + exp(-x)) * 0.5


def sinh(x):
    return (exp(x) - exp(-x)) * 0.5


def tanh(x):
    """1 - 2 / (e^2x + 1), and +-1 beyond |x| = 20 where that is the value to the last bit."""
    if abs(x) > 20.0:
        return 1.0 if x > 0 else -1.0
    return 1.0 - 2.0 / (exp(2.0 * x) + 1.0)


def asinh(x):
    """ln(|x| + sqrt(x^2 + 1)) with x's sign; ln(|x|) + ln 2 beyond 2^28."""
    m = abs(x)
    value = log(m) + LN2 if m > 2.0 ** 28 else log(m + math.sqrt(m * m + 1.0))
    return math.copysign(value, x)


def world(v):
    z = float(v.t[3])
    return ((v.x0 + (v.xc - 160)) * z, (v.y0 + (v.yc - 50)) * z, v.n * z)


def path_parameter(b):
    """ln(sqrt(b^2 + 1) - b), as the same number -asinh(b), which does not
    cancel for a large b."""
    return -asinh(b)


def segment(a, b):
    """S, and the path at t, between world views a and b."""
    (ux0, uy0, w0), (ux1, uy1, w1) = a, b
    dx, dy = ux1 - ux0, uy1 - uy0
    d = math.sqrt(power(dx, 2) + power(dy, 2))
    if d <= 1e-9 * min(w0, w1):
        def at(t):
            return (ux0 + t * (ux1 - ux0), uy0 + t * (uy1 - uy0), w0 * exp(t * log(w1 / w0)))
        return abs(log(w1 / w0)) / RHO, at
    b0 = (power(w1, 2) - power(w0, 2) + power(RHO, 4) * power(d, 2)) / (2 * w0 * power(RHO, 2) * d)
    b1 = (power(w1, 2) - power(w0, 2) - power(RHO, 4) * power(d, 2)) / (2 * w1 * power(RHO, 2) * d)
    r0, r1 = path_parameter(b0), path_parameter(b1)
    S = (r1 - r0) / RHO

    def at(t):
        s = t * S
        k = w0 / (power(RHO, 2) * d) * (cosh(r0) * tanh(RHO * s + r0) - sinh(r0))
        return (ux0 + k * dx, uy0 + k * dy, w0 * cosh(r0) / cosh(RHO * s + r0))
    return S, at


def frame_texts(pattern, keys, m):
    views = [View(pattern, k) for k in keys]
    segments = [segment(world(a), world(b)) for a, b in zip(views, views[1:])]
    lengths = [S for S, _ in segments]
    nonzero = [S for S in lengths if S != 0]
    stand_in = sum(nonzero) / len(nonzero) if nonzero else 1.0
    shares = [S if S != 0 else stand_in for S in lengths]
    total = 0.0
    for share in shares:
        total += share
    frames = []
    for k in range(m):
        if k == 0 or k == m - 1:
            frames.append(keys[0] if k == 0 else keys[-1])
            continue
        position = k / (m - 1) * total
        start, i = 0.0, 0
        while i + 1 < len(shares) and not position < start + shares[i]:
            start, i = start + shares[i], i + 1
        t = min(max((position - start) / shares[i], 0.0), 1.0)
        if t in (0.0, 1.0):
            frames.append(keys[i] if t == 0.0 else keys[i + 1])
            continue
        b = float(keys[i][4]) + t * (float(keys[i + 1][4]) - float(keys[i][4]))
        ux, uy, w = segments[i][1](t)
        v = views[i]
        zoom = w / v.n
        x0 = ux / zoom - (v.xc - 160)
        y0 = uy / zoom - (v.yc - 50)
        frames.append((number_text(x0 - v.cx), number_text(y0 - v.cy), keys[i][2], number_text(zoom),
                       number_text(b)))
    return frames


# name, pattern, keyframes (x, y, size, zoom, brightness), frames
CASES = [
    # The same centre, a quarter of the zoom: the middle frame has zoom 0.5.
    ("PureZoom", "atlas", [("24", "24", "150", "1", "150"), ("1524", "1524", "150", "0.25", "100")], 3),
    ("PurePan", "atlas", [("1", "1", "150", "1", "150"), ("301", "1", "150", "1", "150")], 5),
    # Centres 2.2 million widths apart: the way leads out and back in.
    ("FarApart", "atlas", [("1", "1", "150", "0.01", "150"), ("2000000", "3000000", "150", "0.02", "150")], 3),
    ("ThreeBySegmentLength", "atlas", [("24", "24", "150", "1", "150"), ("3524", "3524", "150", "0.125", "150"),
                                       ("4000", "3524", "150", "0.125", "150")], 7),
    # The second segment only changes the brightness (S = 0): it gets the first's share.
    ("BrightnessOnlySegment", "atlas", [("24", "24", "150", "1", "150"), ("1524", "1524", "150", "0.25", "150"),
                                        ("1524", "1524", "150", "0.25", "50")], 5),
    # Out of a deep zoom to a far-off view: b0 = 2.7E+13, where the path's
    # parameter is taken in the form that does not cancel.
    ("DeepZoomOut", "atlas", [("1000000", "1000000", "150", "1E-12", "150"), ("1", "1", "150", "1", "150")], 5),
    # An intake centred by half the size, 768 widened to 1024 columns.
    ("EntropyWide", "entropy", [("10", "20", "768", "1", "150"), ("-300", "400", "768", "0.3", "150")], 4),
]

if __name__ == "__main__":
    def row(texts):
        return "{" + ", ".join('"%s"' % t for t in texts) + "}"
    for name, pattern, keys, m in CASES:
        print('    {"%s", "%s", {%s}, %d, {' % (name, pattern, ", ".join(row(k) for k in keys), m))
        for texts in frame_texts(pattern, keys, m):
            print("        %s," % row(texts))
        print("    }},")
