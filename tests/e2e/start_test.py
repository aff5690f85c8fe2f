"""talewick-start as a user runs it, with the real service and program copied
into a fresh folder (the story folder) on a private desktop: a story grown from
a shelf of texts written here with --corpus, one Talewick per story folder,
and a failure shown in a message box where no terminal is there to read it.

    TALEWICK_START=build/linux/talewick-start python3 start_test.py
"""

import glob
import os
import shutil
import signal
import subprocess
import tempfile
import time

from desktop import wait_until
from harness import STOP_BUTTON, TITLE, DesktopCase, platform, run_main

# Each sentence goes on from the last three words of the one before, so the
# story walks the chain; three copies of it outweigh the bare end of the one
# before, where the same words stand before a full stop.
CHAIN = ["the cat", "painted seven violet lanterns", "swayed above the copper harbor",
         "smelled of warm cinnamon bread", "fed twelve hungry pelicans",
         "sang an old sailor ballad", "woke the sleeping lighthouse keeper",
         "dreamed of purple mountains", "nobody had written any poems",
         "she asked the silver fox", "carried nine golden acorns",
         "rolled into the frozen creek", "whispered about distant summer storms"]
CHOICES = 10
BOX = "^Talewick$"  # the launcher's message box, not the window "Talewick 02"


def words(text):
    return " ".join(text.lower().split())


class StartTest(DesktopCase):
    def setUp(self):
        super().setUp()
        self.folder = tempfile.mkdtemp(prefix="talewick-start-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        built, self.exe = os.path.split(os.environ["TALEWICK_START"])
        suffix = os.path.splitext(self.exe)[1]
        for name in ("talewick-start", "talewick", "talewick-search"):
            shutil.copy2(os.path.join(built, name + suffix), self.folder)
        shutil.copy2(os.path.join(built, "dictionary.txt"), self.folder)
        self.shipped = ""
        for text in glob.glob(os.path.join(built, "corpus", "*", "*.txt")):
            with open(text, encoding="utf-8") as source:
                self.shipped += words(source.read()) + " "
        for name in [name for name in self.env if name.startswith("TALEWICK_SEARCH_")]:
            del self.env[name]

    def shelf(self, site, text):
        os.makedirs(self.path(os.path.join("shelf", site)), exist_ok=True)
        if text:
            with open(self.path(os.path.join("shelf", site, "chain.txt")), "w") as out:
                out.write(text)

    def launch(self, log=".stderr"):
        """talewick-start --corpus shelf, its standard error (not a terminal) in `log`."""
        with open(self.path(log), "wb") as stderr:
            launcher = subprocess.Popen(self.command(self.path(self.exe)) + ["--corpus", "shelf"],
                                        cwd=self.folder, env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=stderr)
        self.addCleanup(lambda: launcher.poll() is None and launcher.kill())
        return launcher

    def close_box(self, launcher, log):
        """The message box is open while the launcher waits; closing it ends the launcher
        with status 1. Its text, as the launcher also writes it on standard error."""
        box = self.desktop.wait_for_window(BOX, platform.STARTUP_SECONDS)
        self.assertIsNotNone(box, "no message box")
        time.sleep(1)
        self.assertIsNone(launcher.poll(), "the launcher did not wait for the box")
        self.desktop.run(["wmctrl", "-F", "-c", "Talewick"])
        self.assertEqual(launcher.wait(30), 1)
        return self.read(log).decode(errors="replace")

    def story(self):
        return self.read("OutPutTextFile.txt") or b""

    def gone(self, window):
        return wait_until(lambda: window not in self.desktop.find_windows(TITLE), 20)

    def test_a_story_from_the_shelf_and_one_talewick_per_folder(self):
        self.shelf("mine.test", "".join(
            (" ".join(CHAIN[i - 1].split()[-3:]) + " " + CHAIN[i] + ".\n").capitalize() * 3
            for i in range(1, len(CHAIN))))
        launcher = self.launch()
        self.window = self.desktop.wait_for_window(TITLE, platform.STARTUP_SECONDS)
        self.assertIsNotNone(self.window, "no window")
        time.sleep(0.5)  # let the controls be painted and take clicks
        self.type_input("the cat")
        deadline = time.monotonic() + 3 + 2 * CHOICES + 60  # 3 s after GO, 2 s after a tick
        while time.monotonic() < deadline and self.story().count(b"\r\n") < CHOICES:
            time.sleep(0.5)
        chosen = {words(line) for line in self.story().decode().split("\r\n")[:-1]}
        self.assertGreaterEqual(len(chosen), CHOICES, self.story())
        shelf = words(" ".join(CHAIN))
        for text in chosen:
            self.assertIn(text, shelf)
            self.assertNotIn(text, self.shipped)

        # A second launcher on the folder shows the window of the first and says why
        # it goes, and the story stays as the first one left it.
        # STOP pressed during a cycle leaves the timer to be armed at its end: twice.
        for _ in range(2):
            self.desktop.click(self.window, *STOP_BUTTON)
            time.sleep(1.5)
        last, since, deadline = None, time.monotonic(), time.monotonic() + 30
        while time.monotonic() - since < 4 and time.monotonic() < deadline:
            if self.story() != last:
                last, since = self.story(), time.monotonic()
            time.sleep(0.2)
        self.desktop.run(["xdotool", "windowminimize", str(self.window)])
        self.assertTrue(self.gone(self.window), "not minimised")
        second = self.launch(".second")
        self.assertIn("Talewick is already running", self.close_box(second, ".second"))
        self.assertIn(self.window, self.desktop.find_windows(TITLE), "not brought back")
        self.assertEqual(self.story(), last)

        # Killed outright, the first leaves no lock behind.
        launcher.kill()
        launcher.wait(10)
        self.assertTrue(self.gone(self.window), "the program outlived it")
        third = self.launch(".third")
        self.assertIsNotNone(self.desktop.wait_for_window(TITLE, platform.STARTUP_SECONDS))
        self.desktop.close(TITLE)
        self.assertEqual(third.wait(30), 0)

    def test_a_service_that_fails_is_shown_with_its_reason(self):
        # A site folder without texts: the service ends with its reason.
        self.shelf("empty.test", None)
        if platform.__name__ == "program_posix":
            # A stop signal closes the box, and the launcher ends.
            launcher = self.launch(".stopped")
            self.assertIsNotNone(self.desktop.wait_for_window(BOX, platform.STARTUP_SECONDS))
            launcher.send_signal(signal.SIGTERM)
            self.assertEqual(launcher.wait(10), 1)
            self.assertTrue(wait_until(lambda: not self.desktop.find_windows(BOX), 10))
        launcher = self.launch()
        text = self.close_box(launcher, ".stderr")
        self.assertIn("Talewick could not start its search service.", text)
        self.assertIn("no .txt files under", text)
        self.assertIsNone(self.desktop.wait_for_window(TITLE, 1), "the program was started")


if __name__ == "__main__":
    run_main()
