#!/usr/bin/env bash
# The main job: installs what building and running needs, builds, and runs
# talewick-start from the build folder. It starts the local search service
# (talewick-search) on the shipped corpus and opens Talewick pointed at it. Type
# a few words (try "the cat") and press Enter: the story grows until STOP.
# Closing the window stops the service.
#
#   bash scripts/run.sh              the Linux program (GTK 3)
#   bash scripts/run.sh --windows    the Windows programs under Wine
#
# The build folder (build/linux or build/windows) is the story folder: the story
# "OutPutTextFile.txt" keeps growing over runs there, beside "talewick.log" and
# "talewick-search.log" of the last run. Without a display (no $DISPLAY), it
# runs in a virtual one with xvfb-run, where nobody can see it.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

windows=0
case "${1:-}" in
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: bash scripts/run.sh [--windows]" >&2; exit 2 ;;
esac

groups=(run)
[ "$windows" = 0 ] || groups+=(windows)
[ -n "${DISPLAY:-}" ] || groups+=(xvfb)
bash scripts/install-deps.sh "${groups[@]}"

programs=(talewick talewick-search talewick-start talewick_dictionary talewick_corpus)
if [ "$windows" = 1 ]; then
  preset=windows
else
  preset=linux
fi
cmake --preset "$preset" -DTALEWICK_BUILD_SEARCHD=ON >/dev/null
cmake --build --preset "$preset" --target "${programs[@]}"
folder=$repo/build/$preset

launch=()
if [ -z "${DISPLAY:-}" ]; then
  echo "no display: running in a virtual X server (xvfb-run); nothing will be visible" >&2
  launch=(xvfb-run -a -s "-screen 0 1280x800x24")
fi
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

cat <<EOF

Talewick is starting. When its window opens, type a few words (try "the cat")
in the box at the bottom and press Enter: every few seconds the story grows by
a piece, shown in the window and added to $folder/OutPutTextFile.txt.
STOP pauses it; closing the window ends Talewick and its search service.

EOF

if [ "$windows" = 1 ]; then
  export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/talewick/wineprefix}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=${WINEDEBUG:--all}
  mkdir -p "$WINEPREFIX"
  [ -f "$WINEPREFIX/system.reg" ] || "${launch[@]}" wine wineboot --init >/dev/null 2>&1 || true
  "${launch[@]}" wine "$folder/talewick-start.exe" || true
  wineserver -k 2>/dev/null || true
else
  "${launch[@]}" "$folder/talewick-start" || true
fi
echo "story so far: $folder/OutPutTextFile.txt"
