"""The package used as a user would use it: unpacked into a fresh folder
(program_<TALEWICK_PLATFORM>.py's Package), its talewick-start started on a
private desktop with no search variables, "the cat" typed with Enter; at least
ten different choices must come from the shipped service and corpus, and
closing the window must end the launcher and its service.

    TALEWICK_PACKAGE=build/linux/talewick_0.2_amd64.deb python3 package_test.py
"""

import os
import re
import subprocess
import time
import unittest

from desktop import Desktop
from harness import INPUT_BOX, PREFIX, TITLE, platform, run_main, toolkit_faults

CYCLES = 10


def running(command):
    """The live processes whose command line holds `command`."""
    return subprocess.run(["pgrep", "-af", re.escape(command)], capture_output=True,
                          text=True).stdout


def tree(root):
    """Every path under `root` with its size and modification time."""
    return subprocess.run(["find", root, "-printf", r"%p %s %T@\n"], capture_output=True,
                          text=True, check=True).stdout


def read(path):
    with open(path, encoding="utf-8", errors="replace") as source:
        return source.read()


class PackageTest(unittest.TestCase):
    def test_the_unpacked_package_grows_a_story(self):
        desktop = self.enterContext(Desktop(platform.SCREEN))
        env = {k: v for k, v in desktop.env().items() if not k.startswith("TALEWICK_SEARCH_")}
        package = platform.Package(self, os.environ["TALEWICK_PACKAGE"], env)
        before = tree(package.untouched) if package.untouched else None
        launcher = subprocess.Popen(package.command, env=package.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.addCleanup(launcher.wait, 20)
        self.addCleanup(launcher.kill)
        window = desktop.wait_for_window(TITLE, 60)
        self.assertIsNotNone(window, "no window")

        time.sleep(0.5)  # let the controls be painted and take clicks
        desktop.click(window, *INPUT_BOX)
        desktop.type("the cat")
        desktop.key("Return")
        story_file, story = os.path.join(package.story, "OutPutTextFile.txt"), b""
        deadline = time.monotonic() + 3 + 2 * CYCLES + 60  # 3 s after GO, 2 s after a tick
        while time.monotonic() < deadline and story.count(b"\r\n") < CYCLES:
            time.sleep(0.5)
            if os.path.exists(story_file):
                with open(story_file, "rb") as source:
                    story = source.read()
        self.assertGreaterEqual(len(set(story.split(b"\r\n")[:-1])), CYCLES, story)

        desktop.close(TITLE)
        _, stderr = launcher.communicate(timeout=30)
        self.assertEqual((launcher.returncode, stderr), (0, ""))
        self.assertEqual(running(package.service), "")
        if before is not None:
            self.assertEqual(tree(package.untouched), before, "written under the package")
        package.check(self)
        log = read(os.path.join(package.story, "talewick.log"))
        self.assertEqual(log.splitlines()[0], PREFIX + "starting...")
        self.assertNotIn(PREFIX + "error downloading", log)
        self.assertEqual(toolkit_faults(log), [])
        self.assertIn(" 200 results=", read(os.path.join(package.story, "talewick-search.log")))


if __name__ == "__main__":
    run_main()
