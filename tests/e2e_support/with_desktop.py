"""Runs one command on a private desktop (Xvfb + openbox) and passes its exit
code on; for test executables that need a display, e.g. from ctest:

    python3 with_desktop.py --timeout 120 -- ./window_layer_gtk_test

Exit code 77 (skipped) when the desktop tools are missing, 124 on time-out.
"""

import argparse
import subprocess
import sys

from desktop import Desktop
from e2e_case import SKIP_EXIT_CODE, missing_tools


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--timeout", type=float, default=120.0)
    parser.add_argument("command", nargs="+")
    args = parser.parse_args(argv)
    missing = missing_tools()
    if missing:
        print("skipped: missing %s" % ", ".join(missing))
        return SKIP_EXIT_CODE
    with Desktop() as desktop:
        try:
            return subprocess.run(args.command, env=desktop.env(), timeout=args.timeout).returncode
        except subprocess.TimeoutExpired:
            print("with_desktop: %s took longer than %.0f s" % (args.command[0], args.timeout))
            return 124


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
