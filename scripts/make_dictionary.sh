#!/bin/sh
# Builds data/dictionary.txt, the word list Talewick checks input words against,
# from Debian's wamerican list: entries of a-z only, sorted and unique, LF line ends.
# Usage: scripts/make_dictionary.sh [SOURCE] [OUTPUT]
set -eu

src=${1:-/usr/share/dict/american-english}
out=${2:-$(dirname "$0")/../data/dictionary.txt}

if [ ! -r "$src" ]; then
  echo "make_dictionary: cannot read $src (install the wamerican package)" >&2
  exit 1
fi

LC_ALL=C grep -E '^[a-z]+$' "$src" | LC_ALL=C sort -u > "$out.tmp"
mv "$out.tmp" "$out"
echo "make_dictionary: $(wc -l < "$out") words in $out"
