"""talewick-start with stand-ins for its two programs (shell scripts that say
what they were given), so that each rule of the launcher is seen alone: the
service and the site each way of starting it chooses and the line it says on a
terminal, the logs, the stop signals, and a service that fails, or falls silent
before it is ready. No display: a failure is only written on standard error.

Environment: TALEWICK_START (the built launcher).
"""

import os
import pty
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from desktop import wait_until

SERVICE = """#!/bin/sh
here=$(dirname "$0")
echo "$@" > "$here/service.args"
echo $$ > "$here/service.pid"
case "$FAKE_SERVICE" in
  busy) for n in $(seq 5); do printf '\rindex: %d of 5 files' $n >&2; sleep 1; done
        exec sleep 120 ;;
  dies) printf 'corpus: /shelf: Permission denied\nindex: no place: set HOME, or give --index F\n' >&2
        exit 1 ;;
  crashes*) runs=$(cat "$here/service.runs" 2>/dev/null || echo 0)
            echo $((runs + 1)) > "$here/service.runs"
            if [ "$runs" = 0 ]; then echo "listening on 127.0.0.1:4321"; sleep 1; exit 3; fi
            if [ "$FAKE_SERVICE" = crashes ]; then
              echo "talewick-search: cannot listen on 127.0.0.1:4321: Address already in use" >&2
              exit 1
            fi
            sleep 1 ;;  # started again: slow to get ready, so a stop lands meanwhile
esac
echo "corpus: 1 files" >&2
echo "listening on 127.0.0.1:4321"
exec sleep 120
"""

PROGRAM = """#!/bin/sh
here=$(dirname "$0")
echo "$TALEWICK_SEARCH_HOST $TALEWICK_SEARCH_SITE" > "$here/program.env"
echo "[Talewick 02] starting..." >&2
echo $$ > "$here/program.pid"
[ -n "$FAKE_PROGRAM_EXIT" ] && exit "$FAKE_PROGRAM_EXIT"
exec sleep 120
"""


def alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as stat:
            return stat.read().split(") ")[1][0] != "Z"
    except FileNotFoundError:
        return False


class LauncherTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="talewick-start-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        shutil.copy2(os.environ["TALEWICK_START"], self.folder)
        for name, text in (("talewick-search", SERVICE), ("talewick", PROGRAM)):
            with open(self.path(name), "w") as script:
                script.write(text)
            os.chmod(self.path(name), 0o755)

    def path(self, name):
        return os.path.join(self.folder, name)

    def read(self, name, wait=0.0):
        """The file's text once it holds a whole line (waiting up to `wait` s)."""
        deadline = time.monotonic() + wait
        while True:
            if os.path.exists(self.path(name)):
                with open(self.path(name)) as source:
                    text = source.read()
                if text.endswith("\n"):
                    return text
            self.assertLess(time.monotonic(), deadline, "no %s" % name)
            time.sleep(0.05)

    def forget(self, *names):
        for name in names:
            if os.path.exists(self.path(name)):
                os.remove(self.path(name))

    def launch(self, *arguments, terminal=None, **variables):
        """The launcher, its standard error a pipe; its standard output a pipe too, or
        the terminal `terminal` (a pty's other end)."""
        env = {k: v for k, v in os.environ.items()
               if not k.startswith("TALEWICK_SEARCH_") and k not in ("DISPLAY", "WAYLAND_DISPLAY")}
        launcher = subprocess.Popen([self.path("talewick-start")] + list(arguments),
                                    env=dict(env, **variables), stderr=subprocess.PIPE, text=True,
                                    stdout=terminal or subprocess.PIPE, cwd=self.folder)
        self.addCleanup(launcher.kill)
        return launcher

    def on_terminal(self, *arguments, **variables):
        """Runs the launcher to its end with a terminal as its standard output: what
        it said there (one read: a short line comes whole)."""
        reader, terminal = pty.openpty()
        launcher = self.launch(*arguments, terminal=terminal, **variables)
        os.close(terminal)
        launcher.communicate(timeout=10)
        self.assertEqual(launcher.returncode, 0)
        said = os.read(reader, 4096).decode().replace("\r\n", "\n")
        os.close(reader)
        return said

    def test_each_stop_signal_ends_the_program_and_the_service(self):
        for stop in (signal.SIGINT, signal.SIGHUP, signal.SIGTERM):
            with self.subTest(signal=stop.name):
                self.forget("program.pid", "service.pid", "program.env")
                launcher = self.launch()
                program = int(self.read("program.pid", 10))
                service = int(self.read("service.pid", 10))
                self.assertEqual(self.read("program.env", 10),
                                 "http://127.0.0.1:4321 talewick.org\n")
                self.assertEqual(self.read("service.args"), "--port 0\n")
                launcher.send_signal(stop)
                stdout, stderr = launcher.communicate(timeout=10)
                self.assertEqual(stderr, "", "a stop is no failure")
                self.assertEqual(stdout, "", "no terminal, nothing said")
                self.assertFalse(alive(program) or alive(service))
                self.assertEqual(self.read("talewick.log"), "[Talewick 02] starting...\n")
                self.assertEqual(self.read("talewick-search.log"), "corpus: 1 files\n")

    def test_the_service_and_site_of_each_way_to_start(self):
        for site in ("one.org", "a.org", "B.org"):
            os.makedirs(self.path(os.path.join("shelf" if site == "one.org" else "two", site)))
        with open(self.path(os.path.join("shelf", "one.org", "tale.txt")), "w") as text:
            text.write("The cat sat.")
        shelf, ours = "--corpus %s --port 0\n" % self.path("shelf"), "http://127.0.0.1:4321"
        mine = dict(TALEWICK_SEARCH_HOST="http://example:80", TALEWICK_SEARCH_SITE="mine.org")
        story = "Talewick: the story goes to %s; searching " % self.path("OutPutTextFile.txt")
        both = "; close the window or press Ctrl-C to stop both.\n"
        theirs = " at http://example:80; close the window or press Ctrl-C to stop it.\n"
        for arguments, variables, service, program, said in (
                (("--site", "x.org"), mine, None, "http://example:80 x.org", "x.org" + theirs),
                (("--corpus", "shelf/"), mine, shelf, ours + " one.org",
                 "one.org in %s%s" % (self.path("shelf"), both)),
                ((), dict(TALEWICK_SEARCH_SITE="mine.org"), "--port 0\n", ours + " mine.org",
                 "mine.org in the texts shipped with Talewick" + both)):
            with self.subTest(arguments=arguments, variables=variables):
                self.forget("service.args", "program.env")
                self.assertEqual(self.on_terminal(*arguments, FAKE_PROGRAM_EXIT="0", **variables),
                                 story + said)
                self.assertEqual(self.read("program.env"), program + "\n")
                if service is None:
                    self.assertFalse(os.path.exists(self.path("service.args")))
                else:
                    self.assertEqual(self.read("service.args"), service)
        # What each refusal says is tested with the rules themselves; here, that it is
        # said, with its status, and nothing is started.
        for arguments, status, message in (
                (("--corpus", "two"), 1, "two has 2 site folders: B.org, a.org; choose one with "
                 "--site NAME"),
                (("--colour", "red"), 2, "unknown option '--colour'")):
            with self.subTest(arguments=arguments):
                self.forget("program.env")
                launcher = self.launch(*arguments)
                self.assertIn(message, launcher.communicate(timeout=10)[1])
                self.assertEqual(launcher.returncode, status)
                self.assertFalse(os.path.exists(self.path("program.env")))

    def test_a_service_that_ends_while_the_program_runs_is_started_again_once(self):
        launcher = self.launch(FAKE_SERVICE="crashes-once")
        program = int(self.read("program.pid", 10))
        first = int(self.read("service.pid", 10))
        self.assertTrue(wait_until(lambda: self.read("service.pid") != "%d\n" % first, 10))
        self.assertEqual(self.read("service.args"), "--port 4321\n")
        self.assertTrue(alive(program) and alive(int(self.read("service.pid"))))
        launcher.send_signal(signal.SIGTERM)
        self.assertEqual(launcher.communicate(timeout=10)[1],
                         "talewick-start: the search service ended (status 3); starting it again\n")
        # Ended again at once: the user is told why, and the program goes on.
        self.forget("service.runs", "program.pid")
        launcher = self.launch(FAKE_SERVICE="crashes")
        program = int(self.read("program.pid", 10))
        self.assertTrue(wait_until(lambda: self.read("service.runs") == "2\n", 10))
        time.sleep(1)
        self.assertTrue(alive(program))
        launcher.send_signal(signal.SIGTERM)
        self.assertIn("It ended before it was ready:\ncannot listen on 127.0.0.1:4321: Address "
                      "already in use\n", launcher.communicate(timeout=10)[1])

    def test_a_service_that_does_not_get_ready_is_reported_with_status_1(self):
        launcher = self.launch(FAKE_SERVICE="dies")
        self.assertIn("It ended before it was ready:\ncannot read /shelf: Permission denied\n"
                      "no place: set HOME\n\nTalewick keeps an index of the texts in ",
                      launcher.communicate(timeout=10)[1])
        self.assertEqual(launcher.returncode, 1)
        # Busy indexing a shelf for longer than the limit, then silent.
        started = time.monotonic()
        launcher = self.launch(FAKE_SERVICE="busy", TALEWICK_START_PATIENCE="2")
        self.assertIn("It was not ready, and did nothing more for 2 s:\n5 of 5 files\n",
                      launcher.communicate(timeout=30)[1])
        self.assertEqual(launcher.returncode, 1)
        # Five lines a second apart, the last at 4 s at the earliest, then 2 s of silence.
        self.assertGreaterEqual(time.monotonic() - started, 6.0)
        self.assertFalse(alive(int(self.read("service.pid"))))
        self.assertFalse(os.path.exists(self.path("program.env")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
