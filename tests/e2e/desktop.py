"""A private X desktop for end-to-end tests: Xvfb on a free display, the openbox
window manager (needed for focus and for real close requests), a US keyboard
map, and the few xdotool / wmctrl / ImageMagick steps a person's hands and eyes
stand for. Every wait is bounded."""

import os
import re
import select
import shutil
import subprocess
import time

TOOLS = ("Xvfb", "openbox", "xdotool", "wmctrl", "setxkbmap", "xprop", "xwininfo", "import",
         "convert")
TOOL_TIMEOUT = 10.0


def missing_tools():
    return [tool for tool in TOOLS if shutil.which(tool) is None]


def wait_until(predicate, timeout, interval=0.1):
    """The predicate's first true value, or its last false one after `timeout` s."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()) and time.monotonic() < deadline:
        time.sleep(interval)
    return value


class Desktop:
    def __init__(self, screen="1920x1080x24"):
        self.screen = screen
        self.size = tuple(int(v) for v in screen.split("x")[:2])
        self.display = None
        self._processes = []

    def __enter__(self):
        # Xvfb picks a free display itself and writes its number on the pipe.
        xvfb = subprocess.Popen(["Xvfb", "-displayfd", "1", "-screen", "0", self.screen,
                                 "-nolisten", "tcp", "-noreset"], stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        self._processes.append(xvfb)
        if not select.select([xvfb.stdout], [], [], 20)[0]:
            self.__exit__()
            raise RuntimeError("Xvfb reported no display")
        self.display = ":" + xvfb.stdout.readline().decode().strip()
        self._processes.append(subprocess.Popen(["openbox", "--sm-disable"], env=self.env(),
                                                stdout=subprocess.DEVNULL,
                                                stderr=subprocess.DEVNULL))
        if not wait_until(lambda: self.run(["wmctrl", "-m"], check=False).returncode == 0, 20):
            self.__exit__()
            raise RuntimeError("openbox did not start")
        self.run(["setxkbmap", "us"], check=False)
        return self

    def __exit__(self, *exc):
        for process in reversed(self._processes):
            if process.stdout:
                process.stdout.close()
            process.terminate()
            try:
                process.wait(5)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait(5)
        self._processes = []

    def env(self):
        """os.environ for programs on this desktop."""
        env = dict(os.environ, DISPLAY=self.display, NO_AT_BRIDGE="1", GDK_BACKEND="x11")
        env.pop("WAYLAND_DISPLAY", None)
        return env

    def run(self, argv, check=True, timeout=TOOL_TIMEOUT):
        try:
            result = subprocess.run(argv, env=self.env(), capture_output=True, text=True,
                                    timeout=timeout)
        except subprocess.TimeoutExpired:
            raise RuntimeError("%s took longer than %.0f s" % (argv[0], timeout))
        if check and result.returncode != 0:
            raise RuntimeError("%s failed: %s" % (" ".join(argv), result.stderr.strip()))
        return result

    # --- windows -----------------------------------------------------------

    def find_windows(self, name):
        """Ids of the visible windows whose title contains `name` (never waits)."""
        result = self.run(["xdotool", "search", "--onlyvisible", "--name", name], check=False)
        return [int(line) for line in result.stdout.split()]

    def wait_for_window(self, name, timeout, exclude=()):
        """The first visible window titled `name` that is not in `exclude`, or None."""
        found = wait_until(lambda: [w for w in self.find_windows(name) if w not in exclude],
                           timeout, 0.2)
        return found[0] if found else None

    def geometry(self, wid):
        """(x, y, width, height) of the window's client area on the screen."""
        out = self.run(["xdotool", "getwindowgeometry", "--shell", str(wid)]).stdout
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return tuple(int(values[key]) for key in ("X", "Y", "WIDTH", "HEIGHT"))

    def frame(self, wid):
        """(x, y, width, height) of the window with the frame that the window manager
        put around it: its ancestor that is a child of the root window."""
        while True:
            tree = self.run(["xwininfo", "-tree", "-id", str(wid)]).stdout
            root, parent = (int(re.search(name + r" window id: (0x[0-9a-f]+)", tree).group(1), 16)
                            for name in ("Root", "Parent"))
            if parent == root:
                break
            wid = parent
        info = self.run(["xwininfo", "-id", str(wid)]).stdout
        return tuple(int(re.search(name + r":\s+(-?\d+)", info).group(1)) for name in
                     ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"))

    def activate(self, wid):
        """Raises and focuses the window; True once it is the active one."""
        self.run(["xdotool", "windowactivate", str(wid)], check=False)
        return bool(wait_until(lambda: self.run(["xdotool", "getactivewindow"], check=False)
                               .stdout.strip() == str(wid), 5))

    def close(self, name):
        """A real close request (WM_DELETE_WINDOW through the window manager)."""
        self.run(["wmctrl", "-c", name])

    # --- hands and eyes --------------------------------------------------------

    def click(self, wid, x, y, repeat=1):
        """Clicks at (x, y) of the window's client area. No --sync: it can hang when
        the pointer is on the target already."""
        self.run(["xdotool", "mousemove", "--window", str(wid), str(x), str(y), "click",
                  "--repeat", str(repeat), "--delay", "80", "1"])

    def type(self, text):
        """Types into the focused window through XTEST, as a keyboard would."""
        self.run(["xdotool", "type", "--delay", "12", "--", text],
                 timeout=TOOL_TIMEOUT + len(text) * 0.04)

    def key(self, *names):
        """Presses keys by X keysym name, e.g. key("Return"), key("KP_Enter")."""
        self.run(["xdotool", "key", "--delay", "50"] + list(names))

    def screenshot(self, path, wid=None):
        self.run(["import", "-window", str(wid) if wid else "root", path], timeout=30)
        return path

    def darkest(self, path, x, y, width, height):
        """The lowest grey level (0 black to 1 white) in a rectangle of a screenshot:
        text there makes it low, an empty area high."""
        return float(self.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                               "+repage", "-colorspace", "Gray", "-format", "%[fx:minima]",
                               "info:"]).stdout)

    def text_lines(self, path, x, y, width, height):
        """How many lines of dark text a rectangle of a screenshot shows: runs of
        pixel rows with ink in them, blank rows between (a line cut off counts)."""
        pixels = subprocess.run(["convert", path, "-crop", "%dx%d+%d+%d" % (width, height, x, y),
                                 "+repage", "-colorspace", "Gray", "-depth", "8", "gray:-"],
                                capture_output=True, check=True, timeout=TOOL_TIMEOUT).stdout
        inked = [min(pixels[row * width:(row + 1) * width]) < 128 for row in range(height)]
        return sum(ink and (row == 0 or not inked[row - 1]) for row, ink in enumerate(inked))
