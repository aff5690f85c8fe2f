#!/usr/bin/env python3
"""Measures talewick-search with both index kinds on generated corpora: index
build time and speed, start time once indexed, peak RSS while serving, and the
time of common and rare phrase queries over HTTP (p50, p99), as one table.

    python3 scripts/bench_search.py [--build build/linux] [--sizes 10,100,1000]
                                    [--kinds sqlite,memory] [--queries 200]
                                    [--work build/bench-corpus]
    python3 scripts/bench_search.py --big-file 200 [--build build/linux]

Needs the talewick-search and talewick-search-memory targets of that build (a
build with tests or benchmarks on). Corpora are made by make_bench_corpus.py
under the work folder (about 1.1 GB for all sizes; never commit them), and the
SQLite index files beside them. Query times are whole HTTP round trips on one
kept-alive connection, measured by this script.

--big-file MB indexes instead a corpus of one file of MB megabytes of words
joined by dots, with no white space at all (the worst case for cutting text
into sentences), with a fresh SQLite index, and reports the time and the peak
memory (RSS) the indexing took, and the time of a query once it is done.
"""

import argparse
import http.client
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
SITE = "talewick.org"
COMMON = ["of the", "in the", "the cat", "and the", "said the"]
# Planted phrases, a phrase of common words that hardly occurs, and no match.
RARE = ["the copper kettle sang", "a lantern made of glass beads",
        "the clockmaker's nephew whistled", "was the of", "the purple unicorn"]
KINDS = [("sqlite", "talewick-search"), ("memory", "talewick-search-memory")]


class Service:
    """The service started on a free port; `seconds` is the time until it is ready."""

    def __init__(self, exe, corpus, index, log):
        args = [exe, "--corpus", corpus, "--port", "0", "--index", index]
        started = time.monotonic()
        with open(log, "w") as errors:
            self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=errors,
                                            text=True)
        ready = self.process.stdout.readline().strip()
        self.seconds = time.monotonic() - started
        if not ready.startswith("listening on 127.0.0.1:"):
            self.process.kill()
            sys.exit("%s did not start: %r (see %s)" % (exe, ready, log))
        self.port = int(ready.rsplit(":", 1)[1])
        self.connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)

    def query(self, words):
        q = urllib.parse.quote(words) + "+site%3A" + SITE
        started = time.perf_counter()
        self.connection.request("GET", "/search?hl=en&q=%s&btnG=Google+Search&meta=" % q)
        # The service writes head and body apart; a delayed ACK here would hold the
        # body back 40 ms (Nagle), which is no part of the query's time.
        self.connection.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        response = self.connection.getresponse()
        body = response.read()
        elapsed = time.perf_counter() - started
        if response.status != 200:
            sys.exit("query %r: status %d" % (words, response.status))
        return elapsed, body.count(b"<div class=\"g\">")

    def peak_rss_mb(self):
        with open("/proc/%d/status" % self.process.pid) as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1]) / 1024.0
        return 0.0

    def stop(self):
        """Stops the service; returns the CPU seconds (user and system) it used."""
        self.connection.close()
        self.process.terminate()
        self.process.stdout.close()
        _, _, usage = os.wait4(self.process.pid, 0)
        self.process.returncode = 0
        return usage.ru_utime + usage.ru_stime


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def time_queries(service, phrases, rounds):
    for words in phrases:  # warm-up
        service.query(words)
    times, hits = [], {}
    for _ in range(rounds):
        for words in phrases:
            elapsed, count = service.query(words)
            times.append(elapsed * 1000.0)
            hits[words] = count
    return percentile(times, 0.5), percentile(times, 0.99), hits


def corpus_for(size_mb, work):
    folder = os.path.join(work, "%dMB" % size_mb)
    if not os.path.isdir(folder):
        subprocess.run([sys.executable, os.path.join(HERE, "make_bench_corpus.py"),
                        str(size_mb), folder], check=True)
    total = 0
    for root, _, files in os.walk(folder):
        total += sum(os.path.getsize(os.path.join(root, name)) for name in files)
    return folder, total / 1048576.0


def measure(exe, kind, corpus, index, rounds):
    for suffix in ("", "-journal"):
        if os.path.exists(index + suffix):
            os.remove(index + suffix)
    first = Service(exe, corpus, index, index + ".build.log")
    build_cpu = None
    if kind == "sqlite":
        build_cpu = first.stop()
        service = Service(exe, corpus, index, index + ".serve.log")  # from the index just built
    else:
        service = first  # nothing is kept: every start builds the index
    common = time_queries(service, COMMON, rounds)
    rare = time_queries(service, RARE, rounds)
    result = {
        "build": first.seconds,
        "build_cpu": build_cpu,
        "start": service.seconds,
        "rss": service.peak_rss_mb(),
        "common": common,
        "rare": rare,
        "disk": os.path.getsize(index) / 1048576.0 if os.path.exists(index) else 0.0,
    }
    cpu = service.stop()
    if result["build_cpu"] is None:
        result["build_cpu"] = cpu  # the memory kind: building is most of it
    return result


def big_file_corpus(size_mb, work):
    """A corpus of one file of `size_mb` MB: shipped-corpus words joined by dots."""
    folder = os.path.join(work, "bigfile-%dMB" % size_mb)
    path = os.path.join(folder, SITE, "one-big-file.txt")
    if not os.path.exists(path):
        words = []
        for root, _, files in os.walk(os.path.join(REPO, "corpus")):
            for name in files:
                with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                    words.extend(re.findall(r"[a-z]+", f.read().lower()))
        rng = random.Random(1)
        os.makedirs(os.path.dirname(path))
        with open(path, "w") as out:
            for _ in range(size_mb):
                block = []
                length = 0
                while length < 1048576:
                    word = rng.choice(words)
                    block.append(word)
                    length += len(word) + 1
                out.write(".".join(block) + ".")
    return folder


def measure_big_file(exe, size_mb, work):
    corpus = big_file_corpus(size_mb, work)
    index = os.path.join(work, "bigfile-%dMB.sqlite" % size_mb)
    for suffix in ("", "-journal"):
        if os.path.exists(index + suffix):
            os.remove(index + suffix)
    service = Service(exe, corpus, index, index + ".build.log")
    rss = service.peak_rss_mb()
    started = time.perf_counter()
    service.query("the")
    query = time.perf_counter() - started
    service.stop()
    print("| file | indexing s | peak RSS MB while indexing | first query s |")
    print("|---|---|---|---|")
    print("| %d MB, no white space | %.1f | %.0f | %.2f |" % (size_mb, service.seconds, rss, query))


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--sizes", default="10,100,1000")
    parser.add_argument("--queries", type=int, default=200,
                        help="rounds over each phrase list")
    parser.add_argument("--kinds", default="sqlite,memory")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "bench-corpus"))
    parser.add_argument("--big-file", type=int, metavar="MB",
                        help="index one file of MB megabytes with no white space")
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    if shutil.disk_usage(args.work).free < 8 * 1024 ** 3:
        sys.exit("less than 8 GB free under %s" % args.work)
    if args.big_file:
        measure_big_file(os.path.join(args.build, "talewick-search"), args.big_file, args.work)
        return

    rows = []
    load_before = os.getloadavg()[0]
    for size in [int(s) for s in args.sizes.split(",")]:
        corpus, mb = corpus_for(size, args.work)
        for kind, name in [k for k in KINDS if k[0] in args.kinds.split(",")]:
            exe = os.path.join(args.build, name)
            index = os.path.join(args.work, "%dMB-%s.sqlite" % (size, kind))
            print("measuring %s on %.0f MB ..." % (kind, mb), file=sys.stderr, flush=True)
            r = measure(exe, kind, corpus, index, args.queries)
            rows.append((size, mb, kind, r))

    print("load average before and after: %.1f, %.1f" % (load_before, os.getloadavg()[0]))
    print("| corpus | index | build s | MB/s | build CPU s | start s | on disk MB | peak RSS MB "
          "| common p50 ms | common p99 ms | rare p50 ms | rare p99 ms |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    for size, mb, kind, r in rows:
        print("| %d MB | %s | %.1f | %.1f | %.1f | %.2f | %s | %.0f | %.2f | %.2f | %.2f | %.2f |" % (
            size, kind, r["build"], mb / r["build"], r["build_cpu"], r["start"],
            "%.0f" % r["disk"] if kind == "sqlite" else "-", r["rss"],
            r["common"][0], r["common"][1], r["rare"][0], r["rare"][1]))
    print()
    for size, _, kind, r in rows:
        print("%d MB %s hits: %s" % (size, kind, dict(r["common"][2], **r["rare"][2])))


if __name__ == "__main__":
    main()
