#!/usr/bin/env bash
# Installs, with apt-get, whatever a command needs that is missing on a Debian 12
# machine; run as root. Does nothing when everything is there.
#
#   bash scripts/install-deps.sh run            build and run the Linux program
#   bash scripts/install-deps.sh run windows    ... and the Windows one, under Wine
#                                               (with SQLite for MinGW-w64, made from
#                                               Debian's own source package)
#   bash scripts/install-deps.sh run xvfb       ... in a virtual display
#   bash scripts/install-deps.sh test           everything the test command needs
#                                               (the default)
# TALEWICK_ANALYSIS=1 adds the hardening stage's analysers and sanitizer runtime.
set -euo pipefail

# Boost.Beast (header-only) for the search service, on both platforms, and SQLite
# (with FTS5) for its index file. NSIS makes the Windows installer.
build=(cmake ninja-build g++ pkg-config python3 libgtk-3-dev libcurl4-openssl-dev libboost-dev
  libsqlite3-dev)
# The Windows build's SQLite is compiled from the amalgamation of the Linux
# package's own source (see sqlite_for_mingw below): dpkg-source unpacks it, tclsh
# makes the amalgamation.
windows=(g++-mingw-w64-x86-64 wine wine64 nsis libsqlite3-dev dpkg-dev tcl make xz-utils)
xvfb=(xvfb xauth)
test=("${build[@]}" "${windows[@]}" "${xvfb[@]}"
  clang-format googletest libgtest-dev libbenchmark-dev
  openbox xdotool wmctrl x11-xkb-utils x11-utils imagemagick
  # packages: CPack's Debian generator reads file types and library dependencies
  file dpkg-dev lintian
  # the shipped word list is made from this list
  wamerican
  # the search service behind a balancer, and its service unit checked
  haproxy systemd)

packages=()
want_sqlite_source=0
[ $# -gt 0 ] || set -- test
for group in "$@"; do
  case "$group" in
    run) packages+=("${build[@]}") ;;
    windows) packages+=("${windows[@]}"); want_sqlite_source=1 ;;
    xvfb) packages+=("${xvfb[@]}") ;;
    test) packages+=("${test[@]}"); want_sqlite_source=1 ;;
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

# SQLite for the MinGW-w64 build: the amalgamation (sqlite3.c, sqlite3.h) of the
# very version of Debian's libsqlite3-dev, made from Debian's source package with
# its patches, in /usr/local/src/talewick/sqlite3-VERSION/, where the windows
# preset looks for it. Debian's sources need a deb-src entry, added once.
sqlite_for_mingw() {
  local version target work
  version=$(dpkg-query -W -f='${Version}' libsqlite3-dev)
  target=/usr/local/src/talewick/sqlite3-$version
  [ -f "$target/sqlite3.c" ] && [ -f "$target/sqlite3.h" ] && return 0
  echo "making SQLite $version for MinGW-w64 from Debian's source package"
  if ! apt-get source --print-uris -qq "sqlite3=$version" >/dev/null 2>&1; then
    # The machine's own archives, as deb-src (one-line or deb822 lists).
    local lines stanzas list
    lines=$(grep -hs '^deb ' /etc/apt/sources.list /etc/apt/sources.list.d/*.list |
      sed 's/^deb /deb-src /' || true)
    stanzas=$(for list in /etc/apt/sources.list.d/*.sources; do
      [ -e "$list" ] || continue
      sed -n 's/^Types: deb$/Types: deb-src/; /^Types:\|^URIs:\|^Suites:\|^Components:\|^Signed-By:\|^$/p' \
        "$list"
      echo
    done)
    [ -z "$lines" ] || echo "$lines" >/etc/apt/sources.list.d/talewick-deb-src.list
    grep -q '^Types: deb-src' <<<"$stanzas" &&
      echo "$stanzas" >/etc/apt/sources.list.d/talewick-deb-src.sources
    apt-get update -qq
  fi
  work=$(mktemp -d)
  if ! (cd "$work" && apt-get source -qq --download-only "sqlite3=$version" >/dev/null 2>&1 &&
    dpkg-source -x -q ./*.dsc src >/dev/null 2>&1 &&
    cd src && ./configure --quiet >/dev/null && make -s sqlite3.c >/dev/null); then
    echo "install-deps.sh: cannot make SQLite $version from Debian's source package" >&2
    rm -rf "$work"
    exit 1
  fi
  mkdir -p "$target"
  cp "$work/src/sqlite3.c" "$work/src/sqlite3.h" "$target/"
  rm -rf "$work"
}
if [ "$want_sqlite_source" = 1 ]; then
  sqlite_for_mingw
fi
