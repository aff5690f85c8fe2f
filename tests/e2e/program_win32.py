"""How the end-to-end tests run the Windows programs: under Wine, in a copy of a
prefix booted once per build folder (TALEWICK_E2E_DIR), with the program's
OutputDebugStringA lines read from Wine's +debugstr channel on standard error,
and the zip unpacked into a fresh folder.

    python3 program_win32.py boot FOLDER     # ctest's fixture: boot the prefix
"""

import contextlib
import fcntl
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile

WINE = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"
# Big enough that a box centred on it leaves GO and STOP uncovered.
SCREEN = "1600x1000x24"
STARTUP_SECONDS = 40.0
# The window is 840 by 400 with its caption and sizing border, as Wine draws them.
CLIENT_SIZE = (832, 373)
WITHOUT_DISPLAY = {}
# One OutputDebugStringA line; a long one is cut after about 290 characters and
# followed by "...", which stays so that it never equals a complete line.
DEBUGSTR = re.compile(r'^[0-9a-f]+:warn:debugstr:OutputDebugStringA "(.*)"(\.\.\.)?\s*$')


def wine_env(prefix, base, debug="-all"):
    env = {k: v for k, v in base.items() if not k.lower().endswith("_proxy")}
    env.update(WINEPREFIX=prefix, WINEARCH="win64", WINEDEBUG=debug,
               WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")
    return env


def booted_prefix(folder):
    """A prefix that `wineboot --init` has prepared, made once per build folder;
    parallel callers wait for it under a lock."""
    prefix = os.path.join(folder, "e2e_win32_prefix")
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(prefix + ".booted"):
            shutil.rmtree(prefix, ignore_errors=True)
            os.makedirs(prefix)
            env = wine_env(prefix, os.environ)
            subprocess.run([WINE, "wineboot", "--init"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=300)
            subprocess.run(["wineserver", "-w"], env=env, timeout=120)
            if not os.path.exists(os.path.join(prefix, "system.reg")):
                raise RuntimeError("wineboot made no prefix in " + prefix)
            open(prefix + ".booted", "w").close()
    return prefix


@contextlib.contextmanager
def session(env):
    """The environment and command line for programs of one test: a private copy
    of the booted prefix, its wineserver stopped and the copy removed at the end."""
    prefix = tempfile.mkdtemp(prefix="talewick-wine-")
    os.rmdir(prefix)  # Wine's z: link would lead a walk of the folder through the whole disk
    shutil.copytree(booted_prefix(os.environ["TALEWICK_E2E_DIR"]), prefix, symlinks=True)
    try:
        yield wine_env(prefix, env, "-all,+debugstr"), lambda exe: [WINE, exe]
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(prefix, os.environ), timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)


def debug_line(raw):
    match = DEBUGSTR.match(raw)
    if not match:
        return None
    # Wine prints the string with C escapes.
    text = match.group(1).encode("latin-1", "replace").decode("unicode_escape")
    return text + (match.group(2) or "")


def folder_seen(folder):
    return "Z:" + folder.replace("/", "\\") + "\\"


class Package:
    """The zip unpacked into a fresh folder and started under Wine; the stories
    stay in that folder."""

    def __init__(self, case, path):
        top = tempfile.mkdtemp(prefix="talewick-zip-")
        case.addCleanup(shutil.rmtree, top, ignore_errors=True)
        with zipfile.ZipFile(path) as archive:
            archive.extractall(top)
        (folder,) = os.listdir(top)
        self.story = os.path.join(top, folder)
        self.service = folder_seen(self.story) + "talewick-search.exe"
        self.untouched = None
        self.env = dict(case.env, WINEDEBUG="-all")  # the launcher takes the debug lines itself
        self.command = case.command(os.path.join(self.story, "talewick-start.exe"))

    def check(self, case):
        pass


if __name__ == "__main__":
    if sys.argv[1:2] != ["boot"] or len(sys.argv) != 3:
        sys.exit("usage: program_win32.py boot FOLDER")
    print("booted Wine prefix:", booted_prefix(sys.argv[2]))
