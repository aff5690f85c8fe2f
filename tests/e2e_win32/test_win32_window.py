"""End-to-end scenarios of talewick.exe under Wine: a real window in Xvfb with
openbox, driven with xdotool as a person would, against the local test search
server. Each scenario is its own ctest test:

    python3 test_win32_window.py Win32Scenarios.test_one_cycle_then_timer_cycle

Environment: TALEWICK_EXE (the built talewick.exe) and TALEWICK_E2E_DIR (the
build folder of these tests: the booted Wine prefix and the screenshots).
"""

import os
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))
sys.path.insert(0, HERE)

from desktop import Desktop  # noqa: E402
from program import ProgramRun  # noqa: E402
from search_server import SearchServer, result_page  # noqa: E402
from wine_program import WinePrefixCopy, booted_prefix, debugstr_line, wine_command  # noqa: E402

# Big enough that a message box centred on it leaves GO and STOP uncovered.
SCREEN = "1600x1000x24"
SCREEN_CENTRE = (800, 500)
TITLE = "Talewick 02"
BOX_CAPTION = "sub DisectInput"
WORD_LIST = "the\r\ncat\r\nsat\r\non\r\nmat\r\nand\r\nslept\r\n"
# Client-area points of the controls (the window is 840 by 400 at the top left).
INPUT_BOX = (100, 325)
GO_BUTTON = (590, 317)
STOP_BUTTON = (590, 340)
# Bounds of the waits: Wine starts in a few seconds, a cycle against the local
# server takes well under one.
START_TIMEOUT = 40
STEP_TIMEOUT = 15


def log(message):
    return "[%s] %s" % (TITLE, message)


class Win32Scenarios(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.exe = os.environ["TALEWICK_EXE"]
        cls.artefacts = os.environ.get("TALEWICK_E2E_DIR", HERE)
        cls.booted = booted_prefix(cls.artefacts)

    def setUp(self):
        self.server = SearchServer().start()
        self.addCleanup(self.server.stop)
        self.desktop = Desktop(SCREEN).start()
        self.addCleanup(self.desktop.stop)
        self.prefix = WinePrefixCopy(self.booted)
        self.addCleanup(self.prefix.close)
        self.run_ = None
        self.window = None

    def tearDown(self):
        if self.run_ is not None:
            if self._outcome_failed():
                self._keep_evidence()
            self.run_.cleanup()

    def _outcome_failed(self):
        result = getattr(getattr(self, "_outcome", None), "result", None)
        if result is None:
            return False
        return any(test is self for test, _ in result.errors + result.failures)

    def _keep_evidence(self):
        name = self.id().rsplit(".", 1)[-1]
        try:
            self.desktop.screenshot(os.path.join(self.artefacts, name + "-failed.png"))
        except Exception:  # evidence only; the failure itself is already reported
            pass
        sys.stderr.write("debug lines:\n  " + "\n  ".join(self.run_.log_lines()) + "\n")

    # --- steps ------------------------------------------------------------------

    def start_program(self, word_list=WORD_LIST):
        files = {} if word_list is None else {"dictionary.txt": word_list.encode("latin-1")}
        self.run_ = ProgramRun(self.exe, files=files, command=wine_command,
                               log_parser=debugstr_line)
        self.run_.start(env=self.prefix.env(self.desktop.env()), search=self.server)
        self.assertTrue(self.run_.wait_for_line(log("starting..."), START_TIMEOUT),
                        "no 'starting...' line")
        self.window = self.desktop.wait_for_window(TITLE, START_TIMEOUT)
        self.assertIsNotNone(self.window, "the main window did not appear")
        time.sleep(0.5)  # let Wine finish mapping and painting the controls

    def click(self, point):
        self.desktop.click(self.window, *point)

    def type_into_input_box(self, text):
        self.click(INPUT_BOX)
        self.desktop.type_text(text)

    def go(self, text):
        self.type_into_input_box(text)
        self.click(GO_BUTTON)

    def lines(self):
        return self.run_.log_lines()

    def wait_for(self, message, count=1, timeout=STEP_TIMEOUT):
        self.assertTrue(self.run_.wait_for_line(log(message), timeout, count),
                        "%r not logged %d time(s); log: %r" % (message, count, self.lines()))

    def search_words(self):
        prefix = log("SearchWords: ")
        return [line[len(prefix):] for line in self.lines() if line.startswith(prefix)]

    def _wait_for_new_box(self, seen):
        deadline = time.monotonic() + STEP_TIMEOUT
        while time.monotonic() < deadline:
            fresh = [w for w in self.desktop.find_windows(BOX_CAPTION) if w not in seen]
            if fresh:
                return fresh[0]
            time.sleep(0.2)
        return None

    def close_and_expect_exit_0(self):
        self.desktop.close_window(TITLE)
        self.wait_for("closing...")
        self.assertEqual(self.run_.wait_exit(STEP_TIMEOUT), 0)

    def story(self):
        return self.run_.read_file("OutPutTextFile.txt")

    def screenshot(self, name):
        path = os.path.join(self.artefacts, name)
        self.desktop.screenshot(path)
        return path

    # --- scenarios ----------------------------------------------------------------

    def test_one_cycle_then_timer_cycle(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"] * 2 +
                                                    ["ran off"]))
        self.server.set_page("on the mat", result_page("on the mat", ["and slept"]))
        self.start_program()
        self.go("the cat")
        self.assertTrue(self.server.wait_for_requests(1, STEP_TIMEOUT), "no search request")
        first = time.monotonic()
        self.assertEqual(self.server.requests[0].path,
                         "/search?hl=en&q=the%20cat+site%3Atalewick.test"
                         "&btnG=Google+Search&meta=")
        self.wait_for("all OK")
        time.sleep(0.5)  # the start-up loop paints what the cycle changed
        self.screenshot("talewick-window.png")
        self.assertTrue(self.server.wait_for_requests(2, STEP_TIMEOUT), "no timer cycle")
        second = time.monotonic()
        # GO re-arms for 3000 ms, a timer cycle for 2000 ms.
        self.assertTrue(2.5 <= second - first <= 7.0, "GO to tick: %.1f s" % (second - first))
        self.assertEqual(self.server.requests[1].words, "on the mat")
        self.assertTrue(self.server.wait_for_requests(3, STEP_TIMEOUT))
        third = time.monotonic()
        self.assertTrue(1.5 <= third - second <= 6.0, "tick to tick: %.1f s" % (third - second))
        expected = ["starting...", "GO button pressed", "DownloadString", "DisectInput",
                    "DLFControl"]
        self.assertEqual(self.lines()[:5], [log(line) for line in expected])
        self.assertEqual(self.search_words()[:2], ["the cat", "on the mat"])
        self.assertTrue(self.story().startswith(b"sat on the mat\r\nand slept\r\n"), self.story())
        self.close_and_expect_exit_0()

    def test_stop_while_waiting(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.start_program()
        self.go("the cat")
        self.wait_for("all OK")
        self.click(STOP_BUTTON)
        self.wait_for("STOP button pressed")
        time.sleep(4.0)  # past the 3000 ms of the GO cycle's timer
        self.assertEqual(self.run_.count_line(log("timer...")), 0)
        self.assertEqual(self.server.request_count(), 1)
        self.close_and_expect_exit_0()

    def test_failed_download_ends_the_chain_and_go_works_again(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.server.set_mode("http_error")
        self.start_program()
        self.go("the cat")
        self.wait_for("error downloading")
        time.sleep(4.0)
        self.assertEqual(self.run_.count_line(log("timer...")), 0)
        self.assertEqual(self.server.request_count(), 1)
        self.server.set_mode("ok")
        self.go("the cat")
        self.wait_for("GO button pressed", count=2)
        self.wait_for("all OK")
        self.assertEqual(self.server.request_count(), 2)
        self.close_and_expect_exit_0()

    def test_missing_word_list_shows_one_box_per_word(self):
        self.start_program(word_list=None)
        self.go("the cat")
        seen = []
        for number in (1, 2):
            self.wait_for("error reading file: dictonary.txt", count=number)
            box = self._wait_for_new_box(seen)
            self.assertIsNotNone(box, "message box %d did not appear" % number)
            seen.append(box)
            x, y, width, height = self.desktop.window_geometry(box)
            # Centred on the screen (within the frame's few pixels).
            self.assertLess(abs(x + width / 2 - SCREEN_CENTRE[0]), 20, (x, width))
            self.assertLess(abs(y + height / 2 - SCREEN_CENTRE[1]), 30, (y, height))
            if number == 1:
                # No owner: the main window takes clicks while the box is open.
                self.click(STOP_BUTTON)
                self.wait_for("STOP button pressed")
            else:
                # A close request handled inside the box's loop leaves the window up.
                self.desktop.close_window(TITLE)
                time.sleep(1.0)
                self.assertNotEqual(self.desktop.find_windows(TITLE), [])
                self.assertEqual(self.run_.count_line(log("closing...")), 0)
            self.desktop._run(["xdotool", "windowactivate", str(box)], check=False)
            time.sleep(0.3)
            self.desktop.key("Return")
        # The cycle then runs to its end on the lower-case input, and the program ends.
        self.wait_for("closing...")
        self.assertEqual(self.run_.wait_exit(STEP_TIMEOUT), 0)
        lines = self.lines()
        self.assertEqual(lines.count(log("error reading file: dictonary.txt")), 2)
        self.assertLess(lines.index(log("SearchWords: the cat")), lines.index(log("closing...")))

    def test_close_while_idle(self):
        self.start_program()
        self.close_and_expect_exit_0()
        self.assertEqual(self.lines(), [log("starting..."), log("closing...")])

    def test_close_during_a_cycle_lets_it_finish(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.server.set_mode("slow", delay=3.0)
        self.start_program()
        self.go("the cat")
        self.assertTrue(self.server.wait_for_requests(1, STEP_TIMEOUT))
        self.desktop.close_window(TITLE)
        time.sleep(1.0)
        # The answer is still held back: the cycle goes on, the window stays.
        self.assertEqual(self.run_.count_line(log("closing...")), 0)
        self.assertNotEqual(self.desktop.find_windows(TITLE), [])
        self.wait_for("closing...")
        self.assertEqual(self.run_.wait_exit(STEP_TIMEOUT), 0)
        self.assertEqual(self.story(), b"sat on the mat\r\n")
        lines = self.lines()
        self.assertLess(lines.index(log("all OK")), lines.index(log("closing...")))
        self.assertEqual(self.run_.count_line(log("timer...")), 0)
        self.assertEqual(self.server.request_count(), 1)

    def test_long_input_keeps_what_fits_in_the_box(self):
        words = ["w%03d" % n for n in range(1, 61)]  # 60 words, 300 characters typed
        self.start_program(word_list="\r\n".join(words) + "\r\n")
        self.type_into_input_box(" ".join(words) + " ")
        self.click(GO_BUTTON)
        self.wait_for("all OK")
        searched = self.search_words()[0].split(" ")
        self.assertEqual(len(searched), 3, searched)
        last = words.index(searched[-1])
        self.assertEqual(searched, words[last - 2:last + 1])
        # The box stops taking characters when it is full: the last word typed is lost.
        self.assertLess(last, len(words) - 1, searched)
        self.assertGreater(last, 10, searched)
        self.close_and_expect_exit_0()

    def test_hostile_page_is_read_safely(self):
        self.server.set_mode("hostile")
        self.start_program()
        self.go("the cat")
        self.wait_for("all OK")
        self.wait_for("timer...", timeout=STEP_TIMEOUT)
        story = self.story()
        self.assertIsNotNone(story)
        self.assertTrue(story.endswith(b"\r\n") and len(story) > 2, story[:200])
        self.assertNotIn(b"\x00", story)
        self.close_and_expect_exit_0()

    def test_tab_stays_in_the_text_and_enter_sends_go_once(self):
        self.start_program()
        self.type_into_input_box("the\tcat")
        self.desktop.key("Return")
        self.wait_for("GO button pressed")
        self.wait_for("DLFControl")
        time.sleep(1.0)
        self.assertEqual(self.run_.count_line(log("GO button pressed")), 1)
        # One word of seven characters, tab included; no line break reached the input.
        self.assertEqual(self.search_words()[0], "the\tcat")
        self.close_and_expect_exit_0()


if __name__ == "__main__":
    unittest.main()
