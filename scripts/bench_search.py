#!/usr/bin/env python3
"""Measures talewick-search on generated corpora: index build time and speed,
start time once indexed, peak RSS while serving, and the time of common and rare
phrase queries over HTTP (p50, p99), as one table; with --windows, the Windows
build's talewick-search.exe under Wine too, in the same run on the same corpora.

    python3 scripts/bench_search.py [--build build/linux] [--windows build/windows]
                                    [--sizes 10,100,1000] [--queries 200]
                                    [--work build/bench-corpus]
    python3 scripts/bench_search.py --big-file 200 [--build build/linux]

Corpora are made by make_bench_corpus.py under the work folder (about 1.1 GB for
all sizes; never commit them), and the index files beside them. Query times are
whole HTTP round trips on one kept-alive connection, measured by this script.
Under Wine (scripts/wine-run.sh, with the build's Wine prefix) a wineserver is
kept running for the whole run, as Windows keeps its own services: a start is the
start of the service, not of Wine; it is stopped at the end.

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
WINE_RUN = os.path.join(HERE, "wine-run.sh")


def windows_path(path):
    """A path of this machine as a program under Wine names it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Service:
    """The service started on a free port; `seconds` is the time until it is ready.
    `wine`: the exe is a Windows one, run under Wine."""

    def __init__(self, exe, corpus, index, log, wine=False):
        if wine:
            args = ["bash", WINE_RUN, exe, "--corpus", windows_path(corpus), "--port", "0",
                    "--index", windows_path(index)]
        else:
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
    times, hits, each = [], {}, {words: [] for words in phrases}
    for _ in range(rounds):
        for words in phrases:
            elapsed, count = service.query(words)
            times.append(elapsed * 1000.0)
            each[words].append(elapsed * 1000.0)
            hits[words] = count
    phrase_p50 = {words: percentile(values, 0.5) for words, values in each.items()}
    return percentile(times, 0.5), percentile(times, 0.99), hits, phrase_p50


def corpus_for(size_mb, work):
    folder = os.path.join(work, "%dMB" % size_mb)
    if not os.path.isdir(folder):
        subprocess.run([sys.executable, os.path.join(HERE, "make_bench_corpus.py"),
                        str(size_mb), folder], check=True)
    total = 0
    for root, _, files in os.walk(folder):
        total += sum(os.path.getsize(os.path.join(root, name)) for name in files)
    return folder, total / 1048576.0


def measure(exe, corpus, index, rounds, wine):
    for suffix in ("", "-journal"):
        if os.path.exists(index + suffix):
            os.remove(index + suffix)
    first = Service(exe, corpus, index, index + ".build.log", wine)
    build_cpu = first.stop()
    service = Service(exe, corpus, index, index + ".serve.log", wine)  # from the index just built
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
    service.stop()
    return result


class Wineserver:
    """A wineserver kept running (wineserver -p) in the Wine prefix that
    wine-run.sh uses, for the time of the run."""

    def __init__(self, build):
        self.env = dict(os.environ, WINEPREFIX=os.environ.get(
            "TALEWICK_WINEPREFIX", os.path.join(REPO, "build", "windows", "wineprefix")))
        # The first run makes the prefix when it is missing; once its server has
        # gone, one is started that stays.
        subprocess.run(["bash", WINE_RUN, os.path.join(build, "talewick-search.exe"),
                        "--version"], check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)
        subprocess.run(["wineserver", "-p"], env=self.env, check=True)

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, check=False)


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
    parser.add_argument("--windows", metavar="BUILD",
                        help="also measure BUILD/talewick-search.exe under Wine")
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

    services = [("linux", os.path.join(args.build, "talewick-search"), False)]
    wineserver = None
    if args.windows:
        wineserver = Wineserver(args.windows)
        services.append(("windows (Wine)", os.path.join(args.windows, "talewick-search.exe"),
                         True))
    rows = []
    load_before = os.getloadavg()[0]
    try:
        for size in [int(s) for s in args.sizes.split(",")]:
            corpus, mb = corpus_for(size, args.work)
            for name, exe, wine in services:
                index = os.path.join(args.work, "%dMB-%s.sqlite" % (size, name.split()[0]))
                print("measuring %s on %.0f MB ..." % (name, mb), file=sys.stderr, flush=True)
                rows.append((size, mb, name, measure(exe, corpus, index, args.queries, wine)))
    finally:
        if wineserver:
            wineserver.stop()

    print("load average before and after: %.1f, %.1f" % (load_before, os.getloadavg()[0]))
    print("| corpus | service | build s | MB/s | build CPU s | start s | on disk MB | peak RSS MB "
          "| common p50 ms | common p99 ms | rare p50 ms | rare p99 ms |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    for size, mb, name, r in rows:
        print("| %d MB | %s | %.1f | %.1f | %.1f | %.2f | %.0f | %.0f | %.2f | %.2f | %.2f | %.2f |" % (
            size, name, r["build"], mb / r["build"], r["build_cpu"], r["start"], r["disk"],
            r["rss"], r["common"][0], r["common"][1], r["rare"][0], r["rare"][1]))
    print()
    print("| corpus | service | " + " | ".join('"%s" p50 ms' % w for w in COMMON) + " |")
    print("|---|---|" + "---|" * len(COMMON))
    for size, _, name, r in rows:
        print("| %d MB | %s | %s |" % (size, name, " | ".join(
            "%.2f" % r["common"][3][w] for w in COMMON)))
    print()
    for size, _, name, r in rows:
        print("%d MB %s hits: %s" % (size, name, dict(r["common"][2], **r["rare"][2])))


if __name__ == "__main__":
    main()
