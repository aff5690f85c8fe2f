"""The harness of the end-to-end tests: the platform's way to run programs
(program_<TALEWICK_PLATFORM>.py), a private desktop, the fake search service,
and the built program run as a user would, from a copy in a fresh folder.

    python3 harness.py COMMAND [ARGS...]   # one command on a private desktop (ctest)
"""

import importlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from desktop import Desktop, missing_tools, wait_until
from fake_search import SITE, FakeSearch

platform = importlib.import_module("program_" + os.environ.get("TALEWICK_PLATFORM", "posix"))

TITLE = "Talewick 02"
PREFIX = "[%s] " % TITLE
SMALL_WORD_LIST = "the\r\ncat\r\nsat\r\non\r\nmat\r\nwas\r\nand\r\n"
# Any report of a wrong call or a fault by GTK, GDK or GLib fails a test.
TOOLKIT_FAULT = re.compile(r"\b(Gtk|Gdk|GdkPixbuf|GLib(-[A-Za-z]+)?)-(CRITICAL|WARNING)\b")
HERE = os.path.dirname(os.path.abspath(__file__))
WINDOW_LAYOUT = os.path.join(HERE, "..", "..", "src", "window", "window_layout.h")


def window_places():
    """Where start-up puts the window and its controls, read from its header:
    "GoButton" -> (x, y, width, height) for each kGoButtonPlace line."""
    with open(WINDOW_LAYOUT, encoding="utf-8") as header:
        found = re.findall(r"WindowPlace k(\w+)Place\{(\d+), (\d+), (\d+), (\d+)\};", header.read())
    return {name: tuple(int(n) for n in numbers) for name, *numbers in found}


def centre(x, y, width, height):
    return x + width // 2, y + height // 2


PLACES = window_places()
INPUT_BOX, GO_BUTTON, STOP_BUTTON = (centre(*PLACES[name])
                                     for name in ("InputBox", "GoButton", "StopButton"))


def toolkit_faults(text):
    return [line for line in text.splitlines() if TOOLKIT_FAULT.search(line)]


class DesktopCase(unittest.TestCase):
    """A test with a private desktop, the platform's session and the fake search
    service; start_program() runs a copy of the built program ($TALEWICK_EXE) in a
    fresh folder, with its standard error kept in a file there."""

    def setUp(self):
        self.desktop = self.enterContext(Desktop(platform.SCREEN))
        self.env, self.command = self.enterContext(platform.session(self.desktop.env()))
        self.server = self.enterContext(FakeSearch())
        self.process = None

    def tearDown(self):
        if self.process is None:
            return
        failed = self._outcome.result.errors + self._outcome.result.failures
        if any(getattr(test, "test_case", test) is self for test, _ in failed):  # evidence
            sys.stderr.write("debug lines:\n  " + "\n  ".join(self.lines()) + "\n")
            self.desktop.screenshot(os.path.join(os.getcwd(), self.id() + ".png"))
        self.assertEqual(toolkit_faults(self.read(".stderr").decode(errors="replace")), [])

    def start_program(self, files=None):
        self.folder = tempfile.mkdtemp(prefix="talewick-e2e-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        for name, text in ({"dictionary.txt": SMALL_WORD_LIST} if files is None else files).items():
            with open(self.path(name), "w", encoding="utf-8", newline="") as out:
                out.write(text)
        self.env.update(TALEWICK_SEARCH_HOST=self.server.host_url, TALEWICK_SEARCH_SITE=SITE)
        with open(self.path(".stderr"), "wb") as stderr:
            self.process = subprocess.Popen(
                self.command(shutil.copy2(os.environ["TALEWICK_EXE"], self.folder)),
                cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL,
                stdout=subprocess.DEVNULL, stderr=stderr)
        self.addCleanup(lambda: self.process.poll() is None and self.process.kill())
        self.window = self.desktop.wait_for_window(TITLE, platform.STARTUP_SECONDS)
        self.assertIsNotNone(self.window, "the main window did not appear")
        self.wait_for("starting...")
        time.sleep(0.5)  # let the controls be mapped and painted

    def path(self, name):
        return os.path.join(self.folder, name)

    def read(self, name):
        """A file of the program's folder, or None when there is none."""
        try:
            with open(self.path(name), "rb") as source:
                return source.read()
        except FileNotFoundError:
            return None

    def lines(self):
        """The whole debug lines so far, without the "[Talewick 02] " before each."""
        text = self.read(".stderr").decode("utf-8", errors="replace")
        lines = map(platform.debug_line, text[: text.rfind("\n") + 1].splitlines())
        lines = [line for line in lines if line is not None]
        for line in lines:
            self.assertTrue(line.startswith(PREFIX), line)
        return [line[len(PREFIX):] for line in lines]

    def wait_for(self, line, timeout=20.0, count=1):
        wait_until(lambda: self.lines().count(line) >= count or self.process.poll() is not None,
                   timeout)
        self.assertGreaterEqual(self.lines().count(line), count,
                                "no %r (x%d); so far:\n%s" % (line, count, "\n".join(self.lines())))

    def wait_exit(self, timeout=30):
        """The exit code, or None when the program still runs after `timeout` s."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def wait_for_quiet(self, seconds, timeout=30.0):
        """Waits until no debug line has come for `seconds`."""
        last, since, deadline = -1, 0.0, time.monotonic() + timeout
        while time.monotonic() < deadline:
            count = len(self.lines())
            if count != last:
                last, since = count, time.monotonic()
            elif time.monotonic() - since >= seconds:
                return
            time.sleep(0.1)
        self.fail("the program never went quiet")

    def type_input(self, text, then="Return"):
        self.desktop.click(self.window, *INPUT_BOX)
        self.desktop.type(text)
        if then:
            self.desktop.key(then)

    def close_and_expect_exit(self):
        """A close request through the window manager; the program must end with 0."""
        self.desktop.close(TITLE)
        self.assertEqual(self.wait_exit(), 0, "exit code (None: still running)")
        self.assertEqual(self.lines()[-1], "closing...")


def run_main():
    """unittest.main(); exit code 77 (skipped) when a desktop tool is missing or
    every test skipped itself."""
    if missing_tools():
        print("skipped: missing", " ".join(missing_tools()))
        sys.exit(77)
    result = unittest.main(verbosity=2, exit=False).result
    all_skipped = len(result.skipped) == result.testsRun
    sys.exit(1 if not result.wasSuccessful() else 77 if all_skipped else 0)


def run_on_desktop(argv):
    """Runs a test program of the platform on a private desktop; its exit code."""
    if missing_tools():
        return 77
    with Desktop(platform.SCREEN) as desktop, platform.session(desktop.env()) as (env, command):
        try:
            return subprocess.run(command(argv[0]) + argv[1:], env=env, timeout=240).returncode
        except subprocess.TimeoutExpired:
            print("%s ran longer than 240 s" % argv[0])
            return 124


if __name__ == "__main__":
    sys.exit(run_on_desktop(sys.argv[1:]))
