"""End-to-end: each package used as a user would use it. The package is unpacked
into a fresh folder, its talewick-start is started on a private desktop with no
search variables, "the cat" is typed with Enter, and at least ten different
choices must come from the shipped service and corpus; closing the window
must end the launcher and its service.

    python3 package_test.py DebPackage    TALEWICK_PACKAGE=talewick_V_amd64.deb
    python3 package_test.py WindowsZip    TALEWICK_PACKAGE=talewick-V-win64.zip
                                          TALEWICK_E2E_DIR=<booted Wine prefix folder>
"""

import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_win32"))

from desktop import Desktop  # noqa: E402
from e2e_case import INPUT_BOX, TITLE, run_main  # noqa: E402
from wine_program import WINE, WinePrefixCopy, booted_prefix  # noqa: E402

CYCLES = 10
USER = "talewick-e2e"
PACKAGE = os.environ.get("TALEWICK_PACKAGE", "")
SEARCH_VARIABLES = ("TALEWICK_SEARCH_HOST", "TALEWICK_SEARCH_SITE")


def running_commands(fragment):
    """Command lines of the live processes that mention `fragment`."""
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as source:
                command = source.read().replace(b"\0", b" ").decode(errors="replace")
        except OSError:
            continue
        if fragment in command:
            found.append(command)
    return found


def tree(root):
    """Every path under `root` with its size and modification time."""
    return {os.path.join(folder, name): (os.lstat(os.path.join(folder, name)).st_size,
                                         os.lstat(os.path.join(folder, name)).st_mtime_ns)
            for folder, folders, files in os.walk(root) for name in folders + files}


class PackageCase(unittest.TestCase):
    def setUp(self):
        self.assertTrue(os.path.isfile(PACKAGE), "no package: %r" % PACKAGE)
        self.desktop = Desktop().start()
        self.addCleanup(self.desktop.stop)
        self.launcher = None

    def start(self, command, env, story_path):
        self.story_path = story_path
        self.launcher = subprocess.Popen(command, env=env, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        self.addCleanup(self.stop_launcher)
        self.window = self.desktop.wait_for_window(TITLE, 60)
        self.assertIsNotNone(self.window, "no window; the launcher said %r" % self.stderr())

    def stderr(self):
        if self.launcher.poll() is None:
            return "(still running)"
        return self.launcher.stderr.read().decode(errors="replace")

    def stop_launcher(self):
        if self.launcher.poll() is None:
            self.launcher.kill()
        self.launcher.wait(20)
        self.launcher.stderr.close()

    def grow_story(self):
        """Types "the cat" and Enter; the choices once there are CYCLES of them."""
        time.sleep(0.5)  # let the controls be painted and take clicks
        self.desktop.click(self.window, *INPUT_BOX)
        self.desktop.type_text("the cat")
        self.desktop.key("Return")
        # 3 s after GO, then 2 s after each tick, plus the downloads.
        deadline = time.monotonic() + 3 + 2 * CYCLES + 60
        story = b""
        while time.monotonic() < deadline and story.count(b"\r\n") < CYCLES:
            time.sleep(0.5)
            if os.path.exists(self.story_path):
                with open(self.story_path, "rb") as source:
                    story = source.read()
        choices = story.split(b"\r\n")[:-1]
        self.assertGreaterEqual(len(set(choices)), CYCLES, "story so far: %r" % story)
        return choices

    def close_and_expect_end(self, service):
        self.desktop.close_window(TITLE)
        try:
            status = self.launcher.wait(30)
        except subprocess.TimeoutExpired:
            status = None
        self.assertEqual(status, 0, "the launcher said %r" % self.stderr())
        self.assertEqual(running_commands(service), [])


class DebPackage(PackageCase):
    """The .deb unpacked into a temporary root, run by a user who cannot write there."""

    def setUp(self):
        if os.geteuid() != 0:
            self.skipTest("needs root, to run the package as another user")
        super().setUp()
        try:
            pwd.getpwnam(USER)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", USER], check=True)
            self.addCleanup(subprocess.run, ["userdel", USER], check=False)
        self.root = tempfile.mkdtemp(prefix="talewick-deb-")
        self.addCleanup(shutil.rmtree, self.root, ignore_errors=True)
        os.chmod(self.root, 0o755)
        subprocess.run(["dpkg-deb", "-x", PACKAGE, self.root], check=True)
        self.home = tempfile.mkdtemp(prefix="talewick-home-")
        self.addCleanup(shutil.rmtree, self.home, ignore_errors=True)
        shutil.chown(self.home, USER)

    def test_a_user_grows_a_story_in_their_own_folder(self):
        before = tree(self.root)
        env = {"DISPLAY": self.desktop.display, "HOME": self.home, "PATH": "/usr/bin:/bin",
               "NO_AT_BRIDGE": "1", "GDK_BACKEND": "x11", "LANG": "C.UTF-8"}
        story = os.path.join(self.home, ".local", "share", "talewick")
        launcher = os.path.join(self.root, "usr", "bin", "talewick-start")
        self.start(["runuser", "-u", USER, "--", "env", "-i"] +
                   ["%s=%s" % item for item in env.items()] + [launcher], None,
                   os.path.join(story, "OutPutTextFile.txt"))
        self.grow_story()
        self.close_and_expect_end(os.path.join(self.root, "usr", "bin", "talewick-search"))

        self.assertEqual(tree(self.root), before, "something was written under the package")
        with open(os.path.join(story, "dictionary.txt"), "rb") as seeded, \
                open(os.path.join(self.root, "usr/share/talewick/dictionary.txt"), "rb") as shipped:
            self.assertEqual(seeded.read(), shipped.read())
        with open(os.path.join(story, "talewick.log"), encoding="utf-8") as log:
            lines = log.read().splitlines()
        self.assertEqual(lines[0], "[Talewick 02] starting...")
        self.assertNotIn("[Talewick 02] error downloading", lines)
        with open(os.path.join(story, "talewick-search.log"), encoding="utf-8") as log:
            self.assertIn(" 200 results=", log.read())


class WindowsZip(PackageCase):
    """The zip unpacked into a fresh folder and started under Wine."""

    def setUp(self):
        super().setUp()
        self.prefix = WinePrefixCopy(booted_prefix(os.environ["TALEWICK_E2E_DIR"]))
        self.addCleanup(self.prefix.close)
        self.folder = tempfile.mkdtemp(prefix="talewick-zip-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        with zipfile.ZipFile(PACKAGE) as archive:
            archive.extractall(self.folder)
        (top,) = os.listdir(self.folder)
        self.folder = os.path.join(self.folder, top)

    def test_the_unpacked_folder_grows_a_story(self):
        env = self.prefix.env(self.desktop.env())
        env["WINEDEBUG"] = "-all"
        for name in SEARCH_VARIABLES:
            env.pop(name, None)
        self.start([WINE, os.path.join(self.folder, "talewick-start.exe")], env,
                   os.path.join(self.folder, "OutPutTextFile.txt"))
        self.grow_story()
        artefacts = os.environ["TALEWICK_E2E_DIR"]
        self.desktop.screenshot(os.path.join(artefacts, "windows-package-story.png"), self.window)
        self.close_and_expect_end("talewick-search.exe")
        # The program's debug lines, taken from the debug-output channel.
        with open(os.path.join(self.folder, "talewick.log"), encoding="latin-1") as log:
            self.assertEqual(log.readline().rstrip("\r\n"), "[Talewick 02] starting...")


if __name__ == "__main__":
    run_main()
