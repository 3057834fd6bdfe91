#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""How soon the encoder ends when plorvex-render is stopped while it writes a video.

A 120-frame movie at 80 x 80 goes to WebM through an ffmpeg that reads its
frames at a twentieth of their rate (80 s when left alone). Once the encoder
runs, plorvex-render gets SIGTERM, SIGINT or SIGKILL; the time from the signal
until the encoder is gone (no longer a live process) is measured, and the
part file is checked gone (SIGKILL: after the next run). Prints each signal's
median and largest time. Target: at most 1 s.

    usage: bench/movie_cancel.py [PLORVEX-RENDER] [RUNS]
"""

import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time


def live(pid):
    try:
        with open(f"/proc/{pid}/stat") as stat:
            return stat.read().rsplit(")", 1)[1].split()[0] != "Z"
    except (FileNotFoundError, ProcessLookupError):
        return False


def encoder_of(parent):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as stat:
                text = stat.read()
        except OSError:
            continue
        name = text[text.find("(") + 1:text.rfind(")")]
        fields = text.rsplit(")", 1)[1].split()
        if name == "ffmpeg" and int(fields[1]) == parent and fields[0] != "Z":
            return int(entry)
    return None


def main():
    render = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/cli/plorvex-render")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    work = tempfile.mkdtemp()
    try:
        slow = os.path.join(work, "bin")
        os.mkdir(slow)
        with open(os.path.join(slow, "ffmpeg"), "w") as script:
            script.write('#!/bin/sh\nexec /usr/bin/ffmpeg -readrate 0.05 "$@"\n')
        os.chmod(os.path.join(slow, "ffmpeg"), 0o755)
        os.symlink(shutil.which("ffprobe"), os.path.join(slow, "ffprobe"))
        environment = dict(os.environ, PATH=slow + ":" + os.environ["PATH"])
        keys = []
        for name, texts in (("a.png", "--x 24 --y 24 --zoom 1"), ("b.png", "--x 1000 --y 300 --zoom 0.125")):
            keys.append(os.path.join(work, name))
            subprocess.run([render, "--pattern", "atlas", "--size", "40", *texts.split(), "-o", keys[-1]], check=True)
        video = os.path.join(work, "zoom.webm")
        movie = [render, "--movie", *keys, "--seconds", "4", "--density", "2", "--quiet",
                 "-o", os.path.join(work, "frames"), "--video", video]
        subprocess.run(movie[:-2], check=True)
        for number in (signal.SIGTERM, signal.SIGINT, signal.SIGKILL):
            times = []
            for _ in range(runs):
                running = subprocess.Popen(movie, env=environment)
                encoder = None
                while encoder is None:
                    time.sleep(0.005)
                    encoder = encoder_of(running.pid)
                start = time.monotonic()
                os.kill(running.pid, number)
                while live(encoder):
                    time.sleep(0.001)
                times.append((time.monotonic() - start) * 1000)
                if running.wait() != -number:
                    sys.exit(f"{number.name}: plorvex-render ended with {running.returncode}")
                parts = [name for name in os.listdir(work) if ".part-" in name]
                if parts and number != signal.SIGKILL:
                    sys.exit(f"{number.name}: part files left: {parts}")
            print(f"{number.name}: encoder gone after median {statistics.median(times):.1f} ms, "
                  f"largest {max(times):.1f} ms of {runs} runs (target <= 1000 ms)")
        # The part files SIGKILL left go with the next video made.
        subprocess.run(movie, check=True)
        parts = [name for name in os.listdir(work) if ".part-" in name]
        if parts:
            sys.exit(f"part files left after the next run: {parts}")
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
