#!/usr/bin/env bash
# Installs, with apt-get, whatever a command needs that is missing on a Debian 12
# machine; run as root. Does nothing when everything is there.
#
#   bash scripts/install-deps.sh run            build and run the Linux program
#   bash scripts/install-deps.sh run windows    ... and the Windows one, under Wine
#   bash scripts/install-deps.sh run xvfb       ... in a virtual display
#   bash scripts/install-deps.sh test           everything the test command needs
#                                               (the default)
# TALEWICK_ANALYSIS=1 adds the hardening stage's analysers and sanitizer runtime.
set -euo pipefail

# Boost.Beast (header-only) for the search service, on both platforms, and SQLite
# (with FTS5) for its index file on Linux. NSIS makes the Windows installer.
build=(cmake ninja-build g++ pkg-config python3 libgtk-3-dev libcurl4-openssl-dev libboost-dev
  libsqlite3-dev)
windows=(g++-mingw-w64-x86-64 wine wine64 nsis)
xvfb=(xvfb xauth)
test=("${build[@]}" "${windows[@]}" "${xvfb[@]}"
  clang-format googletest libgtest-dev libbenchmark-dev
  openbox xdotool wmctrl x11-xkb-utils x11-utils imagemagick
  # packages: CPack's Debian generator reads file types and library dependencies
  file dpkg-dev lintian
  # the shipped word list is made from this list
  wamerican)

packages=()
[ $# -gt 0 ] || set -- test
for group in "$@"; do
  case "$group" in
    run) packages+=("${build[@]}") ;;
    windows) packages+=("${windows[@]}") ;;
    xvfb) packages+=("${xvfb[@]}") ;;
    test) packages+=("${test[@]}") ;;
    *) echo "install-deps.sh: unknown group $group (run, windows, xvfb, test)" >&2; exit 2 ;;
  esac
done
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
