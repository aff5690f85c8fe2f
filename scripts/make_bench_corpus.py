#!/usr/bin/env python3
"""Writes a generated corpus of English-like text for the search benchmarks:
the sentences of the shipped corpus recombined (whole, or two halves joined at a
common word), in files of 2 to 30 KB, some with curly quotes and dashes, and a
few rare phrases planted a fixed number of times whatever the size.

    python3 scripts/make_bench_corpus.py SIZE_MB OUT_DIR [--corpus corpus] [--seed 1]
                                         [--site talewick.org]

Writes OUT_DIR/SITE/*.txt (OUT_DIR must not exist). Never commit the output.
"""

import argparse
import glob
import os
import random
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)

# Phrases that occur nowhere in the shipped corpus, each planted RARE_COUNT times.
RARE_PHRASES = ["the copper kettle sang", "a lantern made of glass beads",
                "the clockmaker's nephew whistled"]
RARE_COUNT = 20
JOINS = [" the ", " and ", " of ", " to ", " in "]


def read_sentences(corpus):
    sentences = []
    for path in sorted(glob.glob(os.path.join(corpus, "*", "*.txt"))):
        with open(path, encoding="utf-8", errors="replace") as f:
            text = re.sub(r"\s+", " ", f.read())
        for sentence in re.split(r"(?<=[.!?])\s+(?=[A-Z\"'])", text):
            if 20 <= len(sentence) <= 400:
                sentences.append(sentence.strip())
    return sentences


def curly(text):
    text = re.sub(r'"([^"]*)"', "\u201c\\1\u201d", text)
    text = re.sub(r"(\w)'(\w)", "\\1\u2019\\2", text)
    return text.replace(" - ", "\u2014").replace("...", "\u2026")


def make_sentence(rng, sentences):
    first = rng.choice(sentences)
    if rng.random() < 0.6:
        return first
    join = rng.choice(JOINS)
    second = rng.choice(sentences)
    i, j = first.find(join), second.find(join)
    if i < 0 or j < 0:
        return first
    return first[:i] + second[j:]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("size_mb", type=float)
    parser.add_argument("out_dir")
    parser.add_argument("--corpus", default=os.path.join(REPO, "corpus"))
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--site", default="talewick.org")
    args = parser.parse_args()

    sentences = read_sentences(args.corpus)
    if not sentences:
        sys.exit("no sentences under %s" % args.corpus)
    rng = random.Random(args.seed)
    site = os.path.join(args.out_dir, args.site)
    os.makedirs(site)
    total = int(args.size_mb * 1024 * 1024)
    # Files by size, so that the planted phrases can go to evenly spread files.
    sizes = []
    while sum(sizes) < total:
        sizes.append(int(min(30000, max(2000, rng.lognormvariate(9.2, 0.6)))))
    planted = {}
    for phrase in RARE_PHRASES:
        for k in range(RARE_COUNT):
            index = (k * len(sizes)) // RARE_COUNT + rng.randrange(max(1, len(sizes) // RARE_COUNT))
            planted.setdefault(min(index, len(sizes) - 1), []).append(phrase)
    written = 0
    for number, size in enumerate(sizes):
        paragraphs = []
        length = 0
        while length < size:
            paragraph = " ".join(make_sentence(rng, sentences) for _ in range(rng.randint(2, 7)))
            if rng.random() < 0.15:
                paragraph = curly(paragraph)
            paragraphs.append(paragraph)
            length += len(paragraph) + 2
        for phrase in planted.get(number, []):
            paragraphs.insert(rng.randrange(len(paragraphs) + 1),
                              "Then %s, and nobody said a word." % phrase.capitalize())
        name = "book-%06d-%s.txt" % (number, rng.choice(["tales", "notes", "letters", "days"]))
        data = "\n\n".join(paragraphs).encode("utf-8") + b"\n"
        with open(os.path.join(site, name), "wb") as out:
            out.write(data)
        written += len(data)
    print("%s: %d files, %.1f MB" % (args.out_dir, len(sizes), written / 1048576.0))


if __name__ == "__main__":
    main()
