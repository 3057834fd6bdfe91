#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end checks of the real window under X: real clicks and typing,
screenshots compared pixel for pixel with plorvex-render's pictures.

    run_e2e.py --app build/app/plorvex --render build/cli/plorvex-render \\
               --artifacts build/tests/e2e/e2e-artifacts [--phase NAME ...]

Starts its own Xvfb (a free display number) and openbox, runs every phase in
a fresh program, keeps going after a failed check, saves screenshots (PNG)
and logs in the artifacts folder and ends with "N passed, M failed".
"""

import argparse
import contextlib
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import explore  # noqa: E402
import pictures  # noqa: E402
from xsession import (PARK, SCREEN_HEIGHT, SCREEN_WIDTH, DriverError, Program,  # noqa: E402
                      XSession, missing_tools, wait_until)

# --- The window's layout, as a user sees it ------------------------------------------

PICTURE_LEFT, PICTURE_TOP = 161, 51
WINDOW_GREY = (64, 64, 64)
NEUTRAL = (128, 128, 128)
HIGHLIGHT = (96, 160, 255)

PATTERNS = ["atlas", "bobcat", "canut", "dada", "entropy", "frazzle", "griffin", "helios",
            "icey", "jolli", "kate", "lazy", "nitegale", "ombud", "pluck", "quaff", "ripple",
            "sizzle", "tracer"]


def pattern_button(k):
    return ("CMD(%d)" % k, 24, 320 + 32 * k, 105, 25, NEUTRAL)


# name, left, top, width, height, background
BUTTONS = [pattern_button(k) for k in range(len(PATTERNS))] + [
    ("cmdstop", 80, 280, 65, 25, (0, 255, 255)),
    ("Command3", 8, 280, 65, 25, (255, 0, 255)),
    ("cmd1", 16, 96, 24, 22, (144, 128, 192)),
    ("cmdb", 40, 96, 36, 25, (160, 128, 192)),
    ("Command4", 76, 96, 60, 33, (176, 128, 192)),
    ("cmdXX(0)", 16, 36, 60, 45, (0, 192, 192)),
    ("cmdXX(1)", 76, 36, 61, 45, (0, 192, 192)),
    ("verty(0)", 88, 176, 49, 26, (192, 176, 255)),
    ("verty(1)", 88, 150, 49, 26, (192, 176, 255)),
    ("horz(0)", 112, 202, 25, 36, (160, 192, 255)),
    ("horz(1)", 88, 202, 25, 36, (160, 192, 255)),
    ("cmdblue(0)", 16, 160, 36, 20, (160, 48, 255)),
    ("cmdblue(1)", 52, 160, 36, 20, (160, 48, 255)),
    ("cmdblue(2)", 16, 218, 36, 20, (128, 128, 255)),
    ("cmdblue(3)", 52, 218, 36, 20, (128, 128, 255)),
    ("Command1", 992, 8, 193, 22, (96, 160, 255)),
]
FIELDS = [
    ("TextThree", 16, 122, 59, 19, (96, 0, 128)),
    ("TextTwo", 16, 180, 73, 19, (175, 128, 255)),
    ("TextOne", 16, 200, 73, 19, (128, 128, 255)),
    ("Textfive", 80, 248, 57, 19, (0, 64, 0)),
    ("TextFour", 76, 5, 273, 24, (0, 128, 128)),
]
LABELS = [
    ("Label1", 1256, 0, 25, 33),   # "x", exit
    ("Label7", 1240, 0, 17, 25),   # "-", minimise
    ("Label4", 8, 4, 17, 17),      # "<", exit
    ("Label2", 24, 8, 33, 17),     # "exit"
    ("Label17", 356, 4, 20, 25),   # "X", zoom
    ("Label8", 376, 8, 41, 17),    # "OOM", zoom
]
# Spots of bare background at start-up, among them where the two hidden zoom
# buttons would be.
BACKGROUND_SPOTS = [(640, 60), (1000, 500), (1220, 900), (150, 600), (60, 276), (1115, 3),
                    (1191, 10), (700, 985)]

CONTROLS = {c[0]: c for c in BUTTONS + FIELDS}
CONTROLS.update({c[0]: c + (None,) for c in LABELS})
CONTROL_OF = {name: "CMD(%d)" % k for k, name in enumerate(PATTERNS)}


def centre(name):
    _, left, top, width, height, _ = CONTROLS[name]
    if name == "Label7":  # the "x" mark lies over its right edge
        return left + 6, top + height // 2
    return left + width // 2, top + height // 2


def button_sample(name):
    # Inside the raised edge, left of the focus frame and of the centred caption.
    _, left, top, _, height, _ = CONTROLS[name]
    return left + 2, top + height // 2


def field_sample(name):
    # Right of the text, inside the frame.
    _, left, top, width, height, _ = CONTROLS[name]
    return left + width - 5, top + height // 2


# Ending the program takes a few hundredths of a second; finishing a large
# picture takes several tenths.
EXIT_LIMIT = 0.25

START_FIELDS = {"x": "1", "y": "1", "size": "150", "zoom": "1", "brightness": "150"}


# --- Reference pictures ---------------------------------------------------------------

class References:
    def __init__(self, binary, folder):
        self.binary = binary
        self.folder = folder
        self.cache = {}

    def get(self, pattern, density=1, **fields):
        texts = dict(START_FIELDS, **fields)
        key = (pattern, density) + tuple(sorted(texts.items()))
        if key not in self.cache:
            path = os.path.join(self.folder, "%s-%d.ppm" % (pattern, len(self.cache)))
            argv = [self.binary, "--pattern", pattern, "--out", path, "--density", str(density)]
            for name in ("x", "y", "size", "zoom", "brightness"):
                argv += ["--" + name, texts[name]]
            done = subprocess.run(argv, capture_output=True, timeout=120)
            if done.returncode != 0:
                raise DriverError("plorvex-render %s failed (%d): %s" % (
                    " ".join(argv[1:]), done.returncode, done.stderr.decode(errors="replace")))
            self.cache[key] = (pictures.read_ppm(path), texts)
        return self.cache[key][0]


def describe_fields(texts):
    return "x=%s y=%s size=%s zoom=%s brightness=%s" % (
        texts["x"], texts["y"], texts["size"], texts["zoom"], texts["brightness"])


# --- Checks and their results ------------------------------------------------------------

class Check:
    def __init__(self, name):
        self.name = name
        self.failures = []
        self.notes = []

    def expect(self, condition, message):
        if not condition:
            self.failures.append(message)
        return condition

    def note(self, message):
        self.notes.append(message)


class Suite:
    def __init__(self, artifacts, references):
        self.artifacts = artifacts
        self.references = references
        self.results = []
        self.shot_count = 0

    @contextlib.contextmanager
    def check(self, name):
        check = Check(name)
        start = time.monotonic()
        try:
            yield check
        except DriverError as error:
            check.failures.append("could not finish: %s" % error)
        except Exception:  # a fault of the driver itself still ends in a result line
            check.failures.append("driver error:\n" + traceback.format_exc())
        elapsed = time.monotonic() - start
        self.results.append((check, elapsed))
        status = "FAIL" if check.failures else "PASS"
        print("%s %s (%.1f s)" % (status, name, elapsed), flush=True)
        for note in check.notes:
            print("     " + note, flush=True)
        for failure in check.failures:
            print("     - " + failure.replace("\n", "\n       "), flush=True)

    def save(self, image, label):
        """Saves a screenshot or picture as PNG and returns its path."""
        self.shot_count += 1
        path = os.path.join(self.artifacts, "%02d-%s.png" % (self.shot_count, label))
        pictures.write_png(path, image)
        return path

    def compare(self, check, shot, reference, label, what):
        """Expects the screenshot's picture rectangle to equal the reference."""
        rows = shot.rows(PICTURE_LEFT, PICTURE_TOP, reference.width, reference.height)
        expected = reference.all_rows()
        if rows == expected:
            return True
        count, first = pictures.differences(rows, expected)
        shown = ", ".join("(%d, %d) got %s want %s" % (PICTURE_LEFT + x, PICTURE_TOP + y, g, w)
                          for x, y, g, w in first)
        diff = self.save(pictures.difference_image(rows, expected), label + "-diff")
        want = self.save(reference, label + "-expected")
        check.expect(False, "%s: %d of %d pixels differ from plorvex-render's picture, first at "
                     "%s (expected picture %s, differences %s)"
                     % (what, count, reference.width * reference.height, shown, want, diff))
        return False


# --- Waiting for the window ---------------------------------------------------------------

def picture_rows(shot, reference):
    return shot.rows(PICTURE_LEFT, PICTURE_TOP, reference.width, reference.height)


def poll_picture(program, width, height, accept, timeout=30.0, settle=5.0):
    """Polls screenshots until accept(picture rows) holds, or until the
    picture has not changed for `settle` seconds, or the deadline. Returns
    (screenshot, seconds waited, accepted)."""
    start = time.monotonic()
    last, last_change = None, start
    while True:
        shot = program.screenshot()
        rows = shot.rows(PICTURE_LEFT, PICTURE_TOP, width, height)
        now = time.monotonic()
        if accept(rows):
            return shot, now - start, True
        if rows != last:
            last, last_change = rows, now
        elif now - last_change >= settle or now - start >= timeout:
            return shot, now - start, False


def wait_for_picture(program, reference, timeout=30.0):
    expected = reference.all_rows()
    return poll_picture(program, reference.width, reference.height,
                        lambda rows: rows == expected, timeout)


def wait_stable(program, width, height, quiet=0.6, timeout=20.0):
    """Polls until the picture rectangle has not changed for `quiet` seconds."""
    start = time.monotonic()
    last, last_change = None, start
    while True:
        shot = program.screenshot()
        rows = shot.rows(PICTURE_LEFT, PICTURE_TOP, width, height)
        now = time.monotonic()
        if rows != last:
            last, last_change = rows, now
        elif now - last_change >= quiet:
            return shot
        if now - start >= timeout:
            raise DriverError("the picture kept changing for %.0f s" % timeout)


def pause_mid_render(program, button, reference, step=0.01, timeout=20.0):
    """Presses a pattern button and lets the program run in short slices
    until the first columns of its picture are on screen; the program is left
    stopped (SIGSTOP) in the middle of that render, so that the next input
    reaches it while the picture is still growing. Returns the number of
    columns seen painted."""
    expected = reference.all_rows()
    program.pause()
    program.click(*centre(button))  # queued until the program runs again
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        program.resume()
        time.sleep(step)
        program.pause()
        painted = pictures.leading_columns(picture_rows(program.screenshot(), reference), expected)
        if painted >= reference.width:
            raise DriverError("the whole picture was painted within one %.0f ms slice"
                              % (step * 1000))
        if painted > 0:
            return painted
    raise DriverError("no column of the picture appeared within %.0f s" % timeout)


def highlight_failures(shot, pressed):
    """Pattern buttons whose colour is wrong for `pressed` being highlighted."""
    wrong = []
    for k in range(len(PATTERNS)):
        name = "CMD(%d)" % k
        want = HIGHLIGHT if k == pressed else NEUTRAL
        got = shot.pixel(*button_sample(name))
        if got != want:
            wrong.append("%s (%s) is %s, expected %s" % (PATTERNS[k], name, got, want))
    return wrong


def start_program(session, app, name, args=(), scale=1, active=True):
    program = Program(session, app, name, args)
    program.wait_for_window()
    wait_until("the window maximised",
               lambda: session.geometry(program.window)[:4] == (0, 0, session.width,
                                                                 session.height), 20)
    if active:
        program.wait_until_active()
    # The controls are drawn once the atlas button shows its colour.
    x, y = button_sample("CMD(0)")
    wait_until("the controls drawn",
               lambda: program.screenshot().pixel(scale * x, scale * y) == NEUTRAL, 20)
    return program


def set_field(program, name, text):
    program.click(*centre(name))
    program.key("ctrl+a")
    program.type(text)


def press_and_compare(suite, check, program, button, reference, label, what):
    """Presses a pattern button and expects its picture on screen; returns the
    final screenshot and the seconds until the picture was complete."""
    before = picture_rows(program.screenshot(), reference)
    if not check.expect(before != reference.all_rows(),
                        "%s: the window already showed the expected picture before the press"
                        % what):
        return None, None
    program.click(*centre(button))
    shot, seconds, matched = wait_for_picture(program, reference)
    path = suite.save(shot, label)
    if matched:
        check.note("%s: picture complete after %.2f s, %s" % (what, seconds, path))
    else:
        check.note("%s: screenshot %s" % (what, path))
        suite.compare(check, shot, reference, label, what)
    return shot, seconds


# --- Phases -------------------------------------------------------------------------

def phase_startup(suite, session, app):
    program = None
    with suite.check("start-up: one window without title bar, maximised") as check:
        program = Program(session, app, "startup")
        window = program.wait_for_window()
        try:
            wait_until("the window maximised",
                       lambda: session.geometry(window)[:4] == (0, 0, SCREEN_WIDTH,
                                                                 SCREEN_HEIGHT), 20)
        except DriverError:
            pass  # reported below with the geometry it has
        windows = session.visible_windows(program.pid)
        check.expect(len(windows) == 1, "visible windows of the program: %d, expected 1"
                     % len(windows))
        x, y, width, height, state = session.geometry(window)
        check.expect((x, y, width, height) == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT),
                     "client area %dx%d at (%d, %d), expected the whole %dx%d screen"
                     % (width, height, x, y, SCREEN_WIDTH, SCREEN_HEIGHT))
        check.expect(state == "IsViewable", "map state %s" % state)
        # The window manager's frame must add nothing: no title bar, no border.
        frame = session.parent(window)
        if frame and frame != session.root():
            fx, fy, fw, fh, _ = session.geometry(frame)
            check.expect((fx, fy, fw, fh) == (x, y, width, height),
                         "the window manager's frame is %dx%d at (%d, %d): it adds a title bar "
                         "or border" % (fw, fh, fx, fy))
        props = session.properties(window, "_NET_WM_STATE", "_NET_FRAME_EXTENTS")
        check.expect("_NET_WM_STATE_MAXIMIZED_VERT" in props
                     and "_NET_WM_STATE_MAXIMIZED_HORZ" in props,
                     "not maximised: %s" % props.strip())
        check.expect("_NET_FRAME_EXTENTS(CARDINAL) = 0, 0, 0, 0" in props,
                     "frame extents: %s" % props.strip())
        check.note("window 0x%x: %dx%d at (%d, %d); %s" % (
            window, width, height, x, y, " ".join(props.split())))

    if program is None or program.window is None:
        return

    with suite.check("start-up: background and the colour of every button and field") as check:
        samples = [("background", p, WINDOW_GREY) for p in BACKGROUND_SPOTS]
        samples += [(b[0], button_sample(b[0]), b[5]) for b in BUTTONS]
        samples += [(f[0], field_sample(f[0]), f[5]) for f in FIELDS]

        def wrong(shot):
            return ["%s at %s is %s, expected %s" % (name, point, shot.pixel(*point), want)
                    for name, point, want in samples if shot.pixel(*point) != want]

        try:
            wait_until("every control drawn in its colour",
                       lambda: not wrong(program.screenshot()), 15, interval=0.1)
        except DriverError:
            pass  # the samples that stayed wrong are reported below
        shot = program.screenshot()
        for failure in wrong(shot):
            check.expect(False, failure)
        check.note("%d spots sampled; screenshot %s" % (len(samples),
                                                       suite.save(shot, "startup")))

    with suite.check("start-up: the keyboard focus is in the size field") as check:
        # Typed without clicking anywhere first: only the focused field gets it.
        program.wait_until_active()
        program.key("ctrl+a")
        program.type("42")
        reference = suite.references.get("jolli", size="42")
        press_and_compare(suite, check, program, CONTROL_OF["jolli"], reference,
                          "startup-typed-size-42-jolli", "'42' typed at start-up, then jolli")

    with suite.check("the 'exit' mark ends the program") as check:
        program.click(*centre("Label2"), park=False)
        seconds = program.wait_exit(10)
        if check.expect(seconds is not None, "the program still runs 10 s after the click"):
            check.expect(program.process.returncode == 0, "exit status %d"
                         % program.process.returncode)
            check.note("ended %.3f s after the click" % seconds)
    program.stop()


def phase_patterns(suite, session, app):
    program = None
    with suite.check("nineteen patterns: window ready") as check:
        program = start_program(session, app, "patterns")
    if program is None or not program.running():
        return
    for k, name in enumerate(PATTERNS):
        with suite.check("pattern button '%s' with the start-up fields" % name) as check:
            reference = suite.references.get(name)
            shot, _ = press_and_compare(suite, check, program, CONTROL_OF[name], reference,
                                        "pattern-%02d-%s" % (k, name), name)
            if shot is not None:
                for failure in highlight_failures(shot, k):
                    check.expect(False, "highlight: " + failure)

    last = suite.references.get(PATTERNS[-1])
    with suite.check("minimise with '-' and restore: the picture is still there") as check:
        window = program.window
        program.click(*centre("Label7"))
        wait_until("the window minimised", lambda: session.wm_state(window) == "Iconic", 10)
        check.note("minimised: WM_STATE Iconic, map state %s" % session.geometry(window)[4])
        session.xdotool("windowactivate", window)  # what a task bar does
        wait_until("the window restored",
                   lambda: session.wm_state(window) == "Normal"
                   and session.geometry(window)[4] == "IsViewable", 10)
        shot, seconds, matched = wait_for_picture(program, last, timeout=10)
        path = suite.save(shot, "restored")
        check.note("restored; screenshot %s" % path)
        suite.compare(check, shot, last, "restored", "after minimise and restore")
        geometry = session.geometry(window)[:4]
        check.expect(geometry == (0, 0, SCREEN_WIDTH, SCREEN_HEIGHT),
                     "after restoring the window is %dx%d at (%d, %d)"
                     % (geometry[2], geometry[3], geometry[0], geometry[1]))

    with suite.check("cover with another window and uncover: the picture is still there") as check:
        cover = session.spawn("cover", ["xlogo", "-geometry", "700x600+120+40"])
        try:
            wait_until("the covering window",
                       lambda: session.visible_windows_of_class("xlogo"), 10)
            # The window's own pixels show the cover: the X server keeps no
            # copy of hidden parts, so the program has to paint them again.
            covered, _, seen = poll_picture(program, last.width, last.height,
                                            lambda rows: rows != last.all_rows(), timeout=10)
            if not seen:
                raise DriverError("the picture still shows over the covering window")
            check.note("covered: screenshot %s" % suite.save(covered, "covered"))
        finally:
            cover.terminate()
            cover.wait(timeout=10)
        wait_until("the covering window gone",
                   lambda: not session.visible_windows_of_class("xlogo"), 10)
        shot, seconds, matched = wait_for_picture(program, last, timeout=10)
        check.note("uncovered; screenshot %s" % suite.save(shot, "uncovered"))
        suite.compare(check, shot, last, "uncovered", "after the cover was removed")
    program.stop()


# Each step: what the user does, the five texts that must result, and the
# pattern pressed to show them. The texts are worked by hand from the rules
# of the parameter buttons, starting from the previous step's texts.
PARAMETER_STEPS = [
    ("reset", [("click", "Command3")],
     dict(x="1", y="1", size="100", zoom="1", brightness="150"), "dada"),
    ("typed into all five fields",
     [("type", "TextThree", "80"), ("type", "TextOne", "-37.5"), ("type", "TextTwo", "12"),
      ("type", "TextFour", "0.4"), ("type", "Textfive", "210")],
     dict(x="-37.5", y="12", size="80", zoom="0.4", brightness="210"), "canut"),
    ("pan '>' and '^', 'x'/'/' on the offsets, zoom '>' and label 'X'",
     [("click", "horz(0)"), ("click", "verty(1)"), ("click", "cmdblue(3)"),
      ("click", "cmdblue(0)"), ("click", "cmdXX(1)"), ("click", "Label17")],
     dict(x="106.25", y="-476", size="80", zoom="0.1", brightness="210"), "entropy"),
    ("pan '<' and 'V', 'x'/'/' on the offsets, zoom '<' and label 'OOM'",
     [("click", "horz(1)"), ("click", "verty(0)"), ("click", "cmdblue(2)"),
      ("click", "cmdblue(1)"), ("click", "cmdXX(0)"), ("click", "Label8")],
     dict(x="-287.5", y="-113", size="80", zoom="0.4", brightness="210"), "frazzle"),
    ("preset 'S'", [("click", "cmd1")],
     dict(x="-287.5", y="-113", size="300", zoom="0.4", brightness="210"), "griffin"),
    ("preset 'M'", [("click", "cmdb")],
     dict(x="-250", y="-250", size="500", zoom="0.2", brightness="210"), "helios"),
    ("'2000' typed into the size field, then Tab",
     [("type", "TextThree", "2000"), ("key", "Tab")],
     dict(x="-250", y="-250", size="100", zoom="0.2", brightness="210"), "icey"),
]


def phase_parameters(suite, session, app):
    program = None
    with suite.check("parameters: window ready") as check:
        program = start_program(session, app, "parameters")
    if program is None or not program.running():
        return
    size_field = CONTROLS["TextThree"][1:5]
    field_pixels = {}
    for label, actions, texts, pattern in PARAMETER_STEPS:
        with suite.check("parameters: %s, then '%s'" % (label, pattern)) as check:
            for action in actions:
                if action[0] == "click":
                    program.click(*centre(action[1]))
                elif action[0] == "type":
                    set_field(program, action[1], action[2])
                else:
                    program.key(action[1])
            reference = suite.references.get(pattern, **texts)
            shot, _ = press_and_compare(suite, check, program, CONTROL_OF[pattern], reference,
                                        "parameters-%s" % pattern,
                                        "%s with %s" % (pattern, describe_fields(texts)))
            if shot is not None:
                for failure in highlight_failures(shot, PATTERNS.index(pattern)):
                    check.expect(False, "highlight: " + failure)
                field_pixels[label] = shot.rows(*size_field)
            if label.startswith("'2000'"):
                # Read the size back from the window too: the field must look
                # exactly as it did when "reset" had written "100" into it.
                after_reset = field_pixels.get("reset")
                after_80 = field_pixels.get("typed into all five fields")
                if check.expect(after_reset is not None and after_80 is not None,
                                "no screenshots of the size field after the earlier steps"):
                    check.expect(after_reset != after_80,
                                 "the size field looks the same with '100' and '80': the "
                                 "read-back cannot tell texts apart")
                    check.expect(field_pixels.get(label) == after_reset,
                                 "the size field does not show '100' (compare %s with the "
                                 "reset step's screenshot)" % label)
    program.stop()


def phase_interrupts(suite, session, app):
    program = None
    with suite.check("interrupts: window ready, 'reset' then 'L'") as check:
        program = start_program(session, app, "interrupts")
        program.click(*centre("Command3"))
        program.click(*centre("Command4"))
    if program is None or not program.running():
        return
    large = dict(size="768", zoom="0.15")

    with suite.check("preset 'L' then 'atlas': a 1024 x 768 picture") as check:
        atlas = suite.references.get("atlas", **large)
        check.expect((atlas.width, atlas.height) == (1024, 768),
                     "plorvex-render painted %dx%d" % (atlas.width, atlas.height))
        press_and_compare(suite, check, program, CONTROL_OF["atlas"], atlas, "large-atlas",
                          "atlas with %s" % describe_fields(dict(START_FIELDS, **large)))

    with suite.check("'halt !' during a render keeps the columns painted so far") as check:
        bobcat = suite.references.get("bobcat", **large)
        before = picture_rows(program.screenshot(), bobcat)
        check.expect(pictures.leading_columns(before, bobcat.all_rows()) == 0,
                     "the first column already showed bobcat before the press")
        seen = pause_mid_render(program, CONTROL_OF["bobcat"], bobcat)
        program.click(*centre("cmdstop"))  # reaches the program at its next yield
        program.resume()
        shot = wait_stable(program, bobcat.width, bobcat.height)
        path = suite.save(shot, "halted-bobcat")
        painted, rest_unchanged = pictures.split_columns(picture_rows(shot, bobcat),
                                                         bobcat.all_rows(), before)
        check.note("%d columns were on screen when 'halt !' was pressed, %d when the render "
                   "stopped; screenshot %s" % (seen, painted, path))
        check.expect(0 < painted < bobcat.width,
                     "%d of %d columns painted: expected a partial picture"
                     % (painted, bobcat.width))
        check.expect(painted >= seen, "fewer columns (%d) than were on screen before (%d)"
                     % (painted, seen))
        check.expect(rest_unchanged, "the columns from %d on are neither bobcat's nor the "
                     "previous picture's" % painted)
        for failure in highlight_failures(shot, PATTERNS.index("bobcat")):
            check.expect(False, "highlight: " + failure)

    with suite.check("a render started during a render: the outer one finishes over it") as check:
        outer = suite.references.get("canut", **large)
        inner = suite.references.get("dada", **large)
        before = picture_rows(program.screenshot(), outer)
        check.expect(pictures.leading_columns(before, outer.all_rows()) == 0,
                     "the first column already showed canut before the press")
        seen = pause_mid_render(program, CONTROL_OF["canut"], outer)
        program.click(*centre(CONTROL_OF["dada"]))
        program.resume()

        def finished(rows):
            split, ok = pictures.split_columns(rows, inner.all_rows(), outer.all_rows())
            return ok and 0 < split < outer.width
        shot, _, done = poll_picture(program, outer.width, outer.height, finished)
        split, ok = pictures.split_columns(picture_rows(shot, outer), inner.all_rows(),
                                           outer.all_rows())
        if not done:
            check.expect(False, "the picture settled with %d leading columns of dada, followed "
                         "%s by canut's; screenshot %s"
                         % (split, "only" if ok else "not only",
                            suite.save(shot, "nested-settled")))
        else:
            path = suite.save(shot, "nested-canut-over-dada")
            check.note("canut had %d columns on screen when dada was pressed; dada's picture "
                       "now shows in columns 0..%d and canut's from %d on; screenshot %s"
                       % (seen, split - 1, split, path))
            check.expect(split >= seen, "canut resumed at column %d, before the %d columns it "
                         "had painted" % (split, seen))
            # The picture must not change any more: both renders have ended.
            settled = wait_stable(program, outer.width, outer.height)
            check.expect(picture_rows(settled, outer) == picture_rows(shot, outer),
                         "the picture changed after canut's last column")
            for failure in highlight_failures(settled, PATTERNS.index("dada")):
                check.expect(False, "highlight: " + failure)

    with suite.check("an exit click during a render ends the program at once") as check:
        tracer = suite.references.get("tracer", **large)
        sizzle = suite.references.get("sizzle", **large)
        # How long the whole picture takes here, to tell "at once" from "after
        # the picture" below.
        _, full = press_and_compare(suite, check, program, CONTROL_OF["tracer"], tracer,
                                    "large-tracer", "tracer, timed")
        press_and_compare(suite, check, program, CONTROL_OF["sizzle"], sizzle, "large-sizzle",
                          "sizzle")
        if full is None or check.failures:
            raise DriverError("the pictures before the exit click did not come out")
        seen = pause_mid_render(program, CONTROL_OF["tracer"], tracer)
        check.note("tracer had %d of %d columns on screen (full picture: %.2f s)"
                   % (seen, tracer.width, full))
        suite.save(program.screenshot(), "exit-mid-render")
        program.click(*centre("Label1"), park=False)
        program.resume()
        seconds = program.wait_exit(10)
        if check.expect(seconds is not None, "the program still runs 10 s after the click"):
            # The full time above is an upper bound (it includes the polling),
            # hence also the fixed bound, far above what ending takes here.
            remaining = full * (tracer.width - seen) / tracer.width
            limit = min(EXIT_LIMIT, remaining / 2)
            check.note("ended %.3f s after it went on with the click waiting; the rest of the "
                       "picture would have taken up to %.2f s" % (seconds, remaining))
            check.expect(program.process.returncode == 0, "exit status %d"
                         % program.process.returncode)
            check.expect(seconds < limit,
                         "the program took %.2f s to end, more than %.2f s: it went on painting"
                         " (the rest of the picture takes up to %.2f s)"
                         % (seconds, limit, remaining))
    program.stop()


def read_png(session, path_or_bytes):
    """A PNG (a file, or its bytes) decoded by ImageMagick."""
    if isinstance(path_or_bytes, bytes):
        ppm = session.run(["convert", "png:-", "ppm:-"], input_bytes=path_or_bytes, binary=True)
    else:
        ppm = session.run(["convert", path_or_bytes, "ppm:-"], binary=True)
    return pictures.parse_ppm(ppm)


def field_rows(shot):
    return {f[0]: shot.rows(f[1], f[2], f[3], f[4]) for f in FIELDS}


def wait_for_dialog(session, program, timeout=10):
    """The program's one window besides the main one (a dialog or message box)."""
    return wait_until("a dialog of the program", lambda: [
        w for w in session.visible_windows(program.pid) if w != program.window], timeout)[0]


KEPT_FIELDS = {"x": " -20", "y": "&H10", "size": "120", "zoom": "0.5E0", "brightness": "150"}


def phase_keeping(suite, session, app):
    with suite.check("plorvex --help, --version (no display needed) and a bad option") as check:
        bare = {k: v for k, v in session.env.items() if k != "DISPLAY"}
        for argv, status, stream, start in (([app, "--version"], 0, "stdout", "plorvex 1.2014.1\n"),
                                            ([app, "--help"], 0, "stdout", "usage: plorvex "),
                                            ([app, "--bogus"], 2, "stderr", "plorvex: unknown option")):
            env = bare if status == 0 else session.env
            done = subprocess.run(argv, capture_output=True, timeout=20, env=env)
            text = (done.stdout if stream == "stdout" else done.stderr).decode(errors="replace")
            check.expect(done.returncode == status and text.startswith(start),
                         "%s: status %d, %s %r" % (" ".join(argv[1:]), done.returncode, stream,
                                                   text[:80]))
    program = None
    saved = os.path.join(session.home, "kept.png")
    reference = suite.references.get("lazy", **KEPT_FIELDS)
    fields_shown = None
    with suite.check("keeping: a picture painted from typed fields") as check:
        program = start_program(session, app, "keeping")
        for name, key in (("TextOne", "x"), ("TextTwo", "y"), ("TextThree", "size"),
                          ("TextFour", "zoom")):
            set_field(program, name, KEPT_FIELDS[key])
        shot, _ = press_and_compare(suite, check, program, CONTROL_OF["lazy"], reference,
                                    "keeping-lazy", "lazy with blanks, &H and an exponent")
        fields_shown = field_rows(shot) if shot else None
    if program is None or not program.running():
        return

    with suite.check("Ctrl+S, a typed name and Return save the picture shown") as check:
        program.key("ctrl+s")
        dialog = wait_for_dialog(session, program)
        check.note("save dialog 0x%x; screenshot %s" % (dialog, suite.save(
            session.screenshot(dialog), "keeping-save-dialog")))
        program.type(saved)
        program.key("Return")
        wait_until("the saved file", lambda: os.path.exists(saved), 20)
        kept = read_png(session, saved)
        check.expect((kept.width, kept.height) == (reference.width, reference.height),
                     "saved %dx%d, expected %dx%d" % (kept.width, kept.height, reference.width,
                                                      reference.height))
        shown = picture_rows(program.screenshot(), reference)
        check.expect(kept.all_rows() == shown, "the saved pixels differ from the screenshot's")
        described = session.run(["identify", "-verbose", saved])
        for text in ('"pattern":"lazy"', '"x":" -20"', '"y":"&H10"', '"zoom":"0.5E0"',
                     '"complete":true', "Software: Plorvex Picture Maker"):
            check.expect(text in described, "identify -verbose does not show %s" % text)

    with suite.check("Ctrl+C puts the picture on the clipboard") as check:
        program.key("ctrl+c")
        time.sleep(0.3)
        clip = session.run(["xclip", "-selection", "clipboard", "-t", "image/png", "-o"],
                           binary=True)
        copied = read_png(session, clip)
        check.expect(copied.all_rows() == reference.all_rows(),
                     "the clipboard's %dx%d picture differs from the one shown"
                     % (copied.width, copied.height))
    program.stop()

    with suite.check("plorvex FILE.png in a fresh window: the fields and the picture") as check:
        program = start_program(session, app, "reopened", [saved])
        shot, seconds, matched = wait_for_picture(program, reference)
        check.note("picture after %.2f s; screenshot %s" % (seconds, suite.save(shot, "reopened")))
        if not matched:
            suite.compare(check, shot, reference, "reopened", "the reopened picture")
        if fields_shown:
            # The size field holds the fresh window's focus, and its blinking caret.
            for name, rows in field_rows(shot).items():
                check.expect(name == "TextThree" or rows == fields_shown[name],
                             "field %s shows another text" % name)
        check.expect(highlight_failures(shot, PATTERNS.index("lazy")) == [],
                     "highlight: %s" % highlight_failures(shot, PATTERNS.index("lazy")))
    program.stop()

    with suite.check("a damaged file: a message, and nothing changed") as check:
        damaged = os.path.join(session.home, "damaged.png")
        with open(saved, "rb") as source, open(damaged, "wb") as target:
            data = bytearray(source.read())
            data[60:70] = b"0123456789"  # into the parameters: their checksum no longer holds
            target.write(data)
        program = start_program(session, app, "damaged", [damaged], active=False)
        message = wait_for_dialog(session, program)
        check.note("message 0x%x; screenshot %s" % (message, suite.save(
            session.screenshot(message), "damaged-message")))
        program.key("Return")
        wait_until("the message closed", lambda: len(session.visible_windows(program.pid)) == 1, 10)
        shot = program.screenshot()
        check.expect(all(row == bytes(WINDOW_GREY) * reference.width
                         for row in picture_rows(shot, reference)), "something was painted")
        check.expect(highlight_failures(shot, None) == [], "a pattern button is highlighted")
    program.stop()


def phase_hidpi(suite, session, app):
    """At QT_SCALE_FACTOR=2 on a 3840 x 2160 screen, the picture's device pixels are those of
    plorvex-render --density 2."""
    screen = XSession(session.logdir, os.path.dirname(session.home), 3840, 2160,
                      {"QT_SCALE_FACTOR": "2"})
    program = None
    try:
        with suite.check("HiDPI: scale factor 2, atlas painted at density 2") as check:
            screen.start()
            program = start_program(screen, app, "hidpi", scale=2)
            reference = suite.references.get("atlas", density=2)
            x, y = centre(CONTROL_OF["atlas"])
            screen.xdotool("mousemove", "--window", program.window, 2 * x, 2 * y, "click", "1",
                           "mousemove", "--window", program.window, 2 * PARK[0], 2 * PARK[1])
            expected = reference.all_rows()
            deadline = time.monotonic() + 30
            while True:
                shot = program.screenshot()
                rows = shot.rows(2 * PICTURE_LEFT, 2 * PICTURE_TOP, reference.width,
                                 reference.height)
                if rows == expected or time.monotonic() > deadline:
                    break
                time.sleep(0.2)
            check.note("screenshot %s" % suite.save(shot, "hidpi-atlas"))
            if rows != expected:
                count, first = pictures.differences(rows, expected)
                check.expect(False, "%d device pixels differ from --density 2, first %s"
                             % (count, first))
        if program is None or not program.running():
            return
        with suite.check("HiDPI: scale factor 2, 'L' then atlas: 1024 x 768 painted at density 2"
                         ) as check:
            reference = suite.references.get("atlas", density=2, **L_FIELDS)
            for name in ("Command4", CONTROL_OF["atlas"]):
                x, y = centre(name)
                screen.xdotool("mousemove", "--window", program.window, 2 * x, 2 * y, "click", "1")
            screen.xdotool("mousemove", "--window", program.window, 2 * PARK[0], 2 * PARK[1])
            shot, rows = None, None
            deadline = time.monotonic() + 60
            while rows != reference.all_rows() and time.monotonic() < deadline:
                time.sleep(0.3)
                shot = program.screenshot()
                rows = shot.rows(2 * PICTURE_LEFT, 2 * PICTURE_TOP, reference.width,
                                 reference.height)
            check.note("screenshot %s" % suite.save(shot, "hidpi-L-atlas"))
            if rows != reference.all_rows():
                count, first = pictures.differences(rows, reference.all_rows())
                check.expect(False, "%d device pixels differ from --density 2, first %s"
                             % (count, first))
    finally:
        if program is not None:
            program.stop()
        screen.close()


# The layout the controls are placed in; a screen lower than this scrolls.
LAYOUT_HEIGHT = 1016
L_FIELDS = {"size": "768", "zoom": "0.15"}


def wait_for_rows(program, left, top, expected, timeout=60.0):
    """Polls until the screen's rows from (left, top) equal `expected`; returns
    the last screenshot and whether they did."""
    width = len(expected[0]) // 3
    deadline = time.monotonic() + timeout
    while True:
        shot = program.screenshot()
        if shot.rows(left, top, width, len(expected)) == expected:
            return shot, True
        if time.monotonic() > deadline:
            return shot, False
        time.sleep(0.2)


def phase_small_screen(suite, session, app):
    """On a 1366 x 768 screen, lower than the layout: the wheel scrolls the window's content,
    so that the last pattern button and the bottom row of an "L" picture can be reached."""
    width, height = 1366, 768
    screen = XSession(session.logdir, os.path.dirname(session.home), width, height)
    scrolled = LAYOUT_HEIGHT - height  # no horizontal bar: the layout is narrower
    try:
        program = None
        with suite.check("1366 x 768: 'L' then atlas, the top of the picture") as check:
            screen.start()
            program = start_program(screen, app, "small-screen")
            atlas = suite.references.get("atlas", **L_FIELDS)
            program.click(*centre("Command4"))
            program.click(*centre(CONTROL_OF["atlas"]))
            shown = height - PICTURE_TOP
            shot, matched = wait_for_rows(program, PICTURE_LEFT, PICTURE_TOP,
                                          atlas.all_rows()[:shown])
            check.note("screenshot %s" % suite.save(shot, "small-L-atlas-top"))
            check.expect(matched, "the top %d rows of the picture differ from plorvex-render's"
                         % shown)
        if program is None or not program.running():
            return
        with suite.check("1366 x 768: the wheel over a button scrolls to the picture's bottom row"
                         ) as check:
            x, y = centre(CONTROL_OF["atlas"])
            screen.xdotool("mousemove", "--window", program.window, x, y,
                           "click", "--repeat", "10", "--delay", "30", "5",
                           "mousemove", "--window", program.window, 1300, 700)
            bottom = atlas.all_rows()[scrolled - PICTURE_TOP:]
            shot, matched = wait_for_rows(program, PICTURE_LEFT, 0, bottom, timeout=10)
            check.note("screenshot %s" % suite.save(shot, "small-L-atlas-bottom"))
            check.expect(matched, "scrolled by %d, the picture's last %d rows (down to row %d) "
                         "are not on screen" % (scrolled, len(bottom), atlas.height - 1))
        with suite.check("1366 x 768: the 'tracer' button, scrolled into view, paints") as check:
            tracer = suite.references.get("tracer", **L_FIELDS)
            name = CONTROL_OF["tracer"]
            x, y = centre(name)
            screen.xdotool("mousemove", "--window", program.window, x, y - scrolled, "click", "1",
                           "mousemove", "--window", program.window, 1300, 700)
            bottom = tracer.all_rows()[scrolled - PICTURE_TOP:]
            shot, matched = wait_for_rows(program, PICTURE_LEFT, 0, bottom)
            check.note("screenshot %s" % suite.save(shot, "small-tracer"))
            check.expect(matched, "tracer's picture is not on screen")
            sample_x, sample_y = button_sample(name)
            check.expect(shot.pixel(sample_x, sample_y - scrolled) == HIGHLIGHT,
                         "the tracer button is not highlighted")
    finally:
        if program is not None:
            program.stop()
        screen.close()


PHASES = {
    "startup": phase_startup,
    "patterns": phase_patterns,
    "parameters": phase_parameters,
    "interrupts": phase_interrupts,
    "keeping": phase_keeping,
    "hidpi": phase_hidpi,
    "small-screen": phase_small_screen,
    "explore": lambda suite, session, app: explore.phase_explore(sys.modules[__name__], suite, session, app),
}


def check_fonts(suite, session):
    with suite.check("fonts: the substitute families are installed") as check:
        families = session.run(["fc-list", ":", "family"], check=False)
        for family in ("Liberation Sans", "DejaVu Sans", "Liberation Mono"):
            check.expect(family in families, "font family %s is missing (scripts/deps)" % family)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--app", required=True)
    parser.add_argument("--render", required=True)
    parser.add_argument("--artifacts", required=True)
    parser.add_argument("--phase", action="append", choices=sorted(PHASES),
                        help="run only these phases (default: all)")
    parser.add_argument("--time-limit", type=int, default=420,
                        help="seconds after which the run is abandoned")
    args = parser.parse_args()

    missing = missing_tools()
    if missing:
        print("missing tools: %s (install with scripts/deps --test)" % " ".join(missing))
        print("0 passed, 1 failed")
        return 1

    def give_up(signum, _frame):
        raise SystemExit("stopped by signal %d" % signum)
    signal.signal(signal.SIGTERM, give_up)
    signal.signal(signal.SIGHUP, give_up)
    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(args.time_limit)

    shutil.rmtree(args.artifacts, ignore_errors=True)
    pictures.ensure_dir(args.artifacts)
    scratch = tempfile.mkdtemp(prefix="plorvex-e2e-")
    references = References(os.path.abspath(args.render), pictures.ensure_dir(
        os.path.join(scratch, "references")))
    suite = Suite(args.artifacts, references)
    session = XSession(pictures.ensure_dir(os.path.join(args.artifacts, "logs")), scratch)
    start = time.monotonic()
    try:
        with suite.check("X display with a window manager") as check:
            session.start()
            check.note("display %s" % session.display)
        if session.display and not suite.results[-1][0].failures:
            check_fonts(suite, session)
            for name in args.phase or list(PHASES):
                try:
                    PHASES[name](suite, session, os.path.abspath(args.app))
                finally:
                    # A phase's program never outlives it.
                    for proc_name, process in list(session.processes):
                        if proc_name == name and process.poll() is None:
                            process.kill()
                            process.wait(timeout=10)
    except SystemExit as stop:
        stopped = Check("the run")
        stopped.failures.append("%s after %.1f s" % (stop, time.monotonic() - start))
        suite.results.append((stopped, 0.0))
        print("FAIL the run: %s" % stop.code, flush=True)
    finally:
        signal.alarm(0)
        session.close()
        shutil.rmtree(scratch, ignore_errors=True)

    failed = [check for check, _ in suite.results if check.failures]
    passed = len(suite.results) - len(failed)
    with open(os.path.join(args.artifacts, "summary.txt"), "w") as summary:
        for check, seconds in suite.results:
            summary.write("%s %s (%.1f s)\n" % ("FAIL" if check.failures else "PASS",
                                                check.name, seconds))
            for line in check.notes + ["- " + f for f in check.failures]:
                summary.write("     %s\n" % line)
    print("end-to-end run took %.1f s; screenshots in %s" % (time.monotonic() - start,
                                                             args.artifacts))
    print("%d passed, %d failed" % (passed, len(failed)))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
