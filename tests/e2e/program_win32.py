"""How the end-to-end tests run the Windows programs: under Wine, in a copy of a
prefix booted once per build folder (TALEWICK_E2E_DIR), with the program's
OutputDebugStringA lines read from Wine's +debugstr channel on standard error,
and the installer run as a user would."""

import contextlib
import fcntl
import getpass
import os
import re
import shutil
import subprocess
import tempfile

from desktop import wait_until

WINE = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"
# Big enough that a box centred on it leaves GO and STOP uncovered.
SCREEN = "1600x1000x24"
STARTUP_SECONDS = 40.0
WITHOUT_DISPLAY = {}
# One OutputDebugStringA line; a long one is cut after about 290 characters and
# followed by "...", which stays so that it never equals a complete line.
DEBUGSTR = re.compile(r'^[0-9a-f]+:warn:debugstr:OutputDebugStringA "(.*)"(\.\.\.)?\s*$')
# Who installs the package when the test runs as root, and where it goes.
INSTALL_USER = "talewick-wine"
INSTALLED = "C:\\Program Files\\Talewick\\"
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Talewick"


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


def started_wide(argv, folder):
    """The command that starts `argv` as Explorer would, through CreateProcessW
    (tests/e2e_win32/wide_start.cpp): Wine's own command line cannot carry letters
    outside the POSIX locale's. Full paths in `argv` become Windows ones; the lines
    are written to a file in `folder`."""
    lines = tempfile.NamedTemporaryFile("w", encoding="utf-8", dir=folder, suffix=".txt",
                                        delete=False)
    with lines:
        for word in argv:
            lines.write(("Z:" + word.replace("/", "\\") if word.startswith("/") else word) + "\n")
    return [WINE, os.environ["TALEWICK_WIDE_START"], "Z:" + lines.name.replace("/", "\\")]


def kill(process, exe):
    """Kills the program `exe` that `process` started (through wide_start.exe) outright."""
    subprocess.run(["pkill", "-KILL", "-f", "^" + re.escape("Z:" + exe.replace("/", "\\"))])
    process.wait(10)


class Package:
    """The installer run silently in a fresh prefix by a normal user (a system user
    made for it when the test runs as root), who may write to the installed folder,
    as Wine lets every user: an installed Talewick keeps the stories in
    %APPDATA%\\Talewick all the same. Its entry in the installed programs says where
    it is and how big, and offers no repair. check() uninstalls it."""

    def __init__(self, case, path):
        if not os.path.exists(path):
            case.skipTest("no installer: makensis is missing")
        self.user, as_user = getpass.getuser(), []
        if os.geteuid() == 0:
            self.user, as_user = INSTALL_USER, ["runuser", "-u", INSTALL_USER, "--"]
            if subprocess.run(["id", self.user], capture_output=True).returncode != 0:
                subprocess.run(["useradd", "--system", "--no-create-home", self.user], check=True)
                case.addCleanup(subprocess.run, ["userdel", self.user], check=False)
        home = tempfile.mkdtemp(prefix="talewick-setup-")
        case.addCleanup(shutil.rmtree, home, ignore_errors=True)
        shutil.chown(home, self.user)
        env = wine_env(os.path.join(home, "prefix"), dict(
            HOME=home, USER=self.user, LANG="C.UTF-8", PATH="/usr/bin:/bin",
            DISPLAY=case.env["DISPLAY"]))
        self.user_env = as_user + ["env", "-i"] + ["%s=%s" % item for item in env.items()]
        case.addCleanup(self.run, "wineserver", "-k")
        self.run(WINE, "wineboot", "--init")
        self.run(WINE, path, "/S")
        drive = os.path.join(home, "prefix", "drive_c")
        self.untouched = os.path.join(drive, "Program Files", "Talewick")
        self.menu = os.path.join(drive, "ProgramData", "Microsoft", "Windows", "Start Menu",
                                 "Programs", "Talewick")
        case.assertTrue(os.path.exists(os.path.join(self.menu, "Talewick.lnk")), "no menu entry")
        entry = self.run(WINE, "reg", "query", UNINSTALL_KEY).stdout.decode(errors="replace")
        for value in (r"InstallLocation\s+REG_SZ\s+C:\\Program Files\\Talewick\s",
                      r"EstimatedSize\s+REG_DWORD\s+0x[1-9a-f]", r"NoModify\s+REG_DWORD\s+0x1\s",
                      r"NoRepair\s+REG_DWORD\s+0x1\s"):
            case.assertRegex(entry, value)
        self.story = os.path.join(drive, "users", self.user, "AppData", "Roaming", "Talewick")
        self.service = INSTALLED + "talewick-search.exe"
        self.command = self.user_env + [WINE, INSTALLED + "talewick-start.exe"]
        self.env = None

    def run(self, *argv):
        return subprocess.run(self.user_env + list(argv), capture_output=True, timeout=300)

    def check(self, case):
        """A silent uninstall (which runs a copy of itself and returns at once)
        removes what was installed, the folder with it, and leaves the stories."""
        self.run(WINE, INSTALLED + "Uninstall.exe", "/S")
        wait_until(lambda: not os.path.exists(self.untouched), 60, 0.5)
        case.assertFalse(os.path.exists(self.untouched), "the installed folder stays")
        case.assertFalse(os.path.exists(self.menu), "the menu entry stays")
        case.assertNotEqual(self.run(WINE, "reg", "query", UNINSTALL_KEY).returncode, 0)
        case.assertTrue(os.path.exists(os.path.join(self.story, "OutPutTextFile.txt")))
        running = subprocess.run(["pgrep", "-u", self.user, "-af", r"talewick[^ ]*\.exe"],
                                 capture_output=True, text=True).stdout
        case.assertEqual(running, "")

