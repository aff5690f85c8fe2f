"""What a person does with the real program, on a private desktop against the
fake search service: one table of scenarios for both programs (the GTK one
natively, talewick.exe under Wine; program_<TALEWICK_PLATFORM>.py says how).
Each scenario is one ctest test:

    TALEWICK_PLATFORM=posix TALEWICK_EXE=build/linux/talewick python3 scenarios.py \\
        Scenarios.test_go_cycle_then_timer_cycles
"""

import os
import subprocess
import sys
import time

from desktop import wait_until
from fake_search import SITE
from harness import GO_BUTTON, PLACES, STOP_BUTTON, TITLE, DesktopCase, platform, run_main

BOX = "sub DisectInput"
NO_WORD_LIST = "error reading file: dictonary.txt"
# Longer than the 3 s re-arm after GO: a tick would have come by then.
QUIET_SECONDS = 4.0
# How far a window manager may place the window's frame from where it was asked to.
FRAME_SLACK = 8
# The list box's rows are 16 pixels high: 18 whole lines and part of one more
# show in the 300-pixel list.
LIST_LINES = 19


class Scenarios(DesktopCase):
    def go(self, text):
        self.type_input(text, then=None)
        self.desktop.click(self.window, *GO_BUTTON)

    def assert_chain_ended(self, requests):
        self.wait_for_quiet(QUIET_SECONDS)
        self.assertEqual(len(self.server.requests), requests, "the chain went on")

    def assert_close_waits(self):
        """A close request in the middle of a cycle leaves the program and its window be."""
        self.desktop.close(TITLE)
        time.sleep(1)
        self.assertNotIn("closing...", self.lines())
        self.assertIsNone(self.process.poll(), "the program ended in the middle of a cycle")
        self.assertIn(self.window, self.desktop.find_windows(TITLE))

    def test_window_opens_as_laid_out_and_closes(self):
        self.start_program()
        # 840 by 400 with its frame, at the top-left corner of the screen.
        frame = self.desktop.frame(self.window)
        print("frame (x, y, width, height): %s" % (frame,), file=sys.stderr)
        self.assertLessEqual(max(abs(a - b) for a, b in zip(frame, PLACES["MainWindow"])),
                             FRAME_SLACK, "the frame: %s" % (frame,))
        _, _, _, height = self.desktop.geometry(self.window)
        shot = self.desktop.screenshot(self.path("window.png"), self.window)
        for text, area in (("GO", (580, 312, 20, 8)), ("STOP", (575, 335, 30, 8)),
                           ("Status...", (2, height - 18, 60, 14))):
            self.assertLess(self.desktop.darkest(shot, *area), 0.5, text + " not shown")
        self.assertEqual(self.desktop.run(["xdotool", "getwindowname", str(self.window)]).stdout,
                         TITLE + "\n")
        self.assertIn("Icon (32 x 32)",
                      self.desktop.run(["xprop", "-id", str(self.window), "_NET_WM_ICON"]).stdout)
        self.assertEqual(self.lines(), ["starting..."])

        # The list shows as many lines as a list box of its height.
        for n in range(1, LIST_LINES + 3):
            self.type_input("row %02d" % n)
            self.wait_for("GO button pressed", count=n)
        time.sleep(0.5)
        shot = self.desktop.screenshot(self.path("lines.png"), self.window)
        x, y, _, height = PLACES["StoryList"]
        lines = self.desktop.text_lines(shot, x + 4, y + 3, 150, height - 6)
        print("lines shown in the list: %d" % lines, file=sys.stderr)
        self.assertLessEqual(abs(lines - LIST_LINES), 1, "%d lines shown" % lines)
        # It can be made as small as a Windows window, far smaller than it opened.
        self.desktop.run(["xdotool", "windowsize", str(self.window), "100", "40"])
        small = wait_until(lambda: self.desktop.frame(self.window)[2] < 200 and
                           self.desktop.frame(self.window)[3] < 100, 5)
        self.assertTrue(small, "the frame: %s" % (self.desktop.frame(self.window),))
        self.close_and_expect_exit()
        for display, message in platform.WITHOUT_DISPLAY.items():
            env = {k: v for k, v in self.env.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
            env.update({"DISPLAY": display} if display else {})
            result = subprocess.run(self.command(os.environ["TALEWICK_EXE"]), env=env,
                                    capture_output=True, text=True, timeout=30)
            self.assertEqual((result.returncode, result.stderr), (1, message))

    def test_go_cycle_then_timer_cycles(self):
        self.server.set_page("the cat", ["sat on the mat"] * 2 + ["was here"])
        self.server.set_page("on the mat", ["was warm"])
        self.start_program()
        self.type_input("the cat")
        self.assertTrue(self.server.wait_for_requests(3, 30), "no two timer cycles")
        go, tick, tock = (request.time for request in self.server.requests[:3])
        self.assertTrue(2.8 <= tick - go <= 8, "GO to tick: %.1f s" % (tick - go))
        self.assertTrue(1.8 <= tock - tick <= 6, "tick to tick: %.1f s" % (tock - tick))
        self.assertEqual(self.server.requests[0].path,
                         "/search?hl=en&q=the%20cat+site%3A" + SITE + "&btnG=Google+Search&meta=")
        self.desktop.click(self.window, *STOP_BUTTON)
        self.wait_for("STOP button pressed")

        self.assertTrue(self.read("OutPutTextFile.txt").startswith(
            b"sat on the mat\r\nwas warm\r\n"))
        self.close_and_expect_exit()

    def test_keys_as_in_a_plain_window(self):
        self.start_program()
        self.type_input("the", then="Tab")  # a character of the input, as in a plain box
        self.desktop.type("cat")
        self.desktop.key("KP_Enter")
        self.wait_for("SearchWords: the\tcat")
        self.desktop.click(self.window, *STOP_BUTTON, repeat=2)
        self.wait_for("STOP button pressed", count=2)
        self.assert_chain_ended(requests=1)

        # The clicked STOP has the focus: no key moves it on, Enter does nothing
        # there, and Space clicks it.
        self.desktop.key("Return", "KP_Enter", "Up", "Down", "Left", "Right", "Tab", "Return")
        self.wait_for_quiet(2.0)
        self.assertEqual(self.lines().count("STOP button pressed"), 2)
        self.desktop.key("space")
        self.wait_for("STOP button pressed", count=3)
        self.assertEqual(self.lines().count("GO button pressed"), 1)

        # The box still takes typing, and Enter there is GO.
        self.type_input("the cat")
        self.wait_for("SearchWords: the cat")
        self.assertEqual(self.lines().count("GO button pressed"), 2)
        self.close_and_expect_exit()

    def test_message_boxes_leave_the_main_window_usable(self):
        self.start_program(files={})
        self.type_input("the cat")
        first = self.desktop.wait_for_window(BOX, 20)
        self.assertIsNotNone(first, "no message box")
        x, y, width, height = self.desktop.geometry(first)
        screen_width, screen_height = self.desktop.size
        self.assertLess(abs(x + width / 2 - screen_width / 2), 40, "box not centred")
        self.assertLess(abs(y + height / 2 - screen_height / 2), 60, "box not centred")
        self.wait_for(NO_WORD_LIST)

        # While a box is open the main window takes clicks and a close request,
        # which ends the program only once the cycle has run to its end.
        self.desktop.click(self.window, *STOP_BUTTON)
        self.wait_for("STOP button pressed")
        self.assert_close_waits()
        self.assertEqual(self.lines().count(NO_WORD_LIST), 1)

        self.assertTrue(self.desktop.activate(first))
        self.desktop.key("Return")  # OK has the focus
        self.wait_for(NO_WORD_LIST, count=2)  # the second word's box
        self.assertIsNotNone(self.desktop.wait_for_window(BOX, 20, exclude=(first,)))
        self.desktop.close(BOX)
        self.assertEqual(self.wait_exit(30), 0)
        lines = self.lines()
        self.assertEqual(lines.count(NO_WORD_LIST), 2)
        self.assertLess(lines.index("SearchWords: the cat"), lines.index("closing..."))
        self.assertEqual(lines[-1], "closing...")
        self.assertNotIn("timer...", lines)

    def test_close_during_a_cycle_lets_it_finish(self):
        self.server.set_page("the cat", ["sat on the mat"])
        self.server.set_mode("slow", delay=3.0)
        self.start_program()
        self.go("the cat")
        self.assertTrue(self.server.wait_for_requests(1, 20), "no request")
        # Before the download the window painted the new list line and the emptied box.
        time.sleep(0.5)
        shot = self.desktop.screenshot(self.path("during.png"), self.window)
        self.assertLess(self.desktop.darkest(shot, 10, 8, 300, 20), 0.5, "list line not shown")
        self.assertGreater(self.desktop.darkest(shot, 20, 318, 300, 24), 0.9, "box not empty")

        self.assert_close_waits()  # while the answer is held back
        self.assertEqual(self.wait_exit(30), 0)
        self.assertEqual(self.lines()[-3:], [
            "message...SecondPartDLF...output that occurs the most number: 1", "sat on the mat",
            "closing..."])
        self.assertNotIn("timer...", self.lines())
        self.assertEqual(self.read("OutPutTextFile.txt"), b"sat on the mat\r\n")
        self.assertEqual(len(self.server.requests), 1)


if __name__ == "__main__":
    run_main()
