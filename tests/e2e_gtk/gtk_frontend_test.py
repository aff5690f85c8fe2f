"""End-to-end tests of the GTK program: the real window under Xvfb and openbox,
driven with xdotool and wmctrl as a person would, against the local search
server. Each test class is one ctest test (see CMakeLists.txt)."""

import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e_support"))

from e2e_case import TITLE, TalewickDesktopCase, run_main  # noqa: E402
from search_server import SITE, result_page  # noqa: E402

# Seconds to wait before deciding that something did not happen.
QUIET_SECONDS = 5.0


def cycle_lines(host, folder, words, found, choice, best):
    """The diagnostic lines of one successful cycle, from DownloadString on."""
    lines = [
        "DownloadString",
        "DisectInput",
        "DLFControl",
        "SearchWords: " + words,
        "SearchString: %s/search?hl=en&q=%s+site%%3A%s&btnG=Google+Search&meta=" % (host, words,
                                                                                  SITE),
        "DownloadFile: " + os.path.join(folder, "googleblog.htm"),
        "DownLoadFile",
        "download sofar OK...",
        "all OK",
        "SecondPartDLF",
        "message...SecondPartDLF...SearchWords: <b>%s</b>" % words,
    ]
    for candidate in found:
        lines += ["message...SecondPartDLF", candidate]
    lines += ["message...SecondPartDLF...output that occurs the most number: %d" % best, choice]
    return lines


class CycleTest(TalewickDesktopCase):
    def setUp(self):
        super().setUp()
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"] * 2 + ["was here"]))
        self.server.set_page("on the mat", result_page("on the mat", ["was warm"]))

    def test_go_cycle_then_timer_cycle(self):
        program = self.start_program()
        x, y, width, height = self.desktop.window_geometry(self.window)
        self.assertEqual((width, height), (840, 400))
        self.assertLess(max(x, y), 60, "the window is not at the top-left corner")
        self.assertEqual(self.desktop.window_title(self.window), TITLE)
        self.assertIn("Icon (32 x 32)", self.desktop.window_property(self.window, "_NET_WM_ICON"))

        self.type_input("the cat", then="Return")
        self.wait_for("timer...", timeout=20)
        self.wait_for("message...SecondPartDLF...output that occurs the most number: 1")
        self.click_stop()
        self.wait_for("STOP button pressed")

        folder = os.path.realpath(program.folder)
        host = self.server.host_url
        lines = self.lines()
        go = lines.index("GO button pressed")
        tick = lines.index("timer...")
        self.assertEqual(lines[:go], ["starting..."])
        self.assertEqual(
            lines[go + 1:tick],
            cycle_lines(host, folder, "the cat", ["sat on the mat", "sat on the mat", "was here"],
                        "sat on the mat", 2))
        self.assertEqual(lines[tick + 1:tick + 16],
                         cycle_lines(host, folder, "on the mat", ["was warm"], "was warm", 1))
        self.assertEqual(program.read_file("OutPutTextFile.txt"), b"sat on the mat\r\nwas warm\r\n")

        # The tick comes 3 s after the GO cycle.
        first, second = self.server.requests[0], self.server.requests[1]
        self.assertEqual((first.words, second.words), ("the cat", "on the mat"))
        self.assertGreaterEqual(second.time - first.time, 2.8)
        self.assertLess(second.time - first.time, 10.0)

        shot = self.screenshot("main_window.png")
        self.assertGreater(os.path.getsize(shot), 1000)
        self.close_and_expect_exit()

    def test_keys_as_in_a_plain_window(self):
        self.start_program()
        self.desktop.click(self.window, 100, 330)
        self.desktop.type_text("the")
        self.desktop.key("Tab")
        self.desktop.type_text("cat")
        self.desktop.key("KP_Enter")
        self.wait_for("SearchWords: the\tcat")
        self.click_stop(repeat=2)
        self.wait_for("STOP button pressed", count=2)
        self.assertEqual(self.lines().count("GO button pressed"), 1)

        # The clicked STOP has the focus: Enter does nothing there, and no key moves
        # the focus on to GO; Space clicks STOP, as on Windows.
        self.desktop.key("Return", "KP_Enter", "Up", "Down", "Left", "Right", "Tab", "Return")
        self.assertTrue(self.program.wait_for_quiet(2.0, timeout=20))
        self.assertEqual(self.lines().count("STOP button pressed"), 2)
        self.desktop.key("space")
        self.wait_for("STOP button pressed", count=3)
        self.assertEqual(self.lines().count("GO button pressed"), 1)

        # The box still takes typing, and Enter there is GO.
        self.type_input("the cat", then="Return")
        self.wait_for("GO button pressed", count=2)
        self.wait_for("SearchWords: the cat")
        self.close_and_expect_exit()


class FailedDownloadTest(TalewickDesktopCase):
    def assert_chain_ended(self, requests):
        self.assertTrue(self.program.wait_for_quiet(QUIET_SECONDS, timeout=30))
        self.assertNotIn("timer...", self.lines())
        self.assertEqual(self.server.request_count(), requests)

    def test_failed_download_ends_chain_then_go_and_stop_while_waiting(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.server.set_mode("http_error")
        self.start_program()
        self.type_input("the cat", then="Return")
        self.wait_for("error downloading")
        self.wait_for("SecondPartDLF")  # the later stage still runs in that cycle
        self.assert_chain_ended(requests=1)

        self.server.set_mode("ok")
        self.go("the cat")
        self.wait_for("sat on the mat", count=2)  # the candidate, then the choice
        self.click_stop()
        self.wait_for("STOP button pressed")
        self.assert_chain_ended(requests=2)
        self.close_and_expect_exit()


class MissingDictionaryTest(TalewickDesktopCase):
    BOX = "sub DisectInput"

    def test_one_box_per_word_and_main_window_stays_usable(self):
        self.start_program(files={})
        self.type_input("the cat", then="Return")
        box = self.desktop.wait_for_window(self.BOX, 20)
        self.assertIsNotNone(box, "no message box")
        x, y, width, height = self.desktop.window_geometry(box)
        screen_width, screen_height = (int(v) for v in self.desktop.screen.split("x")[:2])
        self.assertLess(abs(x + width / 2 - screen_width / 2), 40, "box not centred")
        self.assertLess(abs(y + height / 2 - screen_height / 2), 60, "box not centred")
        self.wait_for("error reading file: dictonary.txt")

        # While the box is open the main window still takes clicks and a close request.
        self.click_stop()
        self.wait_for("STOP button pressed")
        self.desktop.close_window(TITLE)
        time.sleep(1)
        self.assertTrue(self.program.running(), "the box must be dismissed first")
        self.assertEqual(self.lines().count("error reading file: dictonary.txt"), 1)

        self.desktop.close_window(self.BOX)  # dismiss the first box: the second word's follows
        self.wait_for("error reading file: dictonary.txt", count=2)
        second = self.desktop.wait_for_window(self.BOX, 20, exclude=(box,))
        self.assertIsNotNone(second, "no second box")
        self.assertTrue(self.desktop.activate(second))
        self.desktop.key("Return")  # OK has the focus in the box

        self.assertEqual(self.program.wait_exit(30), 0)
        lines = self.lines()
        self.assertEqual(lines.count("error reading file: dictonary.txt"), 2)
        self.assertEqual(lines[-1], "closing...")
        self.assertNotIn("timer...", lines)


class CloseTest(TalewickDesktopCase):
    def test_close_while_idle(self):
        self.start_program()
        self.close_and_expect_exit()
        self.assertEqual(self.lines(), ["starting...", "closing..."])

    def test_close_during_cycle_lets_it_finish(self):
        self.server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        self.server.set_mode("slow", delay=2.0)
        program = self.start_program()
        self.type_input("the cat", then="Return")
        self.assertTrue(self.server.wait_for_requests(1, 20), "no request")
        # The pump before the stages painted the new list line and the emptied box.
        time.sleep(0.5)
        shot = self.desktop.screenshot(os.path.join(program.folder, "during.png"), self.window)
        self.assertLess(self.desktop.darkest(shot, 10, 8, 300, 20), 0.5, "list line not shown")
        self.assertGreater(self.desktop.darkest(shot, 20, 318, 300, 24), 0.9, "input box not empty")
        self.desktop.close_window(TITLE)  # while the download is under way
        self.assertEqual(program.wait_exit(30), 0)
        lines = self.lines()
        self.assertEqual(lines[-3:], ["message...SecondPartDLF...output that occurs the most number: 1",
                                      "sat on the mat", "closing..."])
        self.assertNotIn("timer...", lines)
        self.assertEqual(program.read_file("OutPutTextFile.txt"), b"sat on the mat\r\n")


class HostileInputTest(TalewickDesktopCase):
    def test_long_input_and_page_with_nul_bytes_and_2mb_line(self):
        self.server.set_mode("hostile")
        program = self.start_program()
        text = ("the cat sat on the mat " * 14)[:300]
        self.type_input(text, then="Return")
        self.wait_for("GO button pressed")
        self.wait_for("all OK", timeout=30)
        # The chosen text comes from the ordinary snippets after the junk, and
        # the chain goes on with a timer cycle.
        self.wait_for("goes on and on", timeout=30, count=2)
        self.wait_for("timer...", timeout=20)
        self.wait_for("all OK", timeout=30, count=2)
        self.click_stop()
        self.wait_for("STOP button pressed")
        self.assertTrue(self.program.running())
        search = [line for line in self.lines() if line.startswith("SearchWords: ")][0]
        self.assertLessEqual(len(search) - len("SearchWords: "), 254)
        self.assertIn(b"goes on and on\r\n", program.read_file("OutPutTextFile.txt"))
        self.close_and_expect_exit()


class NoDisplayTest(unittest.TestCase):
    def test_without_a_display_the_program_says_so_and_fails(self):
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        for display, message in ((":99", b"talewick: cannot open display ':99'\n"),
                                 (None, b"talewick: cannot open display (DISPLAY is not set)\n")):
            if display:
                env["DISPLAY"] = display
            else:
                env.pop("DISPLAY", None)
            result = subprocess.run([os.environ["TALEWICK_EXE"]], env=env, capture_output=True,
                                    timeout=30)
            self.assertEqual((result.returncode, result.stderr), (1, message))


if __name__ == "__main__":
    run_main()
