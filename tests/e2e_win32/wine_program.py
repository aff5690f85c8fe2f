"""talewick.exe under Wine for end-to-end tests: a Wine prefix booted once per
build folder and copied for each scenario, the wine command line, and the
reading of the program's debug lines from Wine's +debugstr channel; the shared
ProgramRun (tests/e2e_support) does the rest. Python 3 standard library only.

    booted = booted_prefix(build_dir)          # once per build folder, under a lock
    with WinePrefixCopy(booted) as prefix:
        run = ProgramRun(exe, files=..., command=wine_command, log_parser=debugstr_line)
        run.start(env=prefix.env(desktop.env()), search=server)
"""

import fcntl
import os
import re
import shutil
import subprocess
import tempfile

WINE = "/usr/lib/wine/wine64" if os.path.exists("/usr/lib/wine/wine64") else "wine64"
WINE_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d"
BOOT_TIMEOUT = 300.0
PROXY_VARIABLES = ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "no_proxy",
                   "NO_PROXY", "all_proxy", "ALL_PROXY", "ftp_proxy", "FTP_PROXY")

# One OutputDebugStringA line as Wine's +debugstr channel prints it; a long
# string is cut after about 290 characters and followed by "...".
DEBUGSTR = re.compile(r'^[0-9a-f]+:warn:debugstr:OutputDebugStringA "(.*)"(\.\.\.)?\s*$')


class WineError(RuntimeError):
    pass


def wine_env(prefix, base=None):
    env = dict(base if base is not None else os.environ)
    for name in PROXY_VARIABLES:
        env.pop(name, None)
    env["WINEPREFIX"] = prefix
    env["WINEARCH"] = "win64"
    env["WINEDLLOVERRIDES"] = WINE_OVERRIDES
    env.setdefault("WINEDEBUG", "-all")
    return env


def stop_wineserver(prefix):
    subprocess.run(["wineserver", "-k"], env=wine_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=30, check=False)


def booted_prefix(build_dir):
    """A Wine prefix that `wineboot --init` has prepared, made once per build
    folder; parallel callers wait for it under a lock instead of booting twice."""
    prefix = os.path.join(build_dir, "e2e_win32_prefix")
    done = prefix + ".booted"
    with open(prefix + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(done):
            shutil.rmtree(prefix, ignore_errors=True)
            os.makedirs(prefix)
            env = wine_env(prefix)
            subprocess.run([WINE, "wineboot", "--init"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=BOOT_TIMEOUT, check=False)
            subprocess.run(["wineserver", "-w"], env=env, timeout=120, check=False)
            if not os.path.exists(os.path.join(prefix, "system.reg")):
                raise WineError("wineboot made no prefix in " + prefix)
            open(done, "w").close()
    return prefix


def decode_c_escapes(text):
    """Undoes the C escapes with which Wine prints a debug string."""
    out = bytearray()
    i = 0
    simple = {"n": 10, "r": 13, "t": 9, "\\": 92, '"': 34, "'": 39, "a": 7, "b": 8, "f": 12,
              "v": 11}
    while i < len(text):
        c = text[i]
        if c != "\\" or i + 1 >= len(text):
            out += c.encode("latin-1", "replace")
            i += 1
            continue
        n = text[i + 1]
        if n in simple:
            out.append(simple[n])
            i += 2
        elif n == "x":
            digits = re.match(r"[0-9a-fA-F]{1,2}", text[i + 2:])
            out.append(int(digits.group(0), 16) if digits else ord("x"))
            i += 2 + (len(digits.group(0)) if digits else 0)
        elif n in "01234567":
            digits = re.match(r"[0-7]{1,3}", text[i + 1:]).group(0)
            out.append(int(digits, 8) & 0xFF)
            i += 1 + len(digits)
        else:
            out += n.encode("latin-1", "replace")
            i += 2
    return out.decode("latin-1")


def debugstr_line(raw):
    """The program's diagnostic line in one line of Wine's stderr, or None."""
    match = DEBUGSTR.match(raw)
    if not match:
        return None
    # A cut line keeps its "..." so that it never equals a complete one.
    return decode_c_escapes(match.group(1)) + (match.group(2) or "")


class WinePrefixCopy:
    """A private copy of the booted prefix for one scenario; its wineserver is
    stopped and the copy removed at the end."""

    def __init__(self, booted):
        self.path = tempfile.mkdtemp(prefix="talewick-wine-")
        os.rmdir(self.path)
        shutil.copytree(booted, self.path, symlinks=True)

    def env(self, base):
        """`base` (e.g. the desktop's environment) set up to run under this prefix
        with the debug strings on stderr."""
        env = wine_env(self.path, base)
        env["WINEDEBUG"] = "-all,+debugstr"
        return env

    def close(self):
        stop_wineserver(self.path)
        shutil.rmtree(self.path, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def wine_command(exe):
    return [WINE, exe]


if __name__ == "__main__":
    # ctest's fixture step: python3 wine_program.py boot FOLDER
    import sys

    if len(sys.argv) != 3 or sys.argv[1] != "boot":
        sys.exit("usage: wine_program.py boot FOLDER")
    print("booted Wine prefix:", booted_prefix(sys.argv[2]))
