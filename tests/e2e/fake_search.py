"""The search service of the end-to-end tests: canned result pages on 127.0.0.1
over plain sockets. It records every request and answers each with the current
mode:

    ok      200, the page set for the query words (set_page), else `default`'s
    slow    the same after `delay` seconds (or until the server stops)

The download's faults (silence, stalls, cut and oversized bodies, redirects
away from HTTP, error statuses) are the URL download test's, on both platforms."""

import collections
import http.client
import socketserver
import threading
import time
import urllib.parse

SITE = "talewick.test"


def result_page(words, continuations):
    """A page in the shape of the real service's: the query words highlighted as
    <b>words</b> in one snippet per continuation."""
    snippets = ['<div class="g"><a href="http://%d.%s/post.html">Post %d</a><div class=s>'
                "... <b>%s</b> %s. More text ...</div></div>" % (n, SITE, n, words, text)
                for n, text in enumerate(continuations, 1)]
    return ("\r\n".join(["<html><head><title>Search results</title></head><body>"] + snippets +
                        ["</body></html>", ""])).encode("utf-8")


# The request target as sent, its search words decoded, time.monotonic() on arrival.
Request = collections.namedtuple("Request", "path words time")


def query_words(path):
    """The words before "+site%3A" in the q parameter, spaces sent as %20 or "+"."""
    for field in urllib.parse.urlsplit(path).query.split("&"):
        if field.startswith("q="):
            return urllib.parse.unquote_plus(field[2:].partition("+site%3A")[0])
    return ""


class FakeSearch(socketserver.ThreadingTCPServer):
    daemon_threads = True

    def __init__(self):
        super().__init__(("127.0.0.1", 0), Answer)
        self.stopped = threading.Event()
        self.lock = threading.Condition()
        self.pages, self.default = {}, []
        self.mode, self.delay = "ok", 0.0
        self.requests = []

    def __enter__(self):
        threading.Thread(target=self.serve_forever, daemon=True).start()
        return self

    def __exit__(self, *exc):
        self.stopped.set()
        self.shutdown()
        self.server_close()

    @property
    def host_url(self):
        """The value for TALEWICK_SEARCH_HOST."""
        return "http://127.0.0.1:%d" % self.server_address[1]

    def set_page(self, words, continuations):
        self.pages[words] = continuations

    def set_mode(self, mode, delay=0.0):
        self.mode, self.delay = mode, delay

    def wait_for_requests(self, count, timeout):
        with self.lock:
            return self.lock.wait_for(lambda: len(self.requests) >= count, timeout)


class Answer(socketserver.BaseRequestHandler):
    def handle(self):
        try:
            self.request.settimeout(10)
            head = b""
            while b"\r\n\r\n" not in head and len(head) < 65536:
                chunk = self.request.recv(4096)
                if not chunk:
                    return
                head += chunk
            path = head.split(b" ", 2)[1].decode("latin-1")
            words, server = query_words(path), self.server
            with server.lock:
                server.requests.append(Request(path, words, time.monotonic()))
                server.lock.notify_all()
            self.answer(server.mode, server.delay, words,
                        result_page(words, server.pages.get(words, server.default)))
        except (OSError, IndexError):
            pass  # the client gave up (that is what the faults are for) or sent nonsense

    def answer(self, mode, delay, words, page):
        if mode == "slow":
            self.server.stopped.wait(delay)
        self.request.sendall(_head(200, len(page)) + page)


def _head(status, length):
    return ("HTTP/1.1 %d %s\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n"
            "Content-Length: %d\r\n\r\n" % (status, http.client.responses[status], length)
            ).encode("ascii")
