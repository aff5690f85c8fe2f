"""A search server that misbehaves on purpose, for end-to-end tests of the
program's download: plain sockets, so each fault is exactly what goes over the
wire. Every request gets the answer of the current mode:

    ok              200 with the page set by set_page()
    never           reads the request, then sends nothing (until stop())
    stall           sends the headers of a 100 kB answer, then nothing
    huge            200 with Content-Length 100 MB, streamed until the client gives up
    huge_unsized    the same without Content-Length, ended by closing
    redirect_file   302 to a file:// URL
    redirect_ftp    302 to an ftp:// URL
    status_429      429 with a page-like body
    status_503      503 with a page-like body

Every wait is bounded: stalled answers end at stop() or after 120 s.
"""

import socket
import threading

MODES = ("ok", "never", "stall", "huge", "huge_unsized", "redirect_file", "redirect_ftp",
         "status_429", "status_503")
HUGE_BYTES = 100 * 1024 * 1024
# What the end-to-end tests of both programs use: every hostile mode, the
# shortened download time-outs (TALEWICK_DOWNLOAD_TIMEOUT_MS) and how long a
# stopped chain must stay quiet (longer than a 2 or 3 s re-arm).
HOSTILE_MODES = MODES[1:]
TIMEOUT_MS = 3000
QUIET_SECONDS = 4.0


def serve_hostile(case):
    """Puts a hostile server in place of a desktop test case's search server and
    shortens the program's download time-outs; returns the server."""
    hostile = HostileServer().start()
    case.addCleanup(hostile.stop)
    case.server = hostile  # start_program points the program at case.server
    desktop_env = case.desktop.env
    case.desktop.env = lambda: dict(desktop_env(), TALEWICK_DOWNLOAD_TIMEOUT_MS=str(TIMEOUT_MS))
    return hostile


class HostileServer:
    def __init__(self):
        self._listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._listener.bind(("127.0.0.1", 0))
        self._listener.listen(16)
        self._stop = threading.Event()
        self._lock = threading.Lock()
        self._mode = "ok"
        self._page = b""
        self._requests = 0
        self._threads = []
        self._acceptor = threading.Thread(target=self._accept_loop, daemon=True)

    def start(self):
        self._acceptor.start()
        return self

    def stop(self):
        self._stop.set()
        try:
            self._listener.close()
        except OSError:
            pass
        for thread in [self._acceptor] + self._threads:
            thread.join(10)

    @property
    def host_url(self):
        return "http://127.0.0.1:%d" % self._listener.getsockname()[1]

    def set_mode(self, mode):
        if mode not in MODES:
            raise ValueError("unknown mode %r" % mode)
        with self._lock:
            self._mode = mode

    def set_page(self, body):
        with self._lock:
            self._page = body

    def request_count(self):
        with self._lock:
            return self._requests

    def _accept_loop(self):
        self._listener.settimeout(0.2)
        while not self._stop.is_set():
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            thread = threading.Thread(target=self._serve, args=(conn,), daemon=True)
            self._threads.append(thread)
            thread.start()

    def _serve(self, conn):
        with conn:
            conn.settimeout(10)
            request = b""
            try:
                while b"\r\n\r\n" not in request and len(request) < 65536:
                    chunk = conn.recv(4096)
                    if not chunk:
                        return
                    request += chunk
            except OSError:
                return
            with self._lock:
                self._requests += 1
                mode, page = self._mode, self._page
            try:
                self._answer(conn, mode, page)
            except OSError:
                pass  # the client gave up: that is what the faults are for

    def _answer(self, conn, mode, page):
        if mode == "ok":
            conn.sendall(_head(200, "OK", len(page)) + page)
        elif mode == "never":
            self._stop.wait(120)
        elif mode == "stall":
            conn.sendall(_head(200, "OK", 100000))
            self._stop.wait(120)
        elif mode in ("huge", "huge_unsized"):
            conn.sendall(_head(200, "OK", HUGE_BYTES if mode == "huge" else None))
            block = (page * (65536 // max(len(page), 1) + 1))[:65536]
            sent = 0
            while sent < HUGE_BYTES and not self._stop.is_set():
                conn.sendall(block)
                sent += len(block)
        elif mode.startswith("redirect_"):
            target = {"redirect_file": "file:///etc/passwd",
                      "redirect_ftp": "ftp://127.0.0.1:9/googleblog.htm"}[mode]
            conn.sendall(_head(302, "Found", 0, [("Location", target)]))
        elif mode.startswith("status_"):
            status = int(mode[len("status_"):])
            reason = {429: "Too Many Requests", 503: "Service Unavailable"}[status]
            conn.sendall(_head(status, reason, len(page), [("Retry-After", "1")]) + page)


def _head(status, reason, length, extra=()):
    lines = ["HTTP/1.1 %d %s" % (status, reason), "Content-Type: text/html",
             "Connection: close"]
    if length is not None:
        lines.append("Content-Length: %d" % length)
    lines += ["%s: %s" % pair for pair in extra]
    return ("\r\n".join(lines) + "\r\n\r\n").encode("ascii")
