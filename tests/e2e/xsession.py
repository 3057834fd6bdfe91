# SPDX-License-Identifier: GPL-3.0-or-later
"""A private X display with a window manager, the program under test, real
input through xdotool and screenshots through xwd and ImageMagick.

Everything started here is recorded and stopped by XSession.close(); the
children also get SIGTERM if the driver itself dies.
"""

import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time

import pictures

SCREEN_WIDTH = 1280
SCREEN_HEIGHT = 1024
TOOLS = ("Xvfb", "openbox", "xdotool", "xwd", "xprop", "xwininfo", "convert", "xlogo", "xclip",
         "identify")


class DriverError(Exception):
    """The driver could not do what it tried (a tool failed or a wait ran out)."""


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def _die_with_parent():
    # PR_SET_PDEATHSIG: a child must not outlive a driver that was killed.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(1, signal.SIGTERM, 0, 0, 0)


def wait_until(what, probe, timeout, interval=0.05):
    """Polls probe() until it returns a true value; DriverError after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise DriverError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(interval)


class XSession:
    def __init__(self, logdir, scratch, width=SCREEN_WIDTH, height=SCREEN_HEIGHT, env=None):
        self.width, self.height = width, height
        self.logdir = logdir
        self.home = tempfile.mkdtemp(prefix="home-", dir=scratch)
        runtime = tempfile.mkdtemp(prefix="runtime-", dir=scratch)
        os.chmod(runtime, 0o700)
        self.env = {k: v for k, v in os.environ.items()
                    if not k.startswith("QT_") and k not in ("WAYLAND_DISPLAY", "XAUTHORITY")}
        self.env.update({
            "HOME": self.home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"),
            "XDG_CACHE_HOME": os.path.join(self.home, ".cache"),
            "QT_QPA_PLATFORM": "xcb",
            "LC_ALL": "C.UTF-8",
        })
        self.env.update(env or {})
        self.processes = []  # (name, Popen), in start order
        self.display = None

    # --- processes ---------------------------------------------------------

    def spawn(self, name, argv, **kwargs):
        log = open(os.path.join(self.logdir, name + ".log"), "ab")
        process = subprocess.Popen(argv, env=self.env, stdin=subprocess.DEVNULL, stdout=log,
                                   stderr=subprocess.STDOUT, preexec_fn=_die_with_parent,
                                   **kwargs)
        log.close()
        self.processes.append((name, process))
        return process

    def start(self):
        read_end, write_end = os.pipe()
        try:
            self.spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                "%dx%dx24" % (self.width, self.height), "-noreset",
                                "-nolisten", "tcp"], pass_fds=(write_end,))
            os.close(write_end)
            write_end = None
            # Xvfb picks a free display number and writes it once it accepts clients.
            text = b""
            deadline = time.monotonic() + 20
            while not text.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                if remaining <= 0 or not select.select([read_end], [], [], remaining)[0]:
                    raise DriverError("Xvfb did not report a display within 20 s")
                chunk = os.read(read_end, 64)
                if not chunk:
                    raise DriverError("Xvfb exited before reporting a display")
                text += chunk
        finally:
            os.close(read_end)
            if write_end is not None:
                os.close(write_end)
        self.display = ":" + text.decode().strip()
        self.env["DISPLAY"] = self.display
        self.spawn("openbox", ["openbox", "--sm-disable"])
        wait_until("the window manager", self._wm_running, 20)
        # openbox announces itself before it has finished starting, and a
        # window that asks to be shown meanwhile is never shown. Throwaway
        # windows are opened until one shows: from then on windows are served.
        deadline = time.monotonic() + 60
        while True:
            probe = self.spawn("probe", ["xlogo", "-geometry", "40x40+600+400"])
            try:
                wait_until("a window shown by the window manager",
                           lambda: self.visible_windows_of_class("xlogo"), 2)
                break
            except DriverError:
                if time.monotonic() >= deadline:
                    raise DriverError("the window manager showed no window within 60 s")
            finally:
                probe.terminate()
                probe.wait(timeout=10)
        wait_until("the probe window gone", lambda: not self.visible_windows_of_class("xlogo"),
                   10)

    def _wm_running(self):
        out = self.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)
        return "window id #" in out

    def close(self):
        """Stops every process started here, newest first, also stopped ones."""
        for name, process in reversed(self.processes):
            if process.poll() is not None:
                continue
            try:
                os.kill(process.pid, signal.SIGCONT)
                process.terminate()
                process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(timeout=5)
            except ProcessLookupError:
                pass
        self.processes.clear()

    # --- X tools --------------------------------------------------------------

    def run(self, argv, check=True, timeout=10, input_bytes=None, binary=False):
        try:
            done = subprocess.run(argv, env=self.env, input=input_bytes, capture_output=True,
                                  timeout=timeout)
        except subprocess.TimeoutExpired:
            raise DriverError("%s did not finish within %d s" % (argv[0], timeout))
        if check and done.returncode != 0:
            raise DriverError("%s failed (%d): %s" % (" ".join(argv), done.returncode,
                                                      done.stderr.decode(errors="replace")))
        return done.stdout if binary else done.stdout.decode(errors="replace")

    def xdotool(self, *args):
        return self.run(["xdotool"] + [str(a) for a in args])

    def visible_windows(self, pid):
        out = self.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], check=False)
        return [int(w) for w in out.split()]

    def visible_windows_of_class(self, name):
        out = self.run(["xdotool", "search", "--onlyvisible", "--classname", name], check=False)
        return [int(w) for w in out.split()]

    def geometry(self, window):
        """(x, y, width, height, map state) of a window, x and y on the screen."""
        out = self.run(["xwininfo", "-id", str(window)])
        def field(label):
            m = re.search(label + r":\s*(-?\d+)", out)
            return int(m.group(1)) if m else None
        state = re.search(r"Map State:\s*(\w+)", out)
        return (field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
                field("Height"), state.group(1) if state else "?")

    def root(self):
        m = re.search(r"Window id:\s*(0x[0-9a-f]+)", self.run(["xwininfo", "-root"]))
        return int(m.group(1), 16)

    def parent(self, window):
        out = self.run(["xwininfo", "-children", "-id", str(window)])
        m = re.search(r"Parent window id:\s*(0x[0-9a-f]+)", out)
        return int(m.group(1), 16) if m else None

    def properties(self, window, *names):
        return self.run(["xprop", "-id", str(window)] + list(names), check=False)

    def wm_state(self, window):
        m = re.search(r"window state:\s*(\w+)", self.properties(window, "WM_STATE"))
        return m.group(1) if m else None

    def active_window(self):
        out = self.run(["xdotool", "getactivewindow"], check=False).strip()
        return int(out) if out.isdigit() else None

    def screenshot(self, window):
        """The window's client area, as xwd reads it and ImageMagick converts it."""
        # xwd also reads the windows lying over this one; one of them that
        # disappears meanwhile fails the read, so such a failure is retried.
        for attempt in range(5):
            try:
                xwd = self.run(["xwd", "-id", str(window), "-silent"], binary=True)
                break
            except DriverError:
                if attempt == 4:
                    raise
                time.sleep(0.05)
        ppm = self.run(["convert", "xwd:-", "ppm:-"], input_bytes=xwd, binary=True)
        return pictures.parse_ppm(ppm)


class Program:
    """The program under test in one X session."""

    def __init__(self, session, binary, name, args=()):
        self.session = session
        self.name = name
        self.process = session.spawn(name, [binary] + list(args))
        self.window = None
        self.stopped = False

    @property
    def pid(self):
        return self.process.pid

    def running(self):
        return self.process.poll() is None

    def wait_for_window(self, timeout=20):
        def found():
            if not self.running():
                raise DriverError("the program exited (status %s) before showing a window"
                                  % self.process.returncode)
            windows = self.session.visible_windows(self.pid)
            return windows[0] if windows else None
        try:
            self.window = wait_until("the program's window", found, timeout)
        except DriverError as error:
            tree = os.path.join(self.session.logdir, "windows-%s.txt" % self.name)
            with open(tree, "w") as f:
                f.write(self.session.run(["xwininfo", "-root", "-tree"], check=False))
            raise DriverError("%s; the program's windows: %s (all windows: %s)"
                              % (error, self.describe_windows(), tree))
        return self.window

    def describe_windows(self):
        out = self.session.run(["xdotool", "search", "--pid", str(self.pid)], check=False)
        described = []
        for window in out.split():
            x, y, width, height, state = self.session.geometry(int(window))
            described.append("0x%x %dx%d at (%d, %d) %s" % (int(window), width, height, x, y,
                                                            state))
        return ", ".join(described) or "none"

    def wait_until_active(self, timeout=10):
        wait_until("the program's window to be active",
                   lambda: self.session.active_window() == self.window, timeout)

    def click(self, x, y, park=True):
        """A real left click at window coordinates (x, y). The pointer is then
        parked on a spot of bare background so that no tooltip or hover
        colour shows up in later screenshots."""
        args = ["mousemove", "--window", self.window, x, y, "click", "1"]
        if park:
            args += ["mousemove", "--window", self.window, PARK[0], PARK[1]]
        self.session.xdotool(*args)

    def key(self, *keys):
        self.session.xdotool("key", "--clearmodifiers", *keys)

    def type(self, text):
        self.session.xdotool("type", "--delay", "20", "--", text)

    def screenshot(self):
        if not self.running():
            raise DriverError("the program is no longer running (status %s)"
                              % self.process.returncode)
        return self.session.screenshot(self.window)

    def pause(self):
        os.kill(self.pid, signal.SIGSTOP)
        self.stopped = True

    def resume(self):
        os.kill(self.pid, signal.SIGCONT)
        self.stopped = False

    def wait_exit(self, timeout):
        """Seconds until the process ended, or None if it still runs."""
        start = time.monotonic()
        deadline = start + timeout
        while time.monotonic() < deadline:
            if self.process.poll() is not None:
                return time.monotonic() - start
            time.sleep(0.002)
        return None

    def stop(self):
        if self.running():
            if self.stopped:
                self.resume()
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=5)


# Bare window background, away from every control, tooltip and the largest
# picture (which ends at x = 1184).
PARK = (1230, 960)
