#!/usr/bin/env python3
"""Measures talewick-search on generated corpora against a baseline in the same
run, and prints one Markdown table per size: indexing time and index file size
against a plain FTS5 bulk load of the same sentences (bench/fts5_baseline), a
contentless one (no text, no column sizes: the floor of the service's own), and a
contentless one of the service's own tokens (its tokenizer, no places), an
indexed start against listing and checking the corpus files, the first search
of common phrases and the time of single phrases asked again and again over HTTP
with one client (p50, p99) and of GET /health, and throughput with p50 and p99 for 1, 8 and 32
concurrent clients asking common phrases. With --windows, the
Windows build's talewick-search.exe and baseline under Wine too, on the same
corpora in the same run.

    python3 scripts/bench_search.py [--build build/linux] [--windows build/windows]
                                    [--sizes 10,100,1000] [--queries 200] [--seconds 5]
                                    [--work build/bench-corpus]
    python3 scripts/bench_search.py --big-file 200 [--build build/linux]
    python3 scripts/bench_search.py --first-asks 300 --sizes 100 [--windows build/windows]
    python3 scripts/bench_search.py --balanced [--build build/linux] [--sizes 100]
                                    [--seconds 10] [--clients 8] [--kill-at 4]

The baseline is built with the benchmarks (-DTALEWICK_BUILD_BENCH=ON; for
--windows, in the windows build too). Corpora are made by make_bench_corpus.py
under the work folder (about 1.1 GB for all sizes; never commit them), and the
index files beside them. Every time is a wall-clock time measured here, from
starting a process to its first line (a service listening) or its end (the
baseline), so that both pay the same start of a process; starts and listings
are the median of three. Query times are whole HTTP round trips, each client on
one kept-alive connection of its own, the concurrent clients in processes of
their own. Under Wine (scripts/wine-run.sh, with the build's Wine prefix) a
wineserver is kept running for the whole run, as Windows keeps its own
services: a start is the start of the program, not of Wine; it is stopped at
the end.

--big-file MB indexes instead a corpus of one file of MB megabytes of words
joined by dots, with no white space at all (the worst case for cutting text
into sentences), with a fresh SQLite index, and reports the time and the peak
memory (RSS) the indexing took, and the time of a query once it is done.

--first-asks N asks what a story asks: N real phrases drawn from the corpus's own
sentences (two and three words one blank apart, from files spread over the
shelf), each asked once, on a later start of the service over the first of
--sizes MB, one client, with the corpus watched and with --watch off (each hit's
file looked at); then N other phrases from 8 client processes on kept-alive
connections, and 2N others from 32, each phrase new to the service's answer
cache. It reports p50, p90, p99 and the slowest (and which), the service's CPU
time an ask (on Linux: steadier than the times on a shared machine), and the
clients' requests/s and p99, with the load average beside them. With
--windows, the Windows build under Wine too, in the same run.

--balanced runs the shipped HAProxy configuration (packaging/haproxy/talewick.cfg,
its addresses made free ports of 127.0.0.1) in front of three services: shard A,
talewick.org, on two replicas sharing one index file, and shard B, fables.org,
on one, each shard a generated corpus of the first of --sizes MB. CLIENTS
processes ask common phrases of both sites in turn through HAProxy for SECONDS,
and one replica of shard A is killed (SIGKILL) KILL_AT seconds in. It reports
the answers, the failures (an error, a status other than 200, or no results for
a phrase that has them), requests/s, p50 and p99, and how many searches each
replica answered and how many HAProxy sent again, beside the answers the same
clients got from one replica asked directly (for its site alone) just before; it exits 1 when a search failed, a replica answered none, or
shard A answered none after the kill, and 77 (skipped) when haproxy is missing.
"""

import argparse
import http.client
import multiprocessing
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
SITE = "talewick.org"
# Each timed alone with one client: common phrases, one whose second word has no
# word-pair token, a rare 3-word phrase (planted by make_bench_corpus.py) and no match.
PHRASES = ["of the", "in the", "the cat", "the copper kettle", "the purple unicorn"]
# What the concurrent clients ask, in turn.
COMMON = ["of the", "in the", "the cat", "and the", "said the"]
# Asked once each, before any other phrase: a phrase asked again is answered
# from the hits it had (kept answers), so these time the finding of them.
FIRST = ["to the", "on the", "at the", "for the", "with the", "from the", "by the", "into the",
         "it was", "he was", "she was", "there was", "of a", "in a", "to be"]
CLIENTS = [1, 8, 32]
CLIENT_TURNS = 2
STARTS = 3
WINE_RUN = os.path.join(HERE, "wine-run.sh")
HAPROXY_CONFIG = os.path.join(REPO, "packaging", "haproxy", "talewick.cfg")
# What the shipped configuration routes where, by the addresses it gives: shard A
# (talewick.org) on a1 and a2, shard B (fables.org) on b1.
BALANCER = "127.0.0.1:8080"
REPLICAS = [("a1", "talewick.org", "127.0.0.1:8081"), ("a2", "talewick.org", "127.0.0.1:8082"),
            ("b1", "fables.org", "127.0.0.1:8083")]
SITES = ["talewick.org", "fables.org"]


def windows_path(path):
    """A path of this machine as a program under Wine names it (drive Z: is /)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Service:
    """The service started on a free port; `seconds` is the time until it is ready.
    `wine`: the exe is a Windows one, run under Wine."""

    def __init__(self, exe, corpus, index, log, wine=False, options=()):
        args = command(exe, wine, "--corpus", corpus, "--port", "0", "--index", index, *options)
        self.wine = wine
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
        return query(self.connection, words)

    def cpu_seconds(self):
        """The CPU seconds (user and system) the service used so far; None under Wine,
        where the process started is a script and the work is shared with the
        wineserver."""
        if self.wine:
            return None
        with open("/proc/%d/stat" % self.process.pid) as stat:
            fields = stat.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

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


def command(exe, wine, *arguments):
    """The command line that runs `exe` with `arguments` (paths made Windows
    ones under Wine)."""
    if not wine:
        return [exe] + list(arguments)
    return ["bash", WINE_RUN, exe] + [windows_path(a) if os.path.isabs(a) else a
                                      for a in arguments]


def query(connection, words, site=SITE):
    """One search on a kept-alive connection: its time in ms and its result count."""
    q = urllib.parse.quote(words) + "+site%3A" + site
    started = time.perf_counter()
    connection.request("GET", "/search?hl=en&q=%s&btnG=Google+Search&meta=" % q)
    # The service writes head and body apart; a delayed ACK here would hold the
    # body back 40 ms (Nagle), which is no part of the query's time.
    connection.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
    response = connection.getresponse()
    body = response.read()
    elapsed = (time.perf_counter() - started) * 1000.0
    if response.status != 200:
        raise RuntimeError("query %r: status %d" % (words, response.status))
    return elapsed, body.count(b"<div class=\"g\">")


def percentile(values, fraction):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def median(values):
    return percentile(values, 0.5)


def time_first_searches(service):
    """p50 and most ms of the first search of each of FIRST, with one client."""
    for _ in range(4):  # each serving thread opens its connection to the index
        service.query("zzzq qqzz")
    times = [service.query(words)[0] for words in FIRST]
    return percentile(times, 0.5), max(times)


def time_health(service, rounds):
    """p50 and p99 in ms of GET /health, what a balancer asks twice a second."""
    times = []
    for _ in range(rounds):
        started = time.perf_counter()
        service.connection.request("GET", "/health")
        service.connection.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
        response = service.connection.getresponse()
        response.read()
        times.append((time.perf_counter() - started) * 1000.0)
        if response.status != 200:
            raise RuntimeError("/health: status %d" % response.status)
    return percentile(times, 0.5), percentile(times, 0.99)


def time_phrases(service, rounds):
    """Each phrase's p50 and p99 in ms, and its result count, with one client."""
    for words in PHRASES:  # warm-up
        service.query(words)
    times = {words: [] for words in PHRASES}
    hits = {}
    for _ in range(rounds):
        for words in PHRASES:
            elapsed, hits[words] = service.query(words)
            times[words].append(elapsed)
    return {words: (percentile(t, 0.5), percentile(t, 0.99), hits[words])
            for words, t in times.items()}


def client(port, first, start_at, stop_at):
    """One concurrent client: common phrases in turn, from `start_at` until
    `stop_at` (time.monotonic, which every process shares); the times in ms of
    the queries that ended in that span."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    connection.connect()
    time.sleep(max(0.0, start_at - time.monotonic()))
    times = []
    turn = first
    while True:
        elapsed, _ = query(connection, COMMON[turn % len(COMMON)])
        if time.monotonic() > stop_at:
            break
        times.append(elapsed)
        turn += 1
    connection.close()
    return times


def time_clients(port, seconds):
    """For each count of clients: requests/s, p50 and p99 in ms. The counts take
    turns, twice over, so that a shared machine whose speed drifts during the run
    weighs on every count alike."""
    times = {count: [] for count in CLIENTS}
    context = multiprocessing.get_context("fork")
    for _ in range(CLIENT_TURNS):
        for count in CLIENTS:
            with context.Pool(count) as pool:
                start_at = time.monotonic() + 1.0  # every client connected by then
                runs = pool.starmap(client, [(port, i, start_at, start_at + seconds / CLIENT_TURNS)
                                             for i in range(count)])
            times[count] += [t for run in runs for t in run]
    return {count: (len(t) / seconds, percentile(t, 0.5), percentile(t, 0.99))
            for count, t in times.items()}


def run_timed(args):
    """Runs a command to its end: its wall-clock seconds and its NAME=VALUE figures."""
    started = time.monotonic()
    done = subprocess.run(args, stdout=subprocess.PIPE, text=True)
    seconds = time.monotonic() - started
    if done.returncode != 0:
        sys.exit("%s failed (status %d)" % (" ".join(args), done.returncode))
    return seconds, dict(item.split("=", 1) for item in done.stdout.split())


def corpus_for(size_mb, work, site=SITE):
    folder = os.path.join(work, "%dMB" % size_mb + ("" if site == SITE else "-" + site))
    if not os.path.isdir(folder):
        subprocess.run([sys.executable, os.path.join(HERE, "make_bench_corpus.py"),
                        str(size_mb), folder, "--site", site], check=True)
    total = 0
    for root, _, files in os.walk(folder):
        for name in files:  # read once, so that no one measured reads from the disk
            with open(os.path.join(root, name), "rb") as f:
                total += len(f.read())
    return folder, total / 1048576.0


def remove_index(index):
    for suffix in ("", "-journal", "-wal", "-shm"):
        if os.path.exists(index + suffix):
            os.remove(index + suffix)


def measure(exe, baseline, corpus, index, rounds, seconds, wine):
    remove_index(index)
    loaded = index + ".fts5"
    remove_index(loaded)
    base_s, base = run_timed(command(baseline, wine, "load", corpus, loaded))
    os.remove(loaded)
    floor_s, floor = run_timed(command(baseline, wine, "load-contentless", corpus, loaded))
    os.remove(loaded)
    own_s, own = run_timed(command(baseline, wine, "load-own-tokens", corpus, loaded))
    os.remove(loaded)
    first = Service(exe, corpus, index, index + ".build.log", wine)
    build_cpu = first.stop()
    list_s = median([run_timed(command(baseline, wine, "list", corpus))[0]
                     for _ in range(STARTS)])
    starts = []
    for _ in range(STARTS - 1):  # from the index just built
        service = Service(exe, corpus, index, index + ".serve.log", wine)
        starts.append(service.seconds)
        service.stop()
    service = Service(exe, corpus, index, index + ".serve.log", wine)
    starts.append(service.seconds)
    result = {
        "text": int(base["text_bytes"]) / 1048576.0,
        "build": first.seconds,
        "build_cpu": build_cpu,
        "base": base_s,
        "base_disk": int(base["bytes_in_use"]) / 1048576.0,
        "floor": floor_s,
        "floor_disk": int(floor["bytes_in_use"]) / 1048576.0,
        "own": own_s,
        "own_disk": int(own["bytes_in_use"]) / 1048576.0,
        "start": median(starts),
        "list": list_s,
        "disk": os.path.getsize(index) / 1048576.0,
        "first": time_first_searches(service),
        "phrases": time_phrases(service, rounds),
        "health": time_health(service, 10 * rounds),
        "clients": time_clients(service.port, seconds),
        "rss": service.peak_rss_mb(),
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


def shipped_words():
    """Every word of the shipped corpus, lower-cased, in order (repeats kept)."""
    words = []
    for root, _, files in os.walk(os.path.join(REPO, "corpus")):
        for name in sorted(files):
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                words.extend(re.findall(r"[a-z]+", f.read().lower()))
    return words


def big_file_corpus(size_mb, work):
    """A corpus of one file of `size_mb` MB: shipped-corpus words joined by dots."""
    folder = os.path.join(work, "bigfile-%dMB" % size_mb)
    path = os.path.join(folder, SITE, "one-big-file.txt")
    if not os.path.exists(path):
        words = shipped_words()
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
    return folder, path


def status_mb(pid, field):
    """A figure of /proc/PID/status (VmHWM, VmRSS) in MB."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith(field + ":"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def fresh_service(exe, corpus, index):
    remove_index(index)
    service = Service(exe, corpus, index, index + ".build.log")
    return service, status_mb(service.process.pid, "VmHWM")


def ask_phrases(port, phrases, start_at, stop_at):
    """A client that asks `phrases` in turn, each once, from `start_at` until
    `stop_at` or the last; the times in ms."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=120)
    connection.connect()
    time.sleep(max(0.0, start_at - time.monotonic()))
    times = []
    for words in phrases:
        if time.monotonic() > stop_at:
            break
        times.append(query(connection, words)[0])
    connection.close()
    return times


def cross_punctuation_phrases(path, count):
    """`count` distinct pairs of words that stand side by side in the dotted file,
    so that they meet only across a dot, from its first 64 MB."""
    with open(path) as f:
        words = f.read(64 * 1048576).split(".")[1:-1]
    rng = random.Random(2)
    phrases = []
    seen = set()
    while len(phrases) < count:
        i = rng.randrange(len(words) - 1)
        phrase = "%s %s" % (words[i], words[i + 1])
        if phrase not in seen:
            seen.add(phrase)
            phrases.append(phrase)
    return phrases


def measure_big_file(exe, size_mb, work, seconds):
    """Indexing a file of words joined by dots; phrases whose words meet only
    across a dot, asked once each; and a trivial query asked beside 8 clients
    of such phrases."""
    corpus, path = big_file_corpus(size_mb, work)
    service, rss = fresh_service(exe, corpus, os.path.join(work, "bigfile-%dMB.sqlite" % size_mb))
    phrases = cross_punctuation_phrases(path, 40 + 8 * 20000)
    first = [service.query(words) for words in phrases[:40]]
    first_ms = [t for t, _ in first]
    context = multiprocessing.get_context("fork")
    with context.Pool(9) as pool:
        start_at = time.monotonic() + 1.0
        stop_at = start_at + seconds
        busy = [pool.apply_async(ask_phrases, (service.port, phrases[40 + i::8], start_at, stop_at))
                for i in range(8)]
        trivial = pool.apply_async(ask_phrases, (service.port, ["zzzq qqzz"] * 1000000, start_at,
                                                 stop_at)).get()
        busy = [t for run in busy for t in run.get()]
    service.stop()
    print("| file | indexing s | peak RSS MB while indexing | cross-punctuation phrases asked "
          "once: p50 / slowest ms (results) | 8 clients of such phrases: p50 / p99 ms | a "
          "trivial query beside them: p50 / p99 ms (asked) |")
    print("|---|---|---|---|---|---|")
    print("| %d MB, no white space | %.1f | %.0f | %.2f / %.2f (%d) | %.2f / %.2f | %.2f / %.2f "
          "(%d) |" % (size_mb, service.seconds, rss, percentile(first_ms, 0.5), max(first_ms),
                      sum(n for _, n in first), percentile(busy, 0.5), percentile(busy, 0.99),
                      percentile(trivial, 0.5), percentile(trivial, 0.99), len(trivial)))


def measure_tiny_sentences(exe, size_mb, work):
    """Indexing one file of "a. " repeated (a sentence every three bytes), then
    one query of its word; the peak memory of each, and what stays resident."""
    folder = os.path.join(work, "tiny-%dMB" % size_mb)
    path = os.path.join(folder, SITE, "tiny-sentences.txt")
    sentences = size_mb * 1000000 // 3
    if not os.path.exists(path):
        os.makedirs(os.path.dirname(path))
        with open(path, "w") as out:
            for _ in range(sentences // 1000000):
                out.write("a. " * 1000000)
            out.write("a. " * (sentences % 1000000))
    service, rss = fresh_service(exe, folder, os.path.join(work, "tiny-%dMB.sqlite" % size_mb))
    # The memory of the build is given back just after the service says it listens.
    time.sleep(1.0)
    elapsed, hits = service.query("a")
    pid = service.process.pid
    after = status_mb(pid, "VmRSS"), status_mb(pid, "VmHWM")
    service.stop()
    print("| file | indexing s | peak RSS MB while indexing | query \"a\" ms (results) | "
          "resident MB after it | peak RSS MB after it |")
    print("|---|---|---|---|---|---|")
    print("| %.0f MB, %d sentences | %.1f | %.0f | %.1f (%d) | %.0f | %.0f |" % (
        os.path.getsize(path) / 1e6, sentences, service.seconds, rss, elapsed, hits, after[0],
        after[1]))


def distinct_phrases(count, corpus):
    """`count` distinct two-word phrases of the corpus's own words."""
    words = {}
    for root, _, files in os.walk(corpus):
        for name in sorted(files)[:200]:
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                for word in re.findall(r"[a-z]+", f.read().lower()):
                    words[word] = words.get(word, 0) + 1
    vocabulary = sorted(words, key=lambda w: -words[w])[:2000]
    rng = random.Random(3)
    phrases = set()
    while len(phrases) < count:
        phrases.add("%s %s" % (rng.choice(vocabulary), rng.choice(vocabulary)))
    return sorted(phrases, key=lambda p: rng.random())


def measure_distinct_queries(exe, count, work):
    """The service's memory over `count` distinct queries on a 40 MB corpus, asked
    by four clients in four rounds."""
    corpus, _ = corpus_for(40, work)
    index = os.path.join(work, "distinct-40MB.sqlite")
    fresh_service(exe, corpus, index)[0].stop()
    service = Service(exe, corpus, index, index + ".serve.log")  # a later start
    pid = service.process.pid
    phrases = distinct_phrases(count, corpus)
    print("| queries asked | resident MB | peak RSS MB |")
    print("|---|---|---|")
    print("| 0 | %.1f | %.1f |" % (status_mb(pid, "VmRSS"), status_mb(pid, "VmHWM")))
    context = multiprocessing.get_context("fork")
    rounds = 4
    for r in range(rounds):
        part = phrases[r * count // rounds:(r + 1) * count // rounds]
        with context.Pool(4) as pool:
            pool.starmap(ask_phrases, [(service.port, part[i::4], 0.0, float("inf"))
                                       for i in range(4)])
        print("| %d | %.1f | %.1f |" % ((r + 1) * count // rounds, status_mb(pid, "VmRSS"),
                                        status_mb(pid, "VmHWM")), flush=True)
    service.stop()


def story_phrases(count, corpus):
    """`count` distinct phrases of two and three words that stand one blank apart
    in sentences of the corpus, drawn from files spread over it."""
    files = sorted(os.path.join(root, name) for root, _, names in os.walk(corpus)
                   for name in names)
    rng = random.Random(7)
    phrases = set()
    for path in rng.sample(files, min(len(files), max(50, count // 2))):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read().lower()
        found = re.findall("(?<![a-z'\u2019])[a-z]+ [a-z]+(?: [a-z]+)?(?![a-z'\u2019])", text)
        for phrase in rng.sample(found, min(len(found), 3)):
            words = phrase.split(" ")
            phrases.add(" ".join(words[:2 + rng.randrange(2)]))
        if len(phrases) >= count:
            break
    ordered = sorted(phrases)  # a set's order changes from one run to the next
    rng.shuffle(ordered)
    return ordered[:count]


def clients_asking(port, phrases, clients, seconds):
    """`clients` processes asking their share of `phrases` at once, each once, for
    at most `seconds`: requests/s and p99 ms."""
    context = multiprocessing.get_context("fork")
    start_at = time.monotonic() + 0.5
    stop_at = start_at + seconds
    with context.Pool(clients) as pool:
        each = pool.starmap(ask_phrases, [(port, phrases[i::clients], start_at, stop_at)
                                          for i in range(clients)])
    together = [t for times_of_one in each for t in times_of_one]
    elapsed = min(seconds, max(sum(times_of_one) for times_of_one in each) / 1000.0)
    return len(together) / elapsed, percentile(together, 0.99)


def measure_first_asks(services, size_mb, count, work, seconds):
    """Each phrase asked once, one client, then new phrases from 8 and 32 clients."""
    corpus, mb = corpus_for(size_mb, work)
    phrases = story_phrases(2 * count, corpus)
    alone, eight = phrases[:count], phrases[count:]
    taken = set(phrases)
    many = [words for words in story_phrases(5 * count, corpus) if words not in taken]
    many = many[:2 * count]
    print("| %d MB, %d phrases asked once | p50 ms | p90 ms | p99 ms | slowest ms (phrase) | "
          "service CPU ms an ask | new phrases, 8 clients: requests/s, p99 ms | 32 clients | "
          "load average |" % (round(mb), count))
    print("|---|---|---|---|---|---|---|---|---|")
    runs = [(name, build, suffix, wine, watch) for name, build, suffix, wine in services
            for watch in ("on", "off")]
    for name, build, suffix, wine, watch in runs:
        exe = os.path.join(build, "talewick-search" + suffix)
        index = os.path.join(work, "%dMB-%s.sqlite" % (size_mb, name.split()[0]))
        if not os.path.exists(index):
            Service(exe, corpus, index, index + ".build.log", wine).stop()
        service = Service(exe, corpus, index, index + ".serve.log", wine, ("--watch", watch))
        name = "%s, watch %s" % (name, watch)
        for _ in range(4):  # each serving thread opens its connection to the index
            service.query("zzzq qqzz")
        load = os.getloadavg()[0]
        cpu_before = service.cpu_seconds()
        times = [(service.query(words)[0], words) for words in alone]
        cpu = ("-" if cpu_before is None else
               "%.2f" % ((service.cpu_seconds() - cpu_before) * 1000.0 / len(alone)))
        ms = [t for t, _ in times]
        slowest = max(times)
        by8 = clients_asking(service.port, eight, 8, seconds)
        by32 = clients_asking(service.port, many, 32, seconds)
        service.stop()
        print("| %s | %.2f | %.1f | %.1f | %.1f (%s) | %s | %.0f, %.1f | %.0f, %.1f | %.1f, %.1f |"
              % (name, percentile(ms, 0.5), percentile(ms, 0.9), percentile(ms, 0.99),
                 slowest[0], slowest[1], cpu, by8[0], by8[1], by32[0], by32[1], load,
                 os.getloadavg()[0]), flush=True)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def balancer_config(ports, balancer_port, stats):
    """The shipped HAProxy configuration with this run's addresses, logging the
    replicas going down and up (not each request) on standard error, and its
    figures on the socket `stats`."""
    with open(HAPROXY_CONFIG) as source:
        text = source.read()
    changes = [("bind " + BALANCER, "bind 127.0.0.1:%d" % balancer_port),
               ("log /dev/log local0", "log stderr format short local0 notice\n"
                "    stats socket " + stats)]
    changes += [("server %s %s" % (name, address), "server %s 127.0.0.1:%d" % (name, ports[name]))
                for name, _, address in REPLICAS]
    for old, new in changes:
        if text.count(old) != 1:
            sys.exit("%s no longer has '%s' once" % (HAPROXY_CONFIG, old))
        text = text.replace(old, new)
    return text


def retries(stats):
    """How many searches of shard A HAProxy tried again on the same replica, and
    how many on another."""
    with socket.socket(socket.AF_UNIX) as connection:
        connection.connect(stats)
        connection.sendall(b"show stat\n")
        text = b"".join(iter(lambda: connection.recv(65536), b"")).decode()
    header, *rows = text.lstrip("# ").splitlines()
    for row in rows:
        fields = dict(zip(header.split(","), row.split(",")))
        if fields.get("pxname") == "shard_a" and fields.get("svname") == "BACKEND":
            return int(fields["wretr"] or 0), int(fields["wredis"] or 0)
    sys.exit("HAProxy's figures have no backend shard_a")


def balanced_client(port, first, start_at, stop_at, sites=SITES):
    """One client of the balancer (or of one service, asked for its site alone),
    asking common phrases of every site in turn from `start_at` until `stop_at`:
    for each answer, when it came, its site and its time in ms; and what went
    wrong with each search that failed."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=60)
    time.sleep(max(0.0, start_at - time.monotonic()))
    answers, failures = [], []
    turn = first
    while time.monotonic() < stop_at:
        site, words = sites[turn % len(sites)], COMMON[turn // len(sites) % len(COMMON)]
        turn += 1
        try:
            elapsed, hits = query(connection, words, site)
            if hits == 0:
                raise RuntimeError("no results")
            answers.append((time.monotonic(), site, elapsed))
        except (OSError, http.client.HTTPException, RuntimeError) as error:
            failures.append("%r site:%s: %s" % (words, site, error))
            connection.close()
    connection.close()
    return answers, failures


def wait_for_balancer(port, seconds=30):
    """Until a search of every site through the balancer has results."""
    deadline = time.monotonic() + seconds
    for site in SITES:
        while True:
            connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
            try:
                if query(connection, COMMON[0], site)[1] > 0:
                    break
            except (OSError, http.client.HTTPException, RuntimeError):
                pass
            finally:
                connection.close()
            if time.monotonic() > deadline:
                sys.exit("the balancer gave no results for site:%s in %d s" % (site, seconds))
            time.sleep(0.2)


def measure_balanced(exe, size_mb, work, seconds, clients, kill_at):
    if shutil.which("haproxy") is None:
        print("skipped: haproxy is not installed (bash scripts/install-deps.sh test)")
        sys.exit(77)
    corpora = {site: corpus_for(size_mb, work, site)[0] for site in SITES}
    load_before = os.getloadavg()[0]
    replicas, balancer = {}, None
    sockets = tempfile.mkdtemp(prefix="talewick-haproxy-")
    logs = {name: os.path.join(work, "balanced-%s.log" % name) for name, _, _ in REPLICAS}
    try:
        for name, site, _ in REPLICAS:  # the replicas of a shard share its index
            index = os.path.join(work, "balanced-%dMB-%s.sqlite" % (size_mb, site))
            replicas[name] = Service(exe, corpora[site], index, logs[name])
        port = free_port()
        config = os.path.join(work, "balanced-haproxy.cfg")
        # A socket's path must be short: not in a deep work folder.
        stats = os.path.join(sockets, "stats")
        with open(config, "w") as out:
            out.write(balancer_config({name: s.port for name, s in replicas.items()}, port, stats))
        with open(os.path.join(work, "balanced-haproxy.log"), "w") as log:
            balancer = subprocess.Popen(["haproxy", "-db", "-f", config], stdout=log,
                                        stderr=subprocess.STDOUT)
        with multiprocessing.get_context("fork").Pool(clients) as pool:
            start_at = time.monotonic() + 1.0
            direct = pool.starmap(balanced_client, [
                (replicas["a2"].port, i, start_at, start_at + seconds, SITES[:1])
                for i in range(clients)])
            wait_for_balancer(port)
            before = searches_answered(logs)
            start_at = time.monotonic() + 1.0  # every client started by then
            runs = pool.starmap_async(balanced_client, [(port, i, start_at, start_at + seconds)
                                                        for i in range(clients)])
            time.sleep(max(0.0, start_at + kill_at - time.monotonic()))
            killed_at = time.monotonic()
            killed = replicas.pop("a1")
            os.kill(killed.process.pid, signal.SIGKILL)
            killed.process.wait()
            killed.process.stdout.close()
            results = runs.get(seconds + 120)
        sent_again = retries(stats)
    finally:
        if balancer:
            balancer.terminate()
            balancer.wait()
        for service in replicas.values():
            service.stop()
        shutil.rmtree(sockets)
    title = "%d clients for %.0f s, a1 killed at %.1f s, %d MB a shard (load %.1f, %.1f)" % (
        clients, seconds, kill_at, size_mb, load_before, os.getloadavg()[0])
    report_balanced(direct, before, results, killed_at, logs, title, seconds)
    print("| shard A's searches tried again on the same replica / on the other (HAProxy) | "
          "%d / %d | |" % sent_again)


def searches_answered(logs):
    """How many searches each service has answered, from its log."""
    served = {}
    for name, log in logs.items():
        with open(log, encoding="utf-8", errors="replace") as lines:
            served[name] = sum(1 for line in lines
                               if line.startswith("GET /search") and " 200 " in line)
    return served


def report_balanced(direct, before, results, killed_at, logs, title, seconds):
    """The figures of a balanced run as a Markdown table, beside those of the
    same clients asking one service directly; exits 1 when a search failed, a
    replica answered none, or shard A none after the kill."""
    answers = [a for run, _ in results for a in run]
    failures = [f for _, run in results + direct for f in run]
    times = [elapsed for _, _, elapsed in answers]
    alone = [elapsed for run, _ in direct for _, _, elapsed in run]
    after_kill = sum(1 for at, site, _ in answers if at > killed_at and site == SITES[0])
    served = {name: count - before[name] for name, count in searches_answered(logs).items()}
    print("| %s | through HAProxy | a2 alone, %s only |\n|---|---|---|" % (title, SITES[0]))
    print("| answers (requests/s) | %d (%.0f) | %d (%.0f) |" % (
        len(answers), len(answers) / seconds, len(alone), len(alone) / seconds))
    print("| failed | %d | |" % len(failures))
    print("| p50 / p99 ms | %.2f / %.2f | %.2f / %.2f |" % (
        percentile(times, 0.5), percentile(times, 0.99), percentile(alone, 0.5),
        percentile(alone, 0.99)))
    print("| searches answered by a1 (until killed) / a2 / b1 | %s | |" % " / ".join(
        str(served[name]) for name, _, _ in REPLICAS))
    print("| %s answers after the kill | %d | |" % (SITES[0], after_kill))
    for failure in failures[:10]:
        print("failed: " + failure)
    if failures or min(served.values()) == 0 or after_kill == 0:
        sys.exit(1)


def table(size, rows):
    """One Markdown table: a row for each figure, a column for each service; with
    two services, a last column compares the second's ratios (or query times)
    with the first's."""
    names = [name for name, _ in rows]
    compare = len(rows) == 2
    lines = ["| %d MB (%.1f MB of text) | %s |%s" % (
                 size, rows[0][1]["text"], " | ".join(names),
                 " %s / %s |" % (names[1], names[0]) if compare else ""),
             "|---|" + "---|" * (len(rows) + compare)]

    def row(label, cell, figure=None):
        cells = [cell(r) for _, r in rows]
        if compare:
            cells.append("%.2fx" % (figure(rows[1][1]) / figure(rows[0][1])) if figure else "")
        lines.append("| %s | %s |" % (label, " | ".join(cells)))

    row("indexing s: service / FTS5 bulk load",
        lambda r: "%.1f / %.1f = **%.2fx**" % (r["build"], r["base"], r["build"] / r["base"]),
        lambda r: r["build"] / r["base"])
    row("indexing s: service / contentless FTS5 load",
        lambda r: "%.1f / %.1f = **%.2fx**" % (r["build"], r["floor"], r["build"] / r["floor"]),
        lambda r: r["build"] / r["floor"])
    row("indexing s: service / contentless load of its own tokens (MB)",
        lambda r: "%.1f / %.1f = **%.2fx** (%.0f)" % (r["build"], r["own"], r["build"] / r["own"],
                                                     r["own_disk"]),
        lambda r: r["build"] / r["own"])
    row("indexing CPU s (service)", lambda r: "%.1f" % r["build_cpu"])
    row("index file MB: service / text (pages in use of the FTS5 bulk load; contentless)",
        lambda r: "%.0f = **%.2fx** (%.0f = %.2fx; %.0f = %.2fx)" % (
            r["disk"], r["disk"] / r["text"], r["base_disk"], r["base_disk"] / r["text"],
            r["floor_disk"], r["floor_disk"] / r["text"]),
        lambda r: r["disk"] / r["text"])
    row("indexed start s / list and stat s",
        lambda r: "%.2f / %.2f = **%.2fx**" % (r["start"], r["list"], r["start"] / r["list"]),
        lambda r: r["start"] / r["list"])
    row("peak RSS serving MB", lambda r: "%.0f" % r["rss"])
    row("GET /health p50 / p99 ms", lambda r: "%.2f / %.2f" % r["health"],
        lambda r: r["health"][0])
    row("first search of a common phrase, p50 / most ms (%d phrases)" % len(FIRST),
        lambda r: "%.2f / %.2f" % r["first"], lambda r: r["first"][0])
    for words in PHRASES:
        row('"%s" p50 / p99 ms (results)' % words,
            lambda r, w=words: "%.2f / %.2f (%d)" % r["phrases"][w],
            lambda r, w=words: r["phrases"][w][0])
    for count in CLIENTS:
        row("%d client%s: requests/s (x 1 client), p50 / p99 ms" % (count, "s" * (count > 1)),
            lambda r, c=count: "%.0f (%.2fx), %.1f / %.1f" % (
                r["clients"][c][0], r["clients"][c][0] / r["clients"][1][0],
                r["clients"][c][1], r["clients"][c][2]),
            None if count == 1 else lambda r, c=count: r["clients"][c][0] / r["clients"][1][0])
    return "\n".join(lines)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default=os.path.join(REPO, "build", "linux"))
    parser.add_argument("--sizes", default="10,100,1000")
    parser.add_argument("--queries", type=int, default=200,
                        help="rounds over the phrases, one client")
    parser.add_argument("--seconds", type=float, default=5.0,
                        help="how long each count of concurrent clients asks")
    parser.add_argument("--windows", metavar="BUILD",
                        help="also measure BUILD/talewick-search.exe under Wine")
    parser.add_argument("--work", default=os.path.join(REPO, "build", "bench-corpus"))
    parser.add_argument("--big-file", type=int, metavar="MB",
                        help="index one file of MB megabytes with no white space")
    parser.add_argument("--tiny-sentences", type=int, metavar="MB",
                        help="index one file of MB million bytes of \"a. \" repeated")
    parser.add_argument("--distinct-queries", type=int, metavar="N",
                        help="the memory over N distinct queries on a 40 MB corpus")
    parser.add_argument("--first-asks", type=int, metavar="N",
                        help="N real phrases of the corpus, each asked once")
    parser.add_argument("--balanced", action="store_true",
                        help="two shards, three replicas behind HAProxy; one is killed")
    parser.add_argument("--clients", type=int, default=8, help="with --balanced")
    parser.add_argument("--kill-at", type=float, metavar="S",
                        help="with --balanced: when a1 is killed (default: 0.4 of --seconds)")
    args = parser.parse_args()
    args.work = os.path.abspath(args.work)
    os.makedirs(args.work, exist_ok=True)
    sizes = [int(s) for s in args.sizes.split(",")]
    # The corpora, their indexes and the bulk loads', with room to spare.
    need = max(8 * 1024 ** 3, 1024 ** 3 + 6 * sum(sizes) * 1024 ** 2)
    if shutil.disk_usage(args.work).free < need:
        sys.exit("less than %.1f GB free under %s" % (need / 1024 ** 3, args.work))
    exe = os.path.join(args.build, "talewick-search")
    if args.big_file:
        measure_big_file(exe, args.big_file, args.work, args.seconds)
    if args.tiny_sentences:
        measure_tiny_sentences(exe, args.tiny_sentences, args.work)
    if args.distinct_queries:
        measure_distinct_queries(exe, args.distinct_queries, args.work)
    if args.big_file or args.tiny_sentences or args.distinct_queries:
        return
    if args.balanced:
        measure_balanced(os.path.join(args.build, "talewick-search"), sizes[0], args.work,
                         args.seconds, args.clients,
                         0.4 * args.seconds if args.kill_at is None else args.kill_at)
        return

    services = [("linux", args.build, "", False)]
    if args.windows:
        services.append(("windows (Wine)", args.windows, ".exe", True))
    if args.first_asks:
        wineserver = Wineserver(args.windows) if args.windows else None
        try:
            measure_first_asks(services, sizes[0], args.first_asks, args.work, args.seconds)
        finally:
            if wineserver:
                wineserver.stop()
        return
    for name, build, suffix, _ in services:
        baseline = os.path.join(build, "bench", "fts5_baseline", "fts5_baseline" + suffix)
        if not os.path.exists(baseline):
            sys.exit("%s: no %s; configure that build with -DTALEWICK_BUILD_BENCH=ON and build "
                     "the target fts5_baseline" % (name, baseline))
    wineserver = Wineserver(args.windows) if args.windows else None
    results = []
    load_before = os.getloadavg()[0]
    try:
        for size in sizes:
            corpus, mb = corpus_for(size, args.work)
            rows = []
            for name, build, suffix, wine in services:
                index = os.path.join(args.work, "%dMB-%s.sqlite" % (size, name.split()[0]))
                print("measuring %s on %.0f MB ..." % (name, mb), file=sys.stderr, flush=True)
                rows.append((name, measure(
                    os.path.join(build, "talewick-search" + suffix),
                    os.path.join(build, "bench", "fts5_baseline", "fts5_baseline" + suffix),
                    corpus, index, args.queries, args.seconds, wine)))
            results.append((size, rows))
    finally:
        if wineserver:
            wineserver.stop()

    print("load average before and after: %.1f, %.1f; %d cores" % (
        load_before, os.getloadavg()[0], os.cpu_count()))
    for size, rows in results:
        print()
        print(table(size, rows))


if __name__ == "__main__":
    main()
