"""End-to-end under Wine: talewick.exe against search servers that misbehave,
as hostile_server_e2e_test.py does for the GTK program. One good cycle stores a
page; then each hostile answer must give "error downloading", end the chain (no
further "timer..." line) and leave the good page in "googleblog.htm".

Environment as for tests/e2e_win32: TALEWICK_EXE and TALEWICK_E2E_DIR.
"""

import os
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_win32"))

import unittest  # noqa: E402

from hostile_server import HOSTILE_MODES, QUIET_SECONDS, TIMEOUT_MS, serve_hostile  # noqa: E402
from search_server import result_page  # noqa: E402
from test_win32_window import Win32Scenarios  # noqa: E402


class Win32HostileServers(Win32Scenarios):
    def setUp(self):
        super().setUp()
        self.hostile = serve_hostile(self)

    def test_every_hostile_answer_fails_the_download_and_keeps_the_last_good_page(self):
        good_page = result_page("the cat", ["sat on the mat"])
        self.hostile.set_page(good_page)
        self.start_program()
        self.go("the cat")
        self.wait_for("all OK")
        self.assertEqual(self.run_.read_file("googleblog.htm"), good_page)

        self.hostile.set_page(result_page("the cat", ["ran off"]) +
                              result_page("sat on the mat", ["ran off"]))
        for number, mode in enumerate(HOSTILE_MODES):
            with self.subTest(mode=mode):
                self.hostile.set_mode(mode)
                if number > 0:  # the first hostile answer meets the timer's cycle
                    self.go("the cat")
                self.wait_for("error downloading", count=number + 1,
                              timeout=TIMEOUT_MS / 1000 + 30)
                timers = self.run_.count_line("[Talewick 02] timer...")
                time.sleep(QUIET_SECONDS)
                self.assertEqual(self.run_.count_line("[Talewick 02] timer..."), timers,
                                 "the chain went on after a failed download")
                self.assertEqual(self.run_.read_file("googleblog.htm"), good_page)
                self.assertTrue(self.run_.running())
        self.assertEqual(self.run_.count_line("[Talewick 02] all OK"), 1)
        self.close_and_expect_exit_0()


if __name__ == "__main__":
    unittest.main(verbosity=2)
