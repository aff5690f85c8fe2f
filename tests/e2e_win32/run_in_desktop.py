"""Runs one Windows test executable under Wine on a private X desktop (Xvfb and
openbox), in a copy of the booted Wine prefix, and returns its exit code.

    python3 run_in_desktop.py PREFIX_FOLDER EXE [ARGS...]
"""

import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e_support"))
sys.path.insert(0, HERE)

from desktop import Desktop  # noqa: E402
from wine_program import WinePrefixCopy, booted_prefix, wine_command  # noqa: E402

RUN_TIMEOUT = 240


def main(argv):
    if len(argv) < 3:
        sys.exit("usage: run_in_desktop.py PREFIX_FOLDER EXE [ARGS...]")
    booted = booted_prefix(argv[1])
    with Desktop() as desktop, WinePrefixCopy(booted) as prefix:
        env = prefix.env(desktop.env())
        env["WINEDEBUG"] = "-all"
        try:
            result = subprocess.run(wine_command(argv[2]) + argv[3:], env=env,
                                    stdin=subprocess.DEVNULL, timeout=RUN_TIMEOUT)
        except subprocess.TimeoutExpired:
            print("run_in_desktop.py: %s ran longer than %d s" % (argv[2], RUN_TIMEOUT))
            return 1
        return result.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv))
