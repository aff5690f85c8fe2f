#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools is missing on a
# Debian 12 machine. Run as root. Does nothing when everything is there.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  # Linux program, and the search service's index file (SQLite with FTS5)
  libgtk-3-dev libcurl4-openssl-dev libsqlite3-dev
  # Windows program, cross-built, and Wine to run it
  g++-mingw-w64-x86-64 wine wine64
  # tests and benchmarks
  googletest libgtest-dev libbenchmark-dev libcpp-httplib-dev python3
  xvfb xauth openbox xdotool wmctrl x11-xkb-utils x11-utils imagemagick
  # the shipped word list is made from this list
  wamerican
)
if [ "${TALEWICK_ANALYSIS:-0}" = 1 ]; then
  packages+=(clang clang-tidy cppcheck libclang-rt-14-dev llvm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
