"""End-to-end: the GTK program against search servers that misbehave. One good
cycle stores a page; then every hostile answer in turn (no answer, headers then
nothing, 100 MB with and without a length, redirects to file:// and ftp://,
429 and 503 with a body) must give "error downloading", end the chain (no further
"timer..." line) and leave the good page in "googleblog.htm"; the program stays
usable for the next GO and ends with exit code 0.

The program's download time-outs are shortened to 3 s through
TALEWICK_DOWNLOAD_TIMEOUT_MS, so the two silent servers cost seconds, not minutes.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))

from e2e_case import TalewickDesktopCase, run_main  # noqa: E402
from hostile_server import HOSTILE_MODES, QUIET_SECONDS, TIMEOUT_MS, serve_hostile  # noqa: E402
from search_server import result_page  # noqa: E402


class HostileServerScenario:
    """The scenario, mixed into the desktop test case of either program."""

    def setUp(self):
        super().setUp()
        self.hostile = serve_hostile(self)

    def test_every_hostile_answer_fails_the_download_and_keeps_the_last_good_page(self):
        good_page = result_page("the cat", ["sat on the mat"])
        self.hostile.set_page(good_page)
        self.start_program()
        self.type_input("the cat", then="Return")
        self.wait_for("all OK")
        self.assertEqual(self.program.read_file("googleblog.htm"), good_page)

        # From now on every answer is hostile, with a page that would give another choice.
        self.hostile.set_page(result_page("the cat", ["ran off"]) +
                              result_page("sat on the mat", ["ran off"]))
        for number, mode in enumerate(HOSTILE_MODES):
            with self.subTest(mode=mode):
                self.hostile.set_mode(mode)
                if number > 0:  # the first hostile answer meets the timer's cycle
                    self.type_input("the cat", then="Return")
                self.wait_for("error downloading", timeout=TIMEOUT_MS / 1000 + 30,
                              count=number + 1)
                timers = self.lines().count("timer...")
                self.assertTrue(self.program.wait_for_quiet(QUIET_SECONDS, timeout=30))
                self.assertEqual(self.lines().count("timer..."), timers,
                                 "the chain went on after a failed download")
                self.assertEqual(self.program.read_file("googleblog.htm"), good_page)
                self.assertNotIn("ran off", self.lines())
                self.assertTrue(self.program.running())
        self.assertEqual(self.lines().count("all OK"), 1)
        self.close_and_expect_exit()


class HostileServerTest(HostileServerScenario, TalewickDesktopCase):
    pass


if __name__ == "__main__":
    run_main()
