#!/usr/bin/env python3
"""Makes docs/screenshot.png: the Linux program growing a story from "the cat"
against talewick-search on the shipped corpus, in a private X desktop (Xvfb and
openbox). Also prints the story file it wrote, for the README. With --windows,
also docs/side-by-side.png: the same story grown by the Linux program and by
talewick.exe under Wine, each window with its frame as the window manager drew
it, side by side.

    python3 scripts/make_screenshot.py [--build build/linux] [--cycles 6]
                                       [--windows build/windows]

Needs a built build/linux/talewick and build/linux/talewick-search (and
build/windows/talewick.exe for --windows).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

from desktop import Desktop  # noqa: E402

TITLE = "Talewick 02"


def start_service(build):
    service = subprocess.Popen(
        [os.path.join(build, "talewick-search"), "--corpus", os.path.join(REPO, "corpus"),
         "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = service.stdout.readline().strip()  # "listening on 127.0.0.1:PORT"
    if not line.startswith("listening on "):
        service.kill()
        raise SystemExit("talewick-search did not start")
    return service, line.rsplit(":", 1)[1]


def grow_story(program, port, cycles, shot, session=None):
    """Runs `program` (a path) from a fresh folder on a desktop of its own until
    the story has `cycles` lines, presses STOP and takes `shot` of the window with
    its frame. The story file's text."""
    folder = tempfile.mkdtemp(prefix="talewick-shot-")
    process = None
    try:
        shutil.copy2(program, folder)
        shutil.copy2(os.path.join(REPO, "data", "dictionary.txt"), folder)
        with Desktop(screen="1024x600x24") as desktop, \
                (session or plain_session)(desktop.env()) as (env, command):
            env.update(TALEWICK_SEARCH_HOST="http://127.0.0.1:" + port,
                       TALEWICK_SEARCH_SITE="talewick.org")
            process = subprocess.Popen(command(os.path.join(folder, os.path.basename(program))),
                                       cwd=folder, env=env, stderr=subprocess.DEVNULL)
            wid = desktop.wait_for_window(TITLE, timeout=40)
            if wid is None:
                raise SystemExit("the window of %s did not appear" % program)
            time.sleep(0.5)
            desktop.activate(wid)
            desktop.click(wid, 100, 330)
            desktop.type("the cat")
            desktop.key("Return")
            story = os.path.join(folder, "OutPutTextFile.txt")
            deadline = time.monotonic() + 6 + 3 * cycles
            while time.monotonic() < deadline:
                if os.path.exists(story) and open(story, "rb").read().count(b"\r\n") >= cycles:
                    break
                time.sleep(0.5)
            desktop.click(wid, 590, 340)  # STOP, so the picture shows a finished story
            time.sleep(1)
            os.makedirs(os.path.dirname(shot), exist_ok=True)
            x, y, width, height = desktop.frame(wid)
            desktop.run(["import", "-window", "root", "-crop",
                         "%dx%d+%d+%d" % (width, height, x, y), "+repage", shot], timeout=30)
            desktop.close(TITLE)
            process.wait(timeout=30)
        with open(os.path.join(folder, "OutPutTextFile.txt"), "rb") as source:
            return source.read().decode("utf-8", "replace").replace("\r\n", "\n")
    finally:
        if process is not None and process.poll() is None:
            process.kill()
        shutil.rmtree(folder, ignore_errors=True)


class plain_session:  # noqa: N801 (used as program_win32.session is)
    def __init__(self, env):
        self.env = env

    def __enter__(self):
        return self.env, lambda exe: [exe]

    def __exit__(self, *exc):
        return False


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--cycles", type=int, default=6)
    parser.add_argument("--output", default=os.path.join(REPO, "docs", "screenshot.png"))
    parser.add_argument("--windows", help="the Windows build folder, for docs/side-by-side.png")
    args = parser.parse_args(argv)

    service, port = start_service(args.build)
    try:
        story = grow_story(os.path.join(args.build, "talewick"), port, args.cycles, args.output)
        sys.stdout.write(story)
        print("screenshot:", args.output)
        if args.windows:
            # The Wine prefix the end-to-end tests boot once per build folder.
            os.environ["TALEWICK_E2E_DIR"] = os.path.join(args.windows, "tests", "e2e")
            import program_win32
            shots = [os.path.join(tempfile.gettempdir(), "talewick-%s.png" % name)
                     for name in ("linux", "windows")]
            linux = grow_story(os.path.join(args.build, "talewick"), port, 20, shots[0])
            windows = grow_story(os.path.join(args.windows, "talewick.exe"), port, 20, shots[1],
                                 program_win32.session)
            if linux != windows:
                print("the two stories differ:\n%s\n%s" % (linux, windows))
            both = os.path.join(os.path.dirname(args.output), "side-by-side.png")
            subprocess.run(["convert", shots[0], shots[1], "-background", "white", "-splice",
                            "16x0", "+append", "-chop", "16x0", both], check=True)
            print("side by side:", both)
    finally:
        service.kill()
        service.wait()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
