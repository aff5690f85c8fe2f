#!/usr/bin/env python3
"""Makes docs/screenshot.png: the Linux program growing a story from "the cat"
against talewick-search on the shipped corpus, in a private X desktop (Xvfb and
openbox). Also prints the story file it wrote, for the README.

    python3 scripts/make_screenshot.py [--build build/linux] [--cycles 6]

Needs a built build/linux/talewick and build/linux/talewick-search.
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


def start_service(build):
    service = subprocess.Popen(
        [os.path.join(build, "talewick-search"), "--corpus", os.path.join(REPO, "corpus"),
         "--port", "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = service.stdout.readline().strip()  # "listening on 127.0.0.1:PORT"
    if not line.startswith("listening on "):
        service.kill()
        raise SystemExit("talewick-search did not start")
    return service, line.rsplit(":", 1)[1]


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--cycles", type=int, default=6)
    parser.add_argument("--output", default=os.path.join(REPO, "docs", "screenshot.png"))
    args = parser.parse_args(argv)

    folder = tempfile.mkdtemp(prefix="talewick-shot-")
    shutil.copy2(os.path.join(args.build, "talewick"), folder)
    shutil.copy2(os.path.join(REPO, "data", "dictionary.txt"), folder)
    service, port = start_service(args.build)
    program = None
    try:
        with Desktop(screen="1024x600x24") as desktop:
            env = desktop.env()
            env["TALEWICK_SEARCH_HOST"] = "http://127.0.0.1:" + port
            env["TALEWICK_SEARCH_SITE"] = "talewick.org"
            program = subprocess.Popen([os.path.join(folder, "talewick")], cwd=folder, env=env,
                                       stderr=subprocess.DEVNULL)
            wid = desktop.wait_for_window("Talewick 02", timeout=20)
            if wid is None:
                raise SystemExit("the window did not appear")
            desktop.activate(wid)
            desktop.click(wid, 100, 330)
            desktop.type("the cat")
            desktop.key("Return")
            story = os.path.join(folder, "OutPutTextFile.txt")
            deadline = time.monotonic() + 6 + 3 * args.cycles
            while time.monotonic() < deadline:
                if os.path.exists(story) and open(story, "rb").read().count(b"\r\n") >= args.cycles:
                    break
                time.sleep(0.5)
            desktop.click(wid, 590, 340)  # STOP, so the picture shows a finished story
            time.sleep(1)
            os.makedirs(os.path.dirname(args.output), exist_ok=True)
            desktop.screenshot(args.output, wid)
            desktop.close("Talewick 02")
            program.wait(timeout=20)
        with open(os.path.join(folder, "OutPutTextFile.txt"), "rb") as source:
            sys.stdout.write(source.read().decode("utf-8", "replace").replace("\r\n", "\n"))
        print("screenshot:", args.output)
    finally:
        if program is not None and program.poll() is None:
            program.kill()
        service.kill()
        service.wait()
        shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
