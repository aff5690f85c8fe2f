#!/usr/bin/env python3
"""How long a story runs before it repeats itself: grows stories headless (the real
cycle, without a window) against talewick-search and reports, for each seed, the
cycle at which a stretch of 10 lines first comes again.

    python3 scripts/story_length.py [--build build/linux] [--corpus corpus]
                                    [--cycles 2000] [--stretch 10] [SEED ...]

Needs the story_run and talewick-search targets of that build (configured with
-DTALEWICK_BUILD_BENCH=ON).
Default seeds: "the cat", "once upon a time", "the old man".
"""

import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
SITE = "talewick.org"
SEEDS = ["the cat", "once upon a time", "the old man"]


def first_repeat(lines, stretch):
    """The index of the first line that starts a stretch seen before, or None."""
    seen = set()
    for start in range(len(lines) - stretch + 1):
        window = tuple(lines[start:start + stretch])
        if window in seen:
            return start
        seen.add(window)
    return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--corpus", default=os.path.join(REPO, "corpus"))
    parser.add_argument("--words", default=os.path.join(REPO, "data", "dictionary.txt"))
    parser.add_argument("--cycles", type=int, default=2000)
    parser.add_argument("--stretch", type=int, default=10)
    parser.add_argument("seeds", nargs="*", default=SEEDS)
    args = parser.parse_args()

    service = subprocess.Popen(
        [os.path.join(args.build, "talewick-search"), "--corpus", args.corpus, "--port", "0"],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    try:
        ready = service.stdout.readline().strip()
        if not ready.startswith("listening on "):
            sys.exit("talewick-search did not start: %r" % ready)
        host = "http://" + ready[len("listening on "):]
        runner = os.path.join(args.build, "bench", "story_run", "story_run")
        print("%-20s %8s  %s" % ("seed", "cycles", "first repeat of %d lines" % args.stretch))
        for seed in args.seeds:
            out = subprocess.run([runner, host, SITE, args.words, seed, str(args.cycles)],
                                 capture_output=True, check=True).stdout
            lines = out.decode("utf-8", "replace").split("\r\n")[:-1]
            repeat = first_repeat(lines, args.stretch)
            print("%-20s %8d  %s" % (seed, len(lines),
                                     "none" if repeat is None else "after %d lines" % repeat))
    finally:
        service.kill()
        service.wait()


if __name__ == "__main__":
    main()
