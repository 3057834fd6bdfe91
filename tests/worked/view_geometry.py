#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Works out the view geometry cases of tests/view_geometry_test.cpp apart from
the C++ code: each pattern's intake, the picture's columns and rows, and the
texts each gesture leads to, in Python's own doubles (IEEE double, each step
rounded as written).

    python3 tests/worked/view_geometry.py

prints the table rows that the test holds; the test's rows must equal them.
"""


def number_text(value):
    """A double as the fields show it: 15 significant digits, no trailing
    zeros, the scientific form below 1E-4 and from 1E+15 on."""
    if value == 0:
        return "0"
    text = format(value, ".15G")
    if "E" in text:
        mantissa, exponent = text.split("E")
        sign, digits = exponent[0], exponent[1:].lstrip("0")
        text = mantissa + "E" + sign + digits.rjust(2, "0")
    return text


def widened(size):
    return 1024.0 if size == 768 else size


def count(origin, extent):
    n, counter = 0, origin + 1
    while counter <= origin + extent:
        n, counter = n + 1, counter + 1
    return n


# Sweep origins (X0, Y0, size, extent) from the five texts, as each intake
# derives them.
def shifted(sx, sy):
    def intake(t):
        size = float(t[2])
        return float(t[0]) + sx, float(t[1]) + sy, size, widened(size)
    return intake


def half_size_centred(t):
    size = float(t[2])
    return float(t[0]) - size / 2, float(t[1]) - size / 2, size, widened(size)


INTAKES = {"atlas": shifted(400.0, 400.0), "entropy": half_size_centred,
           "ombud": half_size_centred, "frazzle": half_size_centred}


class View:
    def __init__(self, pattern, texts):
        self.t = texts
        self.x0, self.y0, size, extent = INTAKES[pattern](texts)
        self.cx = self.x0 - float(texts[0])
        self.cy = self.y0 - float(texts[1])
        self.n, self.m = count(self.x0, extent), count(self.y0, size)
        self.xc, self.yc = 161 + self.n // 2, 51 + self.m // 2

    def result(self, x, y, zoom=None):
        return (number_text(x), number_text(y), self.t[3] if zoom is None else number_text(zoom))


def drag(v, dx, dy):
    return v.result(float(v.t[0]) - dx, float(v.t[1]) - dy)


def wheel_in(v, x, y):
    return v.result(2 * float(v.t[0]) + v.cx + (x - 160), 2 * float(v.t[1]) + v.cy + (y - 50),
                    float(v.t[3]) / 2)


def wheel_out(v, x, y):
    z = float(v.t[3])
    i, j = v.x0 + (x - 160), v.y0 + (y - 50)
    return v.result(i / 2 - (x - 160) - v.cx, j / 2 - (y - 50) - v.cy, z + z)


def box(v, x1, y1, x2, y2):
    bw, bh = abs(x2 - x1) + 1, abs(y2 - y1) + 1
    f = max(bw / v.n, bh / v.m)
    ib = v.x0 + ((x1 + x2) / 2 - 160)
    jb = v.y0 + ((y1 + y2) / 2 - 50)
    return v.result(ib / f - (v.xc - 160) - v.cx, jb / f - (v.yc - 50) - v.cy, float(v.t[3]) * f)


def double_click(v, x, y):
    return drag(v, v.xc - x, v.yc - y)


GESTURES = {"Drag": drag, "WheelIn": wheel_in, "WheelOut": wheel_out, "Box": box,
            "DoubleClick": double_click}

# pattern, texts (x, y, size, zoom, brightness), gesture, its arguments
CASES = [
    ("atlas", ("1", "1", "768", "0.15", "150"), "WheelIn", (750, 470)),
    ("atlas", ("1", "1", "768", "0.15", "150"), "WheelOut", (750, 470)),
    ("atlas", ("-3.25", "7.5", "150", "1", "150"), "Drag", (16, -9)),
    ("atlas", ("1", "1", "768", "0.15", "150"), "Box", (700, 440, 800, 500)),
    ("atlas", ("1", "1", "768", "0.15", "150"), "DoubleClick", (750, 470)),
    ("entropy", ("0.5", "-2", "300", "0.2", "150"), "WheelIn", (161, 51)),
    ("entropy", ("0.5", "-2", "300", "0.2", "150"), "WheelOut", (460, 350)),
    ("entropy", ("10", "20", "768", "1", "150"), "Box", (900, 700, 1000, 604)),
    ("ombud", ("-250", "-250", "500", "0.2", "150"), "WheelIn", (333, 222)),
    ("ombud", ("-250", "-250", "500", "0.2", "150"), "Drag", (-250.5, 0)),
    ("ombud", ("1", "1", "100", "1", "150"), "Box", (165, 60, 180, 140)),
    ("frazzle", ("1.75", "1", "150", "0.3", "150"), "WheelOut", (200, 100)),
    ("frazzle", ("1.75", "1", "150", "0.3", "150"), "DoubleClick", (161, 200)),
    ("frazzle", ("1", "1", "768", "0.15", "150"), "Box", (161, 51, 1184, 818)),
]

if __name__ == "__main__":
    for pattern, texts, gesture, args in CASES:
        v = View(pattern, texts)
        x, y, zoom = GESTURES[gesture](v, *args)
        quoted = ", ".join('"%s"' % t for t in texts)
        numbers = ", ".join(str(a) for a in args)
        print('    {"%s", {%s}, Gesture::%s, {%s}, {"%s", "%s", "%s"}},'
              % (pattern, quoted, gesture, numbers, x, y, zoom))
