# SPDX-License-Identifier: GPL-3.0-or-later
"""The explore phase: the hand's gestures on the real window (wheel, drag, zoom
box, double-click, Back, Forward and a storm of 50 wheel notches during a
render). The texts each gesture leads to are worked out by
tests/worked/view_geometry.py, apart from the program; each step's fields are
read back through the clipboard and its picture compared with plorvex-render's
picture of those texts.
"""

import os
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "worked"))
import view_geometry as geometry  # noqa: E402

NAMES = ("x", "y", "size", "zoom", "brightness")
FIELD_OF = {"x": "TextOne", "y": "TextTwo", "zoom": "TextFour"}
WHEEL_AWAY, WHEEL_TOWARDS, MOUSE_BACK = 4, 5, 8


def read_field(e2e, program, name):
    program.click(*e2e.centre(FIELD_OF[name]))
    program.key("ctrl+a")
    program.key("ctrl+c")
    time.sleep(0.1)
    return program.session.run(["xclip", "-o", "-selection", "clipboard"], check=False).strip()


def moved(texts, result):
    """The five texts after a gesture gave new x, y and zoom texts."""
    return (result[0], result[1], texts[2], result[2], texts[4])


def expect_view(e2e, suite, check, program, texts, label, what):
    """Expects the window to show atlas at these texts, and its fields to hold them."""
    reference = suite.references.get("atlas", **dict(zip(NAMES, texts)))
    shot, seconds, matched = e2e.wait_for_picture(program, reference)
    suite.save(shot, "explore-" + label)
    if matched:
        check.note("%s: picture of %s after %.2f s" % (what, e2e.describe_fields(dict(zip(NAMES, texts))),
                                                       seconds))
    else:
        suite.compare(check, shot, reference, "explore-" + label, what)
    for name in FIELD_OF:
        seen = read_field(e2e, program, name)
        check.expect(seen == texts[NAMES.index(name)],
                     "%s: field %s holds '%s', expected '%s'" % (what, name, seen,
                                                                 texts[NAMES.index(name)]))
    program.session.xdotool("mousemove", "--window", program.window, *e2e.PARK)


def phase_explore(e2e, suite, session, app):
    program = None
    with suite.check("explore: window ready") as check:
        program = e2e.start_program(session, app, "explore")
    if program is None or not program.running():
        return
    w = program.window
    x = session.xdotool
    texts = ("1", "1", "150", "1", "150")
    views = []
    steps = [
        ("atlas", lambda: program.click(*e2e.centre("CMD(0)")), lambda v: None),
        ("wheel", lambda: x("mousemove", "--window", w, 230, 120, "click", WHEEL_AWAY),
         lambda v: geometry.wheel_in(v, 230, 120)),
        ("drag", lambda: x("mousemove", "--window", w, 250, 150, "mousedown", 1,
                           "mousemove", "--window", w, 256, 147, "mousemove", "--window", w, 263, 143,
                           "mousemove", "--window", w, 270, 140, "sleep", 0.2, "mouseup", 1),
         lambda v: geometry.drag(v, 20, -10)),
        ("box", lambda: x("mousemove", "--window", w, 180, 70, "keydown", "shift", "mousedown", 1,
                          "mousemove", "--window", w, 200, 90, "mousemove", "--window", w, 230, 110,
                          "sleep", 0.2, "mouseup", 1, "keyup", "shift"),
         lambda v: geometry.box(v, 180, 70, 230, 110)),
        ("double-click", lambda: x("mousemove", "--window", w, 250, 100, "click", "--repeat", 2,
                                   "--delay", 60, 1),
         lambda v: geometry.double_click(v, 250, 100)),
    ]
    for label, act, gesture in steps:
        with suite.check("explore: %s" % label) as check:
            if views:
                texts = moved(texts, gesture(geometry.View("atlas", texts)))
            act()
            views.append(texts)
            expect_view(e2e, suite, check, program, texts, label, label)
    for label, act, view in [
            ("Back (Alt+Left)", lambda: program.key("alt+Left"), views[-2]),
            ("Back (mouse button)", lambda: x("mousemove", "--window", w, 250, 100, "click", MOUSE_BACK),
             views[-3]),
            ("Forward (Alt+Right)", lambda: program.key("alt+Right"), views[-2])]:
        with suite.check("explore: %s" % label) as check:
            act()
            expect_view(e2e, suite, check, program, view, label.split()[0].lower(), label)

    with suite.check("explore: 50 wheel notches during a render give one picture of their sum") as check:
        program.click(*e2e.centre("Command4"))  # size 768, zoom 0.15
        texts = (views[-2][0], views[-2][1], "768", "0.15", "150")
        start = suite.references.get("atlas", **dict(zip(NAMES, texts)))
        painted = e2e.pause_mid_render(program, "CMD(0)", start)
        view = texts
        for k in range(30):
            view = moved(view, geometry.wheel_in(geometry.View("atlas", view), 500, 400))
        for k in range(20):
            view = moved(view, geometry.wheel_out(geometry.View("atlas", view), 700, 500))
        # Queued while the program is stopped, in the middle of its render.
        x("mousemove", "--window", w, 500, 400, "click", "--repeat", 30, "--delay", 2, WHEEL_AWAY,
          "mousemove", "--window", w, 700, 500, "click", "--repeat", 20, "--delay", 2, WHEEL_TOWARDS)
        program.resume()
        check.note("the storm arrived with %d columns painted" % painted)
        expect_view(e2e, suite, check, program, view, "storm", "after the storm")
    program.stop()
