"""How the end-to-end tests run the Linux programs: the GTK program natively,
its debug lines on its standard error, and the .deb unpacked into a root that
the user who runs it cannot write to."""

import contextlib
import os
import pwd
import shutil
import subprocess
import tempfile

SCREEN = "1920x1080x24"
STARTUP_SECONDS = 30.0
# What the program says, with exit code 1, when it cannot open its display.
WITHOUT_DISPLAY = {":99": "talewick: cannot open display ':99'\n",
                   None: "talewick: cannot open display (DISPLAY is not set)\n"}
PACKAGE_USER = "talewick-e2e"


@contextlib.contextmanager
def session(env):
    """The environment and command line for programs of one test."""
    yield env, lambda exe: [exe]


def debug_line(raw):
    return raw if raw.startswith("[Talewick 02] ") else None


def started_wide(argv, folder):
    """`argv` as it stands: a POSIX command line carries any letters."""
    return argv


def kill(process, exe):
    process.kill()
    process.wait(10)


class Package:
    """The .deb unpacked into a temporary root and run by a normal user with a
    fresh HOME, whose stories go to ~/.local/share/talewick."""

    def __init__(self, case, path):
        if os.geteuid() != 0:
            case.skipTest("needs root, to run the package as another user")
        try:
            pwd.getpwnam(PACKAGE_USER)
        except KeyError:
            subprocess.run(["useradd", "--system", "--no-create-home", PACKAGE_USER], check=True)
            case.addCleanup(subprocess.run, ["userdel", PACKAGE_USER], check=False)
        self.root, home = tempfile.mkdtemp(prefix="talewick-deb-"), tempfile.mkdtemp()
        for folder in (self.root, home):
            case.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        os.chmod(self.root, 0o755)
        shutil.chown(home, PACKAGE_USER)
        subprocess.run(["dpkg-deb", "-x", path, self.root], check=True)
        self.story = os.path.join(home, ".local", "share", "talewick")
        self.service = os.path.join(self.root, "usr", "bin", "talewick-search")
        self.untouched = self.root
        user_env = {"DISPLAY": case.env["DISPLAY"], "HOME": home, "PATH": "/usr/bin:/bin",
                    "NO_AT_BRIDGE": "1", "GDK_BACKEND": "x11", "LANG": "C.UTF-8"}
        self.command = (["runuser", "-u", PACKAGE_USER, "--", "env", "-i"] +
                        ["%s=%s" % item for item in user_env.items()] +
                        [os.path.join(self.root, "usr", "bin", "talewick-start")])
        self.env = None

    def check(self, case):
        """Nothing more: how the word list is seeded is the story-folder test's."""
