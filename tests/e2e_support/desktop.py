"""A private X desktop for end-to-end tests: Xvfb on a free display, the openbox
window manager (needed for focus and for real close requests), a US keyboard
map, and the few xdotool / wmctrl / ImageMagick steps a person's hands stand
for. Every wait is bounded; nothing here blocks for ever.

    with Desktop() as desktop:
        program.start(extra_env=desktop.env())
        wid = desktop.wait_for_window("Talewick 02", timeout=20)
        desktop.click(wid, 40, 320)
        desktop.type_text("the cat")
        desktop.key("Return")
        desktop.close_window("Talewick 02")
        desktop.screenshot("/path/shot.png")
"""

import os
import select
import subprocess
import time

# Bounds for the helper commands: one xdotool or wmctrl call never takes long.
TOOL_TIMEOUT = 10.0
# Large enough that a box centred on the screen leaves the main window (at the
# top-left corner) uncovered.
SCREEN = "1920x1080x24"


class DesktopError(RuntimeError):
    pass


def _wait_until(predicate, timeout, interval=0.1):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class Desktop:
    def __init__(self, screen=SCREEN):
        self.screen = screen
        self.display = None
        self._xvfb = None
        self._wm = None

    # --- life -------------------------------------------------------------

    def start(self, timeout=20.0):
        # Xvfb picks a free display itself and writes its number to the pipe.
        read_end, write_end = os.pipe()
        self._xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", self.screen,
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = self._read_display_number(read_end, timeout)
        os.close(read_end)
        if number is None:
            self.stop()
            raise DesktopError("Xvfb did not report a display within %.0f s" % timeout)
        self.display = ":%s" % number

        self._wm = subprocess.Popen(
            ["openbox", "--sm-disable"], env=self.env(),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not _wait_until(lambda: self._run(["wmctrl", "-m"], check=False).returncode == 0,
                           timeout):
            self.stop()
            raise DesktopError("openbox did not start within %.0f s" % timeout)
        self._run(["setxkbmap", "us"], check=False)
        return self

    def stop(self):
        for process in (self._wm, self._xvfb):
            if process is None or process.poll() is not None:
                continue
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(5)
        self._wm = self._xvfb = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @staticmethod
    def _read_display_number(fd, timeout):
        digits = b""
        deadline = time.monotonic() + timeout
        while not digits.endswith(b"\n"):
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                return None
            chunk = os.read(fd, 16)
            if not chunk:
                return None
            digits += chunk
        return digits.strip().decode()

    def env(self):
        """The environment for programs on this desktop (a copy of os.environ)."""
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env["NO_AT_BRIDGE"] = "1"  # no accessibility bus in tests
        env.pop("WAYLAND_DISPLAY", None)
        env["GDK_BACKEND"] = "x11"
        return env

    def _run(self, argv, check=True, timeout=TOOL_TIMEOUT):
        try:
            result = subprocess.run(argv, env=self.env(), capture_output=True, text=True,
                                    timeout=timeout)
        except subprocess.TimeoutExpired:
            raise DesktopError("%s took longer than %.0f s" % (argv[0], timeout))
        if check and result.returncode != 0:
            raise DesktopError("%s failed: %s" % (" ".join(argv), result.stderr.strip()))
        return result

    # --- windows ------------------------------------------------------------

    def find_windows(self, name):
        """Ids of the visible windows whose title contains `name` (never waits)."""
        result = self._run(["xdotool", "search", "--onlyvisible", "--name", name], check=False)
        return [int(line) for line in result.stdout.split()]

    def wait_for_window(self, name, timeout, exclude=()):
        """The id of the first visible window whose title contains `name` and whose
        id is not in `exclude` (e.g. a box already dismissed), or None."""
        def fresh():
            return [wid for wid in self.find_windows(name) if wid not in exclude]

        found = _wait_until(fresh, timeout, 0.2)
        return found[0] if found else None

    def window_geometry(self, wid):
        """(x, y, width, height) of the window's client area on the screen."""
        result = self._run(["xdotool", "getwindowgeometry", "--shell", str(wid)])
        values = dict(line.split("=", 1) for line in result.stdout.split() if "=" in line)
        return (int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"]))

    def window_title(self, wid):
        return self._run(["xdotool", "getwindowname", str(wid)]).stdout.rstrip("\n")

    def window_property(self, wid, name):
        """xprop's text for one property of the window ("" when unset)."""
        return self._run(["xprop", "-id", str(wid), name], check=False).stdout

    def activate(self, wid, timeout=5.0):
        """Raises and focuses the window; True once it is the active one."""
        self._run(["xdotool", "windowactivate", str(wid)], check=False)

        def active():
            result = self._run(["xdotool", "getactivewindow"], check=False)
            return result.stdout.strip() == str(wid)

        return bool(_wait_until(active, timeout))

    def close_window(self, name):
        """A real close request (WM_DELETE_WINDOW through the window manager)."""
        self._run(["wmctrl", "-c", name])

    # --- hands ----------------------------------------------------------------

    def click(self, wid, x, y, repeat=1):
        """Clicks at (x, y) of the window's client area; repeat=2 is a double click.
        One xdotool call without --sync, which can hang when the pointer is
        already at the target."""
        self._run(["xdotool", "mousemove", "--window", str(wid), str(x), str(y),
                   "click", "--repeat", str(repeat), "--delay", "80", "1"])

    def type_text(self, text, delay_ms=12):
        """Types into the focused window through XTEST, as a keyboard would."""
        timeout = TOOL_TIMEOUT + len(text) * delay_ms * 3 / 1000.0
        self._run(["xdotool", "type", "--delay", str(delay_ms), "--", text], timeout=timeout)

    def key(self, *names):
        """Presses keys by X keysym name, e.g. key("Return"), key("KP_Enter")."""
        self._run(["xdotool", "key", "--delay", "50"] + list(names))

    # --- eyes -----------------------------------------------------------------

    def screenshot(self, path, wid=None):
        """The whole screen, or one window's client area, as a PNG (ImageMagick's import)."""
        self._run(["import", "-window", str(wid) if wid else "root", path], timeout=30)
        return path

    def darkest(self, path, x, y, width, height):
        """The lowest grey level, 0.0 (black) to 1.0 (white), in a rectangle of a
        screenshot: text in the rectangle makes it low, an empty area high."""
        result = self._run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                            "+repage", "-colorspace", "Gray", "-format", "%[fx:minima]", "info:"])
        return float(result.stdout.strip())
