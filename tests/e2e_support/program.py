"""Runs the built program as a user would: a copy of the executable in a fresh
temporary folder with its data files beside it, pointed at the test search
server, with its diagnostic lines read from standard error.

    run = ProgramRun(exe, files={"dictionary.txt": b"the\\r\\ncat\\r\\n"})
    run.start(env=desktop.env(), search=server)
    run.wait_for_line("[Talewick 02] starting...", timeout=20)
    ...
    run.wait_exit(timeout=20)       # exit code, or None if still running
    run.read_file("OutPutTextFile.txt")
    run.cleanup()                   # kills it if still running, removes the folder

`command` turns the copied executable's path into the command line (e.g. to run
it under Wine) and `log_parser` turns one raw stderr line into a diagnostic
line or None (e.g. to unwrap Wine's debugstr output); both default to the
native program, whose diagnostic lines on stderr start with "[Talewick 02] ".
The toolkit's own warnings go to stderr too: toolkit_faults() lists them.
"""

import os
import re
import shutil
import subprocess
import tempfile
import time

from search_server import SITE

DIAGNOSTIC_PREFIX = "[Talewick 02] "
# Lines of GTK, GDK or GLib (any domain) that report a wrong call or a fault.
TOOLKIT_FAULT = re.compile(r"\b(Gtk|Gdk|GdkPixbuf|GLib(-[A-Za-z]+)?)-(CRITICAL|WARNING)\b")


def diagnostic_line(line):
    return line if line.startswith(DIAGNOSTIC_PREFIX) else None


class ProgramRun:
    def __init__(self, executable, files=None, command=None, log_parser=None, keep=False):
        self.folder = tempfile.mkdtemp(prefix="talewick-e2e-")
        self.executable = os.path.join(self.folder, os.path.basename(executable))
        shutil.copy2(executable, self.executable)
        for name, data in (files or {}).items():
            self.write_file(name, data)
        self._command = command or (lambda exe: [exe])
        self._parse = log_parser or diagnostic_line
        self._keep = keep
        self.process = None
        self._stderr_path = os.path.join(self.folder, ".stderr.log")

    # --- files beside the program ------------------------------------------

    def path(self, name):
        return os.path.join(self.folder, name)

    def write_file(self, name, data):
        with open(self.path(name), "wb") as out:
            out.write(data if isinstance(data, bytes) else data.encode("utf-8"))

    def read_file(self, name):
        """The file's bytes, or None when it does not exist."""
        try:
            with open(self.path(name), "rb") as source:
                return source.read()
        except FileNotFoundError:
            return None

    # --- the process ---------------------------------------------------------

    def start(self, env, search=None, site=SITE):
        env = dict(env)
        if search is not None:
            env["TALEWICK_SEARCH_HOST"] = search.host_url
            env["TALEWICK_SEARCH_SITE"] = site
        for name in ("http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                     "ALL_PROXY"):
            env.pop(name, None)  # tests reach only 127.0.0.1
        self._stderr = open(self._stderr_path, "wb")
        self.process = subprocess.Popen(
            self._command(self.executable), cwd=self.folder, env=env,
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=self._stderr)
        return self

    def raw_stderr(self):
        with open(self._stderr_path, "rb") as source:
            return source.read().decode("utf-8", errors="replace")

    def log_lines(self):
        """The diagnostic lines written so far (complete lines only)."""
        text = self.raw_stderr()
        if not text.endswith("\n"):
            text = text[: text.rfind("\n") + 1]
        lines = []
        for raw in text.splitlines():
            line = self._parse(raw)
            if line is not None:
                lines.append(line)
        return lines

    def toolkit_faults(self):
        """The toolkit's warning and critical lines written so far."""
        return [line for line in self.raw_stderr().splitlines() if TOOLKIT_FAULT.search(line)]

    def count_line(self, line):
        return self.log_lines().count(line)

    def wait_for_line(self, line, timeout, count=1):
        """True once `line` has been written `count` times, False after `timeout` s."""
        deadline = time.monotonic() + timeout
        while self.count_line(line) < count:
            if time.monotonic() >= deadline or self.process.poll() is not None:
                return self.count_line(line) >= count
            time.sleep(0.1)
        return True

    def wait_for_quiet(self, seconds, timeout):
        """Waits until no new line has come for `seconds` (at most `timeout` s)."""
        deadline = time.monotonic() + timeout
        last = len(self.log_lines())
        quiet_since = time.monotonic()
        while time.monotonic() < deadline:
            time.sleep(0.1)
            now = len(self.log_lines())
            if now != last:
                last, quiet_since = now, time.monotonic()
            elif time.monotonic() - quiet_since >= seconds:
                return True
        return False

    def wait_exit(self, timeout):
        """The exit code, or None when the program is still running after `timeout` s."""
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def running(self):
        return self.process is not None and self.process.poll() is None

    def cleanup(self):
        if self.process is not None and self.process.poll() is None:
            self.process.kill()
            self.process.wait(10)
        if self.process is not None:
            self._stderr.close()
        if not self._keep:
            shutil.rmtree(self.folder, ignore_errors=True)
