"""End-to-end: the Linux program grows a story from "the cat" against the real
talewick-search on the shipped corpus, with the shipped word list, for at least
ten cycles; every recorded choice is a new text.

Environment: TALEWICK_EXE (the program), TALEWICK_SEARCH_EXE (the service),
TALEWICK_REPO (for corpus/ and data/dictionary.txt).
"""

import os
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))

from desktop import Desktop  # noqa: E402
from e2e_case import INPUT_BOX, PREFIX, STOP_BUTTON, TITLE, run_main  # noqa: E402
from program import ProgramRun  # noqa: E402

CYCLES = 10
SITE = "talewick.org"


class SearchService:
    """talewick-search on the shipped corpus, on a free port."""

    def __init__(self, executable, corpus):
        self.process = subprocess.Popen([executable, "--corpus", corpus, "--port", "0"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        ready = self.process.stdout.readline().strip()  # "listening on 127.0.0.1:PORT"
        if not ready.startswith("listening on "):
            self.stop()
            raise RuntimeError("talewick-search did not start: %r" % ready)
        self.host_url = "http://" + ready[len("listening on "):]

    def stop(self):
        self.process.kill()
        self.process.wait(timeout=10)


class StoryGrowthTest(unittest.TestCase):
    def test_ten_cycles_of_new_continuations_from_the_shipped_corpus(self):
        repo = os.environ["TALEWICK_REPO"]
        service = SearchService(os.environ["TALEWICK_SEARCH_EXE"], os.path.join(repo, "corpus"))
        self.addCleanup(service.stop)
        desktop = Desktop().start()
        self.addCleanup(desktop.stop)
        with open(os.path.join(repo, "data", "dictionary.txt"), "rb") as source:
            words = source.read()
        program = ProgramRun(os.environ["TALEWICK_EXE"], files={"dictionary.txt": words})
        self.addCleanup(program.cleanup)
        program.start(desktop.env(), search=service, site=SITE)
        window = desktop.wait_for_window(TITLE, 30)
        self.assertIsNotNone(window, "the main window did not appear")

        desktop.click(window, *INPUT_BOX)
        desktop.type_text("the cat")
        desktop.key("Return")
        # 3 s after GO, then 2 s after each tick, plus the downloads.
        deadline = time.monotonic() + 3 + 2 * CYCLES + 60
        story = b""
        while time.monotonic() < deadline:
            story = program.read_file("OutPutTextFile.txt") or b""
            if story.count(b"\r\n") >= CYCLES:
                break
            time.sleep(0.5)
        desktop.click(window, *STOP_BUTTON)

        choices = story.split(b"\r\n")[:-1]
        self.assertGreaterEqual(len(choices), CYCLES, "story so far: %r" % story)
        self.assertEqual(len(set(choices)), len(choices), "a choice came twice: %r" % story)
        for choice in choices:
            self.assertRegex(choice, rb"^[a-z ]{3,199}$")
        self.assertNotIn(PREFIX + "error downloading", program.log_lines())

        desktop.close_window(TITLE)
        self.assertEqual(program.wait_exit(20), 0)
        self.assertEqual(program.toolkit_faults(), [])


if __name__ == "__main__":
    run_main()
