#!/usr/bin/env python3
"""Composes the generated part of Talewick's shipped corpus.

Sentences are built from hand-written word lists and sentence patterns, so that
common phrases ("the cat", "the old man", "once upon a time", "in the", "she said")
stand many times with different words after them, and the places and times that
end one sentence also stand in the middle of others. The output is deterministic
for a given seed; the generated files are committed beside the hand-written ones,
named so that they sort after them (the search service lists results in file-name
order, and the hand-written prose should come first).

A last file, the echoes, picks up where the hand-written prose leaves a reader
stranded: when the last words of a hand-written sentence never stand in the
middle of another sentence, one sentence is composed that quotes them and goes
on, so that a story grown from them does not stop there.

Usage: scripts/make_corpus.py [--out DIR] [--bytes N] [--seed N] [--files N]
"""

import argparse
import glob
import os
import random
import re

# (noun phrase, pronoun). Pronouns let a paragraph keep talking about one subject.
SUBJECTS = [
    ("the cat", "she"), ("the old man", "he"), ("the old woman", "she"),
    ("the little girl", "she"), ("the young man", "he"), ("the boy", "he"),
    ("the dog", "he"), ("the king", "he"), ("the queen", "she"), ("the baker", "she"),
    ("the fisherman", "he"), ("the farmer", "he"), ("my grandmother", "she"),
    ("my grandfather", "he"), ("the teacher", "she"), ("the stranger", "he"),
    ("the miller", "he"), ("the fox", "he"), ("the traveller", "she"),
    ("the shepherd", "he"), ("the black cat", "she"), ("the grey cat", "she"),
    ("the old cat", "he"), ("the tailor", "he"), ("the widow", "she"),
    ("the princess", "she"), ("the soldier", "he"), ("the innkeeper", "she"),
    ("the old man with the stick", "he"), ("the cat from next door", "she"),
    ("the youngest son", "he"), ("the woman in the blue coat", "she"),
    ("the little bird", "she"), ("the children", "they"), ("the two sisters", "they"),
]

# Things done without an object, in the past tense.
ACTIONS = [
    "sat", "slept", "waited", "sang quietly", "walked slowly", "stood still",
    "looked out", "listened", "laughed", "rested", "worked all day", "read a book",
    "ate an apple", "watched the rain", "fell asleep", "counted the stars",
    "hummed a tune", "sat for a long time", "waited patiently", "warmed her hands",
    "told a story", "closed her eyes", "kept very still", "dreamed of the sea",
    "drank a cup of tea", "sat and thought", "wrote in a small book", "stayed",
    "sat down", "lay in the sun", "cried a little", "whistled", "smiled",
]

# Things done to something.
DEEDS = [
    "opened the door", "closed the window", "found a key", "carried a basket of apples",
    "lit the lamp", "mended the net", "baked the bread", "fed the chickens",
    "wrote a letter", "picked up the old hat", "swept the floor", "chopped the wood",
    "painted the gate", "planted a tree", "cleaned the pots", "counted the coins",
    "caught a fish", "lost a glove", "broke a cup", "hid the letter", "found a feather",
    "filled the kettle", "sold the cow", "bought a loaf of bread", "climbed the stairs",
    "crossed the river", "followed the path", "rang the bell", "sharpened the knife",
    "watched the boats", "heard a song", "saw a light", "saw the moon",
    "picked the last of the plums", "folded the blankets", "unlocked the chest",
    "mended the roof", "fed the cat", "carried the lamp", "read the letter again",
]

PLACES = [
    "by the fire", "in the garden", "on the wall", "under the old tree",
    "at the edge of the wood", "in the kitchen", "on the kitchen table", "by the window",
    "near the river", "on the hill", "in the barn", "at the end of the lane",
    "in the middle of the road", "on the steps of the church", "beside the well",
    "behind the house", "in the shade of the apple tree", "at the top of the stairs",
    "on the bridge", "in the market square", "by the sea", "in the old mill",
    "under the bridge", "in the village", "at the bottom of the garden", "on the roof",
    "by the door", "in the forest", "in the attic", "on the shore", "in the meadow",
    "at the gate", "by the pond", "in the little house", "in the castle",
    "on the road to the city", "in the harbour", "at the foot of the mountain",
]

# Times of three words or more: a sentence that ends in one hands the next query
# (its last three words) a phrase that also stands in the middle of other sentences.
TIMES = [
    "in the morning", "in the evening", "late at night", "after supper was over",
    "before the dawn", "on a sunday afternoon", "in the spring", "in the winter",
    "every day of the week", "for a long time", "all the afternoon", "at twelve o'clock",
    "in the summer", "in the autumn", "on the next day", "after a while",
    "every single evening", "later that night", "before breakfast was ready",
    "in the middle of the night", "early one morning", "in the dark", "all through the night",
    "at the end of the day", "on the day before", "in the first light",
]

CONNECTORS = ["and then", "and", "while", "because", "until", "but", "so", "when", "before",
              "after"]

ADJECTIVES = ["old", "little", "quiet", "poor", "clever", "lonely", "kind", "tired", "brave",
              "wise", "young", "grey", "small", "proud", "happy", "strange", "gentle"]
NOUNS = [("cat", "she"), ("man", "he"), ("woman", "she"), ("fisherman", "he"),
         ("king", "he"), ("baker", "she"), ("fox", "he"), ("girl", "she"), ("boy", "he"),
         ("shepherd", "he"), ("queen", "she"), ("dog", "he"), ("miller", "he"),
         ("goose", "she"), ("tailor", "he"), ("widow", "she")]
HOMES = ["in a small house by the sea", "at the edge of a great forest",
         "in a village by the river", "at the top of a tall tower", "in a cottage on the hill",
         "in a town where it always rained", "in the old mill by the stream",
         "in a house with a green door", "on a farm at the end of the valley",
         "in a castle made of grey stone", "under the roots of an oak tree"]
WANTS = ["wanted to see the sea", "could not sleep", "was afraid of the dark",
         "loved to sing", "had never left home", "kept a secret", "talked to the birds",
         "could not tell a lie", "dreamed of the mountains", "was always hungry",
         "had lost a golden ring", "collected old keys", "wanted to be a sailor",
         "counted everything", "never said a word"]

SAY_VERBS = ["said", "asked", "whispered", "answered", "called", "replied"]
REMARKS = [
    "it is getting late", "the kettle is boiling", "we should go home",
    "the river is rising", "there is bread on the table", "the cat is on the roof again",
    "i can hear the sea", "it will rain before night", "come and sit by the fire",
    "the old man is asleep", "look at the moon", "i have lost my hat",
    "the door was open", "nobody knows the way", "the snow is coming",
    "tell me a story", "once upon a time there was a cat", "the bread is still warm",
    "the light is on in the window", "we will go in the morning", "the boat is ready",
]


def cap(text):
    return text[:1].upper() + text[1:]


def clause(rng, subject, final=False):
    """One subject with something it did. A clause that ends a sentence always ends in
    a place, a time or an object, never in a bare verb, so that its last words can be
    searched for again."""
    bare = rng.random() < 0.45
    verb = rng.choice(ACTIONS if bare else DEEDS)
    if subject[1] in ("he", "they"):
        verb = verb.replace("her ", "his " if subject[1] == "he" else "their ")
    roll = rng.random()
    if roll < 0.5 or (bare and final and roll >= 0.85):
        tail = " " + rng.choice(PLACES)
    elif roll < 0.75:
        tail = " " + rng.choice(TIMES)
    elif roll < 0.85:
        tail = " " + rng.choice(PLACES) + " " + rng.choice(TIMES)
    else:
        tail = ""
    return subject[0] + " " + verb + tail


def speech(rng):
    speaker = rng.choice(SUBJECTS)[0] if rng.random() < 0.5 else rng.choice(["she", "he"])
    verb = rng.choice(SAY_VERBS)
    remark = cap(rng.choice(REMARKS))
    said = speaker + " " + verb if speaker in ("she", "he") or rng.random() < 0.5 else (
        verb + " " + speaker)
    roll = rng.random()
    if roll < 0.4:
        return '"' + remark + '," ' + said + "."
    if roll < 0.8:
        return ('"' + remark + '," ' + said + ", " + rng.choice(CONNECTORS) + " " +
                clause(rng, rng.choice(SUBJECTS), final=True) + ".")
    if not remark.startswith("I "):
        remark = remark[0].lower() + remark[1:]
    return cap(said) + " that " + remark + " " + rng.choice(PLACES) + "."


def sentence(rng, main):
    """One sentence, mostly about `main` (a subject pair)."""
    other = rng.choice(SUBJECTS)
    who = main if rng.random() < 0.6 else other
    if rng.random() < 0.3:
        who = (main[1], main[1])
    roll = rng.random()
    if roll < 0.20:
        return cap(clause(rng, who, final=True)) + "."
    if roll < 0.42:
        return cap(clause(rng, who)) + ", " + rng.choice(CONNECTORS) + " " + clause(
            rng, other, final=True) + "."
    if roll < 0.54:
        return cap(rng.choice(TIMES)) + ", " + clause(rng, who, final=True) + "."
    if roll < 0.66:
        return speech(rng)
    if roll < 0.72:
        return cap(who[0]) + " said that " + clause(rng, other, final=True) + "."
    if roll < 0.80:
        noun = rng.choice(NOUNS)
        adjective = rng.choice(ADJECTIVES)
        article = "an" if adjective[0] in "aeiou" else "a"
        start = "Once upon a time there was " + article + " " + adjective + " " + noun[0]
        if rng.random() < 0.5:
            return start + " who lived " + rng.choice(HOMES) + "."
        return (start + " who " + rng.choice(WANTS) + ", and " + noun[1] + " lived " +
                rng.choice(HOMES) + ".")
    if roll < 0.86:
        return ("Once upon a time, " + rng.choice(HOMES) + ", there lived " + rng.choice(
            ["a cat", "an old man", "a young woman", "a king", "a fox", "a baker"]) + " who " +
                rng.choice(WANTS) + " " + rng.choice(TIMES) + ".")
    return cap(clause(rng, who)) + " " + rng.choice(PLACES) + ", and " + clause(
        rng, (who[1], who[1]), final=True) + "."


def paragraph(rng):
    main = rng.choice(SUBJECTS)
    return " ".join(sentence(rng, main) for _ in range(rng.randint(3, 8)))


SURFACES = ["in a small book", "on the back of a letter", "in the margin of an old map",
            "on a scrap of paper", "in chalk on the door", "in the dust on the window",
            "on the first page of a diary", "in the sand by the water"]

ECHO_FRAMES = [
    '"{P}," {who} said again, and {clause}.',
    "{Who} wrote the words {p} {surface}, and {clause}.",
    "{Who} remembered a line that went {p}, {connector} {clause}.",
    "Nobody knew why {who} kept saying {p} {time}, but {clause}.",
    "The song that {who} sang ended with {p}, and {clause}.",
    '"{P}," {who} repeated softly, {connector} {clause}.',
]


def split_sentences(text):
    """Roughly as the search service cuts text: at a stop followed by blank space,
    and at blank lines."""
    pieces = re.split(r"(?<=[.!?])[\"')\]]*\s+|\n\s*\n", text)
    return [" ".join(piece.split()) for piece in pieces if re.search(r"[A-Za-z]", piece)]


def ending_phrase(sentence, dictionary):
    """The words a reader of the result page would search for next after reading
    this sentence: the last three of its letters-only words found in the word list."""
    letters = re.sub(r"[^a-z ]", "", sentence.lower())
    words = [w for w in letters.split() if not dictionary or w in dictionary]
    return " ".join(words[-3:]) if len(words) >= 2 else ""


def followed_phrases(sentences):
    """Every run of one to three words that stands, with single blanks only, inside a
    sentence and has more letters after it in the same sentence."""
    found = set()
    for sentence in sentences:
        lower = sentence.lower()
        for run in re.finditer(r"[a-z']+(?: [a-z']+)*", lower):
            words = [(m.start() + run.start(), m.end() + run.start())
                     for m in re.finditer(r"[a-z']+", run.group())]
            for i in range(len(words)):
                for j in range(i, min(i + 3, len(words))):
                    if re.search(r"[a-z]", lower[words[j][1] + 1:]):
                        found.add(lower[words[i][0]:words[j][1]])
    return found


def echoes(rng, folder, dictionary):
    sentences = []
    composed = []
    for path in sorted(glob.glob(os.path.join(folder, "*.txt"))):
        name = os.path.basename(path)
        if name == "variations-echoes.txt":
            continue
        with open(path, encoding="ascii") as text:
            pieces = split_sentences(text.read())
        (composed if name.startswith("variations-") else sentences).extend(pieces)
    known = followed_phrases(sentences + composed)
    lines = []
    for sentence in sentences:
        phrase = ending_phrase(sentence, dictionary)
        if not phrase or phrase in known:
            continue
        known.add(phrase)
        subject = rng.choice(SUBJECTS)
        lines.append(rng.choice(ECHO_FRAMES).format(
            P=cap(phrase), p=phrase, who=subject[0], Who=cap(subject[0]),
            connector=rng.choice(CONNECTORS), time=rng.choice(TIMES),
            surface=rng.choice(SURFACES),
            clause=clause(rng, rng.choice(SUBJECTS), final=True)))
    return lines


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    here = os.path.dirname(os.path.abspath(__file__))
    parser.add_argument("--out", default=os.path.join(here, "..", "corpus", "talewick.org"))
    parser.add_argument("--bytes", type=int, default=270_000)
    parser.add_argument("--seed", type=int, default=20261206)
    parser.add_argument("--files", type=int, default=6)
    args = parser.parse_args()

    rng = random.Random(args.seed)
    seen = set()
    per_file = args.bytes // args.files
    for number in range(1, args.files + 1):
        paragraphs = []
        size = 0
        while size < per_file:
            text = paragraph(rng)
            if text in seen:
                continue
            seen.add(text)
            paragraphs.append(text)
            size += len(text) + 2
        path = os.path.join(args.out, "variations-%02d.txt" % number)
        with open(path, "w", encoding="ascii", newline="\n") as out:
            out.write("\n\n".join(paragraphs) + "\n")
        print("make_corpus: %s, %d bytes" % (os.path.normpath(path), size))

    dictionary_path = os.path.join(here, "..", "data", "dictionary.txt")
    dictionary = set()
    if os.path.exists(dictionary_path):
        with open(dictionary_path, encoding="ascii") as words:
            dictionary = set(words.read().split())
    lines = echoes(rng, args.out, dictionary)
    path = os.path.join(args.out, "variations-echoes.txt")
    with open(path, "w", encoding="ascii", newline="\n") as out:
        for start in range(0, len(lines), 6):
            out.write(" ".join(lines[start:start + 6]) + "\n\n")
    print("make_corpus: %s, %d sentences" % (os.path.normpath(path), len(lines)))


if __name__ == "__main__":
    main()
