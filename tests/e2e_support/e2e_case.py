"""A unittest base for driving the real program on a private desktop against
the local search server. Front-end test files subclass it and set what
differs per platform:

    executable   path of the built program (default: $TALEWICK_EXE)
    command      executable path -> command line (e.g. under Wine)
    log_parser   raw stderr line -> diagnostic line or None
    startup_timeout  seconds until the main window must be there
    screen       the private X screen ("WIDTHxHEIGHTxDEPTH"; default: Desktop's)
    program_env()  the program's environment (default: the desktop's)

Control positions are client-area pixels of the main window, the same on
every platform. A test needing tools that are not installed is skipped with
exit code 77 when run through run_main().
"""

import os
import shutil
import sys
import unittest

from desktop import Desktop
from program import ProgramRun
from search_server import SearchServer

TITLE = "Talewick 02"
PREFIX = "[%s] " % TITLE
INPUT_BOX = (100, 330)
GO_BUTTON = (590, 317)
STOP_BUTTON = (590, 340)
SMALL_DICTIONARY = b"the\r\ncat\r\nsat\r\non\r\nmat\r\nwas\r\nand\r\n"
REQUIRED_TOOLS = ("Xvfb", "openbox", "xdotool", "wmctrl", "setxkbmap", "xprop", "import")
SKIP_EXIT_CODE = 77


def missing_tools():
    return [tool for tool in REQUIRED_TOOLS if shutil.which(tool) is None]


class TalewickDesktopCase(unittest.TestCase):
    executable = os.environ.get("TALEWICK_EXE")
    command = None
    log_parser = None
    startup_timeout = 30.0
    screen = None
    artefacts = os.environ.get("TALEWICK_E2E_ARTEFACTS", os.getcwd())

    def setUp(self):
        if not self.executable or not os.path.exists(self.executable):
            self.fail("TALEWICK_EXE does not name the built program: %r" % self.executable)
        self.server = SearchServer().start()
        self.addCleanup(self.server.stop)
        self.desktop = (Desktop(self.screen) if self.screen else Desktop()).start()
        self.addCleanup(self.desktop.stop)
        self.program = None
        self.window = None

    def tearDown(self):
        result = getattr(getattr(self, "_outcome", None), "result", None)
        failed = result is not None and any(test is self for test, _ in
                                            result.errors + result.failures)
        if failed and self.program is not None:  # evidence only: the failure is reported
            try:
                self.screenshot(self.id().rsplit(".", 1)[-1] + "-failed.png")
            except Exception:
                pass
            sys.stderr.write("debug lines:\n  " + "\n  ".join(self.program.log_lines()) + "\n")
        if self.program is not None:
            self.assertEqual(self.program.toolkit_faults(), [], "the toolkit reported faults")

    def program_env(self):
        return self.desktop.env()

    def screenshot(self, name):
        os.makedirs(self.artefacts, exist_ok=True)
        return self.desktop.screenshot(os.path.join(self.artefacts, name))

    # --- the program ---------------------------------------------------------

    def start_program(self, files=None):
        """Starts the program beside `files` and waits for its main window."""
        if files is None:
            files = {"dictionary.txt": SMALL_DICTIONARY}
        self.program = ProgramRun(self.executable, files=files, command=self.command,
                               log_parser=self.log_parser)
        self.addCleanup(self.program.cleanup)
        self.program.start(self.program_env(), search=self.server)
        self.window = self.desktop.wait_for_window(TITLE, self.startup_timeout)
        self.assertIsNotNone(self.window, "the main window did not appear")
        self.assertTrue(self.program.wait_for_line(PREFIX + "starting...", 10))
        return self.program

    def lines(self):
        """The diagnostic lines so far, without the "[Talewick 02] " prefix."""
        out = []
        for line in self.program.log_lines():
            self.assertTrue(line.startswith(PREFIX), "not a diagnostic line: %r" % line)
            out.append(line[len(PREFIX):])
        return out

    def wait_for(self, message, timeout=20.0, count=1):
        self.assertTrue(self.program.wait_for_line(PREFIX + message, timeout, count),
                        "no %r (x%d) within %.0f s; log so far:\n%s"
                        % (message, count, timeout, "\n".join(self.lines())))

    def close_and_expect_exit(self, timeout=20.0):
        """A close request through the window manager; the program must end with 0."""
        self.desktop.close_window(TITLE)
        code = self.program.wait_exit(timeout)
        self.assertEqual(code, 0, "exit code (None: still running)")
        self.assertEqual(self.lines()[-1], "closing...")

    # --- hands -----------------------------------------------------------------

    def type_input(self, text, then=None):
        """Clicks into the input box, types `text`, then presses key `then`."""
        self.desktop.click(self.window, *INPUT_BOX)
        self.desktop.type_text(text)
        if then:
            self.desktop.key(then)

    def go(self, text):
        self.type_input(text)
        self.click_go()

    def click_go(self, repeat=1):
        self.desktop.click(self.window, *GO_BUTTON, repeat=repeat)

    def click_stop(self, repeat=1):
        self.desktop.click(self.window, *STOP_BUTTON, repeat=repeat)


def run_main():
    """unittest.main() with exit code 77 (skipped) when the desktop tools are missing."""
    missing = missing_tools()
    if missing:
        print("skipped: missing %s" % ", ".join(missing))
        sys.exit(SKIP_EXIT_CODE)
    unittest.main(verbosity=2)
