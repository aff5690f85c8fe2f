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

from harness import PREFIX, TITLE, DesktopCase, platform, run_main, toolkit_faults

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


class PackageTest(DesktopCase):
    def test_the_unpacked_package_grows_a_story(self):
        for name in [name for name in self.env if name.startswith("TALEWICK_SEARCH_")]:
            del self.env[name]
        package = platform.Package(self, os.environ["TALEWICK_PACKAGE"])
        before = tree(package.untouched)
        launcher = subprocess.Popen(package.command, env=package.env, stdin=subprocess.DEVNULL,
                                    stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        self.addCleanup(launcher.wait, 20)
        self.addCleanup(launcher.kill)
        self.window = self.desktop.wait_for_window(TITLE, 60)
        self.assertIsNotNone(self.window, "no window")
        time.sleep(0.5)  # let the controls be painted and take clicks
        self.type_input("the cat")
        story_file, story = os.path.join(package.story, "OutPutTextFile.txt"), b""
        deadline = time.monotonic() + 3 + 2 * CYCLES + 60  # 3 s after GO, 2 s after a tick
        while time.monotonic() < deadline and story.count(b"\r\n") < CYCLES:
            time.sleep(0.5)
            if os.path.exists(story_file):
                with open(story_file, "rb") as source:
                    story = source.read()
        self.assertGreaterEqual(len(set(story.split(b"\r\n")[:-1])), CYCLES, story)

        self.desktop.close(TITLE)
        _, stderr = launcher.communicate(timeout=30)
        self.assertEqual((launcher.returncode, stderr), (0, ""))
        self.assertEqual(running(package.service), "")
        self.assertEqual(tree(package.untouched), before, "written into the installed folder")
        package.check(self)
        log = read(os.path.join(package.story, "talewick.log"))
        self.assertEqual(log.splitlines()[0], PREFIX + "starting...")
        self.assertNotIn(PREFIX + "error downloading", log)
        self.assertEqual(toolkit_faults(log), [])
        self.assertIn(" 200 results=", read(os.path.join(package.story, "talewick-search.log")))


if __name__ == "__main__":
    run_main()
