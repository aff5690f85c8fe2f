"""A stand-in for the search service in end-to-end tests.

Serves canned result pages on 127.0.0.1, keeps a log of every request and can
be switched into fault modes while the program under test is running. Python 3
standard library only.

In-process use (Python tests):

    with SearchServer() as server:
        server.set_page("the cat", result_page("the cat", ["sat on the mat"]))
        env["TALEWICK_SEARCH_HOST"] = server.host_url
        env["TALEWICK_SEARCH_SITE"] = SITE
        ...
        server.set_mode("http_error")
        server.wait_for_requests(2, timeout=10)
        server.requests[-1].words   # "the cat"

Stand-alone use (any language): python3 search_server.py --port-file F --log F
[--mode MODE]; the chosen port is written to the port file, one line per
request ("<words>\\t<raw path>") is appended to the log, and GET /_mode?set=MODE
switches the mode. The server stops on SIGTERM or SIGINT.

Modes:
    ok          the page set for the query words, else the default page (200)
    http_error  500 with a short body
    not_found   404 with a short body
    drop        the connection is closed without an answer
    slow        the answer is held back `delay` seconds (set_mode(..., delay=S))
    hostile     NUL bytes and a 2 MB line, then the snippet "goes on and on"
"""

import argparse
import http.server
import os
import signal
import sys
import threading
import time
import urllib.parse
from dataclasses import dataclass

SITE = "talewick.test"
MODES = ("ok", "http_error", "not_found", "drop", "slow", "hostile")
# A slow answer never waits longer than this, so a test cannot hang on it.
MAX_DELAY_SECONDS = 30.0


@dataclass
class Request:
    path: str  # the raw request target, as sent
    words: str  # the search words of the q parameter, decoded
    site: str  # the domain after "+site:", decoded
    time: float


def query_words(path):
    """Splits the search words and the site out of a request target.

    The q parameter reads "<words>+site%3A<site>"; the words have their spaces
    percent-encoded (or as "+"), so they are decoded as a form value.
    """
    query = urllib.parse.urlsplit(path).query
    for field in query.split("&"):
        if field.startswith("q="):
            value = field[2:]
            words, _, site = value.partition("+site%3A")
            return urllib.parse.unquote_plus(words), urllib.parse.unquote_plus(site)
    return "", ""


def result_page(words, continuations, title="Search results"):
    """A result page in the shape of the real service: every occurrence of the
    query words is highlighted as <b>words</b>, one snippet per continuation."""
    lines = [
        "<html><head><title>%s</title></head><body>" % title,
        '<div class="results">',
    ]
    for number, continuation in enumerate(continuations, 1):
        lines.append(
            '<div class="g"><a href="http://%d.%s/post.html">Post %d</a>'
            "<div class=s>... <b>%s</b> %s. More text ...</div></div>"
            % (number, SITE, number, words, continuation)
        )
    lines.append("</div></body></html>")
    return ("\r\n".join(lines) + "\r\n").encode("utf-8")


def hostile_page(words, continuations):
    """NUL bytes, invalid UTF-8 and a 2 MB line (longer than the program's line
    buffers) without highlights, followed by an ordinary page."""
    junk = b"<p>\x00\x00binary\x00zone\xff\xfe\xc3(</p>\n"
    long_line = b"<p>" + b"0123456789,;:!?\x00" * (2 * 1024 * 1024 // 16) + b"</p>\n"
    return junk + long_line + junk + result_page(words, continuations)


class SearchServer:
    def __init__(self, default_page=None, log_path=None):
        self._lock = threading.Lock()
        self._pages = {}
        self._default_page = default_page
        self._mode = "ok"
        self._delay = 0.0
        self._log_path = log_path
        self._changed = threading.Condition(self._lock)
        self.requests = []
        self._httpd = None
        self._thread = None

    # --- life -------------------------------------------------------------

    def start(self):
        server = self

        class Handler(http.server.BaseHTTPRequestHandler):
            protocol_version = "HTTP/1.0"

            def do_GET(self):
                server._handle(self)

            def log_message(self, *args):
                pass  # the request log replaces the access log

        self._httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self._httpd.daemon_threads = True
        self._thread = threading.Thread(target=self._httpd.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        if self._httpd is not None:
            self._httpd.shutdown()
            self._httpd.server_close()
            self._httpd = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    @property
    def port(self):
        return self._httpd.server_address[1]

    @property
    def host_url(self):
        """The value for TALEWICK_SEARCH_HOST."""
        return "http://127.0.0.1:%d" % self.port

    # --- control ----------------------------------------------------------

    def set_page(self, words, body):
        with self._lock:
            self._pages[words] = body

    def set_mode(self, mode, delay=0.0):
        if mode not in MODES:
            raise ValueError("unknown mode %r" % mode)
        with self._lock:
            self._mode = mode
            self._delay = min(float(delay), MAX_DELAY_SECONDS)

    def request_count(self):
        with self._lock:
            return len(self.requests)

    def wait_for_requests(self, count, timeout):
        """True once at least `count` requests have arrived, False after `timeout` s."""
        deadline = time.monotonic() + timeout
        with self._changed:
            while len(self.requests) < count:
                left = deadline - time.monotonic()
                if left <= 0:
                    return False
                self._changed.wait(left)
            return True

    # --- answering --------------------------------------------------------

    def _handle(self, handler):
        if handler.path.startswith("/_mode?"):
            self._handle_control(handler)
            return
        words, site = query_words(handler.path)
        with self._changed:
            self.requests.append(Request(handler.path, words, site, time.time()))
            mode, delay = self._mode, self._delay
            page = self._pages.get(words, self._default_page)
            self._changed.notify_all()
        if self._log_path:
            with open(self._log_path, "a", encoding="utf-8") as log:
                log.write("%s\t%s\n" % (words, handler.path))
        if page is None:
            page = result_page(words, [])

        if mode == "drop":
            handler.close_connection = True
            handler.connection.close()
            return
        if mode == "slow":
            time.sleep(delay)
        if mode == "hostile":
            page = hostile_page(words, ["goes on and on"])
        status = {"http_error": 500, "not_found": 404}.get(mode, 200)
        if status != 200:
            page = b"<html><body>error %d</body></html>" % status
        self._answer(handler, status, page)

    def _handle_control(self, handler):
        params = urllib.parse.parse_qs(urllib.parse.urlsplit(handler.path).query)
        try:
            self.set_mode(params.get("set", ["ok"])[0], float(params.get("delay", ["0"])[0]))
        except ValueError as error:
            self._answer(handler, 400, str(error).encode())
            return
        self._answer(handler, 200, b"ok")

    @staticmethod
    def _answer(handler, status, body):
        try:
            handler.send_response(status)
            handler.send_header("Content-Type", "text/html; charset=utf-8")
            handler.send_header("Content-Length", str(len(body)))
            handler.end_headers()
            handler.wfile.write(body)
        except (BrokenPipeError, ConnectionResetError):
            pass  # the client gave up; nothing to report


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--mode", default="ok", choices=MODES)
    parser.add_argument("--delay", type=float, default=0.0)
    args = parser.parse_args(argv)

    server = SearchServer(log_path=args.log).start()
    server.set_mode(args.mode, args.delay)
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    with open(args.port_file + ".tmp", "w") as out:
        out.write("%d\n" % server.port)
    os.replace(args.port_file + ".tmp", args.port_file)
    while not stop.wait(0.5):
        pass
    server.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
