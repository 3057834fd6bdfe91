#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The pyramid's viewer page in a real headless Chromium, opened from file://.

Makes a pyramid with plorvex-render --pyramid, opens DIR/index.html, checks that
the tiles of the whole-picture level are drawn (the screenshot is not one
colour, no tile failed), zooms in with the page's own zoom control, and checks
that tiles of the finer levels were loaded and drawn. The screenshots are kept
in the folder given as the second argument, to be looked at.

Usage: viewer_test.py PLORVEX_RENDER SCREENSHOT_DIR
Exit status 77 (skipped) when Chromium, its driver or Selenium is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

SKIP = 77


def skip(why):
    print("skipped: " + why)
    sys.exit(SKIP)


try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.webdriver.common.by import By
except ImportError:
    skip("python3-selenium is not installed")

CHROMIUM = shutil.which("chromium")
DRIVER = shutil.which("chromedriver")
if not CHROMIUM or not DRIVER:
    skip("chromium or chromium-driver is not installed")


def fail(why):
    print("FAILED: " + why)
    sys.exit(1)


def spread(png):
    """How far the screenshot's pixels lie from their mean (0: one colour)."""
    import struct
    import zlib
    assert png[:8] == b"\x89PNG\r\n\x1a\n"
    at, idat, width, height, colour = 8, b"", 0, 0, 0
    while at < len(png):
        length, kind = struct.unpack(">I4s", png[at:at + 8])
        data = png[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack(">IIBB", data[:10])
            assert depth == 8 and colour in (2, 6), (depth, colour)
        elif kind == b"IDAT":
            idat += data
        at += 12 + length
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    previous = bytearray(stride)
    values = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for x in range(stride):
            left = line[x - channels] if x >= channels else 0
            up = previous[x]
            upleft = previous[x - channels] if x >= channels else 0
            if kind == 1:
                line[x] = (line[x] + left) & 0xFF
            elif kind == 2:
                line[x] = (line[x] + up) & 0xFF
            elif kind == 3:
                line[x] = (line[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - upleft
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - upleft)
                line[x] = (line[x] + (left if pa <= pb and pa <= pc else up if pb <= pc else upleft)) & 0xFF
        previous = line
        # The map area only: below the line of texts at the top.
        if y >= 40 and y % 4 == 0:
            values.extend(sum(line[x:x + 3]) for x in range(0, stride, channels * 4))
    mean = sum(values) / len(values)
    return (sum((v - mean) ** 2 for v in values) / len(values)) ** 0.5


def loaded_levels(driver):
    """The levels of the tiles drawn now, and any tile that failed."""
    return driver.execute_script("""
        const images = [...document.querySelectorAll('.leaflet-tile-container img')];
        const drawn = images.filter(i => i.complete && i.naturalWidth > 0 && i.parentElement.style.opacity !== '0');
        const failed = images.filter(i => i.complete && i.naturalWidth === 0).map(i => i.src);
        const levels = [...new Set(drawn.map(i => Number(i.src.split('/').slice(-2)[0])))].sort((a, b) => a - b);
        return {levels, failed, count: drawn.length};
    """)


def wait_for_tiles(driver, level):
    deadline = time.time() + 20
    while time.time() < deadline:
        state = loaded_levels(driver)
        if state["failed"]:
            fail("tiles failed to load: %s" % state["failed"][:3])
        if level in state["levels"]:
            time.sleep(0.5)  # Leaflet fades tiles in over 0.2 s
            return state
        time.sleep(0.2)
    fail("no tile of level %d was drawn; drawn: %s" % (level, loaded_levels(driver)))


def main():
    render, shots = sys.argv[1], sys.argv[2]
    os.makedirs(shots, exist_ok=True)
    work = tempfile.mkdtemp(prefix="plorvex_viewer_")
    try:
        pyramid = os.path.join(work, "pyramid")
        # 2048 x 1536: the finest level is 11, 8 x 6 tiles; the whole picture fits the window at 9.
        subprocess.run([render, "--pattern", "tracer", "--size", "768", "--zoom", "0.4", "--density", "2",
                        "--x", "1 <i>x</i>", "--quiet", "--pyramid", pyramid], check=True)
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for argument in ("--headless=new", "--no-sandbox", "--disable-gpu", "--window-size=1000,800",
                         "--disable-dev-shm-usage"):
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service(DRIVER), options=options)
        try:
            driver.get("file://" + os.path.join(pyramid, "index.html"))
            title = driver.find_element(By.ID, "view").text
            if "tracer" not in title or "1 <i>x</i>" not in title:
                fail("the page does not show the view's pattern and texts: " + repr(title))
            first = wait_for_tiles(driver, driver.execute_script("return map.getZoom()"))
            whole = driver.get_screenshot_as_png()
            open(os.path.join(shots, "viewer-whole.png"), "wb").write(whole)
            if spread(whole) < 10:
                fail("the whole-picture screenshot is blank (spread %.1f)" % spread(whole))
            finest = driver.execute_script("return pyramid.finest")
            if finest in first["levels"]:
                fail("the finest level was drawn before zooming in: %s" % first["levels"])
            zoom_in = driver.find_element(By.CSS_SELECTOR, "a.leaflet-control-zoom-in")
            for _ in range(6):
                if driver.execute_script("return map.getZoom()") >= finest:
                    break
                zoom_in.click()
                time.sleep(0.4)
            if driver.execute_script("return map.getZoom()") != finest:
                fail("the zoom control did not zoom in to the finest level")
            state = wait_for_tiles(driver, finest)
            close = driver.get_screenshot_as_png()
            open(os.path.join(shots, "viewer-zoomed.png"), "wb").write(close)
            if spread(close) < 10:
                fail("the zoomed-in screenshot is blank (spread %.1f)" % spread(close))
            if close == whole:
                fail("zooming in changed nothing on the screen")
            errors = [entry for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
            if errors:
                fail("the page logged errors: %s" % errors[:3])
            print("whole picture: level(s) %s, %d tiles, spread %.1f; zoomed in: level(s) %s, %d tiles, spread %.1f"
                  % (first["levels"], first["count"], spread(whole), state["levels"], state["count"], spread(close)))
        finally:
            driver.quit()
    finally:
        shutil.rmtree(work)


main()
