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

from e2e_case import TITLE, TalewickDesktopCase  # noqa: E402
from search_server import result_page  # noqa: E402
from wine_program import WinePrefixCopy, booted_prefix, debugstr_line, wine_command  # noqa: E402

BOX_CAPTION = "sub DisectInput"
# Longer than the GO cycle's 3000 ms timer: long enough to see that no tick comes.
PAST_THE_TIMER = 4.0


class Win32Scenarios(TalewickDesktopCase):
    # Big enough that a message box centred on it leaves GO and STOP uncovered.
    screen = "1600x1000x24"
    command = staticmethod(wine_command)
    log_parser = staticmethod(debugstr_line)
    startup_timeout = 40.0
    artefacts = os.environ.get("TALEWICK_E2E_DIR", HERE)

    @classmethod
    def setUpClass(cls):
        cls.booted = booted_prefix(cls.artefacts)

    def setUp(self):
        super().setUp()
        self.prefix = WinePrefixCopy(self.booted)
        self.addCleanup(self.prefix.close)

    def program_env(self):
        return self.prefix.env(self.desktop.env())

    def start_program(self, files=None):
        program = super().start_program(files)
        time.sleep(0.5)  # let Wine finish mapping and painting the controls
        return program

    def search_words(self):
        return [line[13:] for line in self.lines() if line.startswith("SearchWords: ")]

    def assert_no_tick_after(self, seconds, requests):
        time.sleep(seconds)
        self.assertNotIn("timer...", self.lines())
        self.assertEqual(self.server.request_count(), requests)

    # --- scenarios ----------------------------------------------------------------

    def test_one_cycle_then_timer_cycle(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"] * 2 + ["ran off"]))
        self.server.set_page("on the mat", result_page("on the mat", ["and slept"]))
        self.start_program()
        self.go("the cat")
        self.assertTrue(self.server.wait_for_requests(1, 15), "no search request")
        first = time.monotonic()
        self.assertEqual(self.server.requests[0].path,
                         "/search?hl=en&q=the%20cat+site%3Atalewick.test&btnG=Google+Search&meta=")
        self.wait_for("all OK")
        time.sleep(0.5)  # the start-up loop paints what the cycle changed
        self.screenshot("talewick-window.png")
        self.assertTrue(self.server.wait_for_requests(2, 15), "no timer cycle")
        second = time.monotonic()
        # GO re-arms for 3000 ms, a timer cycle for 2000 ms.
        self.assertTrue(2.5 <= second - first <= 7.0, "GO to tick: %.1f s" % (second - first))
        self.assertTrue(self.server.wait_for_requests(3, 15))
        third = time.monotonic()
        self.assertTrue(1.5 <= third - second <= 6.0, "tick to tick: %.1f s" % (third - second))
        self.assertEqual(self.lines()[:5],
                         ["starting...", "GO button pressed", "DownloadString", "DisectInput",
                          "DLFControl"])
        self.assertEqual(self.search_words()[:2], ["the cat", "on the mat"])
        story = self.program.read_file("OutPutTextFile.txt")
        self.assertTrue(story.startswith(b"sat on the mat\r\nand slept\r\n"), story)
        self.close_and_expect_exit()

    def test_failed_download_ends_the_chain_then_go_and_stop_while_waiting(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.server.set_mode("http_error")
        self.start_program()
        self.go("the cat")
        self.wait_for("error downloading")
        self.assert_no_tick_after(PAST_THE_TIMER, requests=1)
        self.server.set_mode("ok")
        self.go("the cat")
        self.wait_for("all OK")
        self.click_stop()
        self.wait_for("STOP button pressed")
        self.assert_no_tick_after(PAST_THE_TIMER, requests=2)
        self.close_and_expect_exit()

    def test_missing_word_list_shows_one_box_per_word(self):
        self.start_program(files={})
        self.go("the cat")
        seen = []
        for number in (1, 2):
            self.wait_for("error reading file: dictonary.txt", count=number)
            box = self.desktop.wait_for_window(BOX_CAPTION, 15, exclude=seen)
            self.assertIsNotNone(box, "message box %d did not appear" % number)
            seen.append(box)
            x, y, width, height = self.desktop.window_geometry(box)
            # Centred on the screen (within the frame's few pixels).
            self.assertLess(abs(x + width / 2 - 800), 20, (x, width))
            self.assertLess(abs(y + height / 2 - 500), 30, (y, height))
            if number == 1:
                # No owner: the main window takes clicks while the box is open.
                self.click_stop()
                self.wait_for("STOP button pressed")
            else:
                # A close request handled inside the box's loop leaves the window up.
                self.desktop.close_window(TITLE)
                time.sleep(1.0)
                self.assertNotEqual(self.desktop.find_windows(TITLE), [])
                self.assertNotIn("closing...", self.lines())
            self.desktop._run(["xdotool", "windowactivate", str(box)], check=False)
            time.sleep(0.3)
            self.desktop.key("Return")
        # The cycle then runs to its end on the lower-case input, and the program ends.
        self.assertEqual(self.program.wait_exit(15), 0)
        lines = self.lines()
        self.assertEqual(lines.count("error reading file: dictonary.txt"), 2)
        self.assertLess(lines.index("SearchWords: the cat"), lines.index("closing..."))

    def test_close_while_idle(self):
        self.start_program()
        self.close_and_expect_exit()
        self.assertEqual(self.lines(), ["starting...", "closing..."])

    def test_close_during_a_cycle_lets_it_finish(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.server.set_mode("slow", delay=3.0)
        self.start_program()
        self.go("the cat")
        self.assertTrue(self.server.wait_for_requests(1, 15))
        self.desktop.close_window(TITLE)
        time.sleep(1.0)
        # The answer is still held back: the cycle goes on, the window stays.
        self.assertNotIn("closing...", self.lines())
        self.assertNotEqual(self.desktop.find_windows(TITLE), [])
        self.assertEqual(self.program.wait_exit(15), 0)
        self.assertEqual(self.program.read_file("OutPutTextFile.txt"), b"sat on the mat\r\n")
        lines = self.lines()
        self.assertLess(lines.index("all OK"), lines.index("closing..."))
        self.assertNotIn("timer...", lines)
        self.assertEqual(self.server.request_count(), 1)

    def test_long_input_keeps_what_fits_in_the_box(self):
        words = ["w%03d" % n for n in range(1, 61)]  # 60 words, 300 characters typed
        self.start_program(files={"dictionary.txt": "\r\n".join(words) + "\r\n"})
        self.go(" ".join(words) + " ")
        self.wait_for("all OK")
        searched = self.search_words()[0].split(" ")
        self.assertEqual(len(searched), 3, searched)
        last = words.index(searched[-1])
        self.assertEqual(searched, words[last - 2:last + 1])
        # The box stops taking characters when it is full: the last word typed is lost.
        self.assertLess(last, len(words) - 1, searched)
        self.assertGreater(last, 10, searched)
        self.close_and_expect_exit()

    def test_hostile_page_is_read_safely(self):
        self.server.set_mode("hostile")
        self.start_program()
        self.go("the cat")
        self.wait_for("all OK")
        self.wait_for("timer...")
        story = self.program.read_file("OutPutTextFile.txt")
        self.assertTrue(story.endswith(b"\r\n") and len(story) > 2, story[:200])
        self.assertNotIn(b"\x00", story)
        self.close_and_expect_exit()

    def test_tab_stays_in_the_text_and_enter_sends_go_once(self):
        self.start_program()
        self.type_input("the\tcat", then="Return")
        self.wait_for("DLFControl")
        time.sleep(1.0)
        self.assertEqual(self.lines().count("GO button pressed"), 1)
        # One word of seven characters, tab included; no line break reached the input.
        self.assertEqual(self.search_words()[0], "the\tcat")
        self.close_and_expect_exit()


if __name__ == "__main__":
    unittest.main()
