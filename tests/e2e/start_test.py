"""talewick-start as a user runs it, with the real service and program copied
into a fresh folder (the story folder) on a private desktop: a story grown from
a shelf of texts written here with --corpus, one Talewick per story folder,
and a failure shown in a message box where no terminal is there to read it.
Folders are named in letters outside the Windows code page, and the launcher is
started as Explorer starts it (through CreateProcessW on Windows): the programs
lie in a Cyrillic folder, and the shelves are "Bücher Łódź – Café" and a
Cyrillic one. The seed "café au lait" grows the same story on both platforms.

    TALEWICK_START=build/linux/talewick-start python3 start_test.py
"""

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
# before, where the same words stand before a full stop. The seed's letters are
# outside ASCII, as the Windows program sends them in its code page.
CHAIN = ["café au lait", "painted seven violet lanterns", "swayed above the copper harbor",
         "smelled of warm cinnamon bread", "fed twelve hungry pelicans",
         "sang an old sailor ballad", "woke the sleeping lighthouse keeper",
         "dreamed of purple mountains", "nobody had written any poems",
         "she asked the silver fox", "carried nine golden acorns",
         "rolled into the frozen creek", "whispered about distant summer storms"]
CHOICES = 10
BOX = "^Talewick$"  # the launcher's message box, not the window "Talewick 02"
PROGRAMS = "Игры"  # the programs' folder
SHELF, OTHER_SHELF = "Bücher Łódź – Café", "Книги"


def words(text):
    return " ".join(text.lower().split())


class StartTest(DesktopCase):
    def setUp(self):
        super().setUp()
        top = tempfile.mkdtemp(prefix="talewick-start-")
        self.addCleanup(shutil.rmtree, top, ignore_errors=True)
        self.folder, self.cwd = os.path.join(top, PROGRAMS), os.path.join(top, "cwd")
        os.makedirs(self.cwd)
        os.makedirs(self.folder)
        built, self.exe = os.path.split(os.environ["TALEWICK_START"])
        suffix = os.path.splitext(self.exe)[1]
        for name in ("talewick-start", "talewick", "talewick-search"):
            shutil.copy2(os.path.join(built, name + suffix), self.folder)
        shutil.copy2(os.path.join(built, "dictionary.txt"), self.folder)
        for name in [name for name in self.env if name.startswith("TALEWICK_SEARCH_")]:
            del self.env[name]
        # The shelves' indexes go to a cache folder of the test's own, not the user's.
        self.env["XDG_CACHE_HOME"] = os.path.join(top, "cache")

    def shelf(self, shelf, site, text):
        """The shelf's full path, with `text` in a file of its site folder."""
        os.makedirs(self.path(os.path.join(shelf, site)), exist_ok=True)
        if text:
            with open(self.path(os.path.join(shelf, site, "chain.txt")), "w",
                      encoding="utf-8") as out:
                out.write(text)
        return self.path(shelf)

    def launch(self, shelf, log=".stderr"):
        """talewick-start --corpus SHELF from another folder, its standard error (not a
        terminal) in `log`."""
        with open(self.path(log), "wb") as stderr:
            launcher = subprocess.Popen(
                platform.started_wide([self.path(self.exe), "--corpus", shelf],
                                      os.path.dirname(self.cwd)),
                cwd=self.cwd, env=self.env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=stderr)
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

    def wait_for_story(self, lines):
        deadline = time.monotonic() + 3 + 2 * lines + 60  # 3 s after GO, 2 s after a tick
        while time.monotonic() < deadline and self.story().count(b"\r\n") < lines:
            time.sleep(0.5)
        return [words(line) for line in self.story().decode().split("\r\n")[:-1]]

    def test_a_story_from_the_shelf_and_one_talewick_per_folder(self):
        shelf = self.shelf(SHELF, "mine.test", "".join(
            (" ".join(CHAIN[i - 1].split()[-3:]) + " " + CHAIN[i] + ".\n").capitalize() * 3
            for i in range(1, len(CHAIN))))
        self.desktop.run(["setxkbmap", "-layout", "us", "-variant", "altgr-intl"])  # é
        launcher = self.launch(shelf)
        self.window = self.desktop.wait_for_window(TITLE, platform.STARTUP_SECONDS)
        self.assertIsNotNone(self.window, "no window")
        time.sleep(0.5)  # let the controls be painted and take clicks
        self.type_input(CHAIN[0])
        self.assertEqual(self.wait_for_story(CHOICES)[:CHOICES], CHAIN[1:CHOICES + 1],
                         self.story())
        self.assertIn(SHELF + "-", self.read("talewick-search.log").decode())

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
        second = self.launch(shelf, ".second")
        self.assertIn("Talewick is already running", self.close_box(second, ".second"))
        self.assertIn(self.window, self.desktop.find_windows(TITLE), "not brought back")
        self.assertEqual(self.story(), last)

        # Killed outright, the first leaves no lock behind: a third grows the story
        # from a Cyrillic shelf. Nothing was ever written to the current folder.
        platform.kill(launcher, self.path(self.exe))
        self.assertTrue(self.gone(self.window), "the program outlived it")
        third = self.launch(self.shelf(OTHER_SHELF, "mine.test", "The cat sat on the mat.\n" * 3))
        self.window = self.desktop.wait_for_window(TITLE, platform.STARTUP_SECONDS)
        self.assertIsNotNone(self.window, "no window")
        time.sleep(0.5)
        self.type_input("the cat")
        self.assertEqual(self.wait_for_story(len(last.split(b"\r\n")))[-1], "sat on the mat")
        self.assertIn(OTHER_SHELF + "-", self.read("talewick-search.log").decode())
        self.desktop.close(TITLE)
        self.assertEqual(third.wait(30), 0)
        self.assertEqual(os.listdir(self.cwd), [])

    def test_a_service_that_fails_is_shown_with_its_reason(self):
        # A site folder without texts: the service ends with its reason.
        shelf = self.shelf(SHELF, "empty.test", None)
        if platform.__name__ == "program_posix":
            # A stop signal closes the box, and the launcher ends.
            launcher = self.launch(shelf, ".stopped")
            self.assertIsNotNone(self.desktop.wait_for_window(BOX, platform.STARTUP_SECONDS))
            launcher.send_signal(signal.SIGTERM)
            self.assertEqual(launcher.wait(10), 1)
            self.assertTrue(wait_until(lambda: not self.desktop.find_windows(BOX), 10))
        launcher = self.launch(shelf)
        text = self.close_box(launcher, ".stderr")
        self.assertIn("Talewick could not start its search service.", text)
        self.assertIn("no .txt files under", text)
        self.assertIsNone(self.desktop.wait_for_window(TITLE, 1), "the program was started")


if __name__ == "__main__":
    run_main()
