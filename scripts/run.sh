#!/usr/bin/env bash
# The main job: installs what is missing, builds, starts the local search service
# (talewick-search) on the shipped corpus on a free port, and opens Talewick in a
# story folder beside "dictionary.txt", pointed at that service. Type a few words
# (try "the cat") and press Enter: the story grows until STOP. Closing the window
# stops the service.
#
#   bash scripts/run.sh              the Linux program (GTK 3)
#   bash scripts/run.sh --windows    the Windows program, talewick.exe, under Wine
#
# The story folder is ~/talewick-story (TALEWICK_STORY_FOLDER changes it); its
# "OutPutTextFile.txt" keeps growing over runs. Without a display (no $DISPLAY),
# the program runs in a virtual one with xvfb-run, where nobody can see it.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

windows=0
case "${1:-}" in
  --windows) windows=1 ;;
  "") ;;
  *) echo "usage: bash scripts/run.sh [--windows]" >&2; exit 2 ;;
esac

bash scripts/install-deps.sh

cmake --preset linux -DTALEWICK_BUILD_SEARCHD=ON >/dev/null
cmake --build --preset linux --target talewick talewick-search
if [ "$windows" = 1 ]; then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target talewick
fi

folder=${TALEWICK_STORY_FOLDER:-$HOME/talewick-story}
mkdir -p "$folder"
# The word list is copied once: later edits in the story folder are the user's.
[ -f "$folder/dictionary.txt" ] || cp data/dictionary.txt "$folder/dictionary.txt"
if [ "$windows" = 1 ]; then
  cp build/windows/talewick.exe "$folder/"
else
  cp build/linux/talewick "$folder/"
fi

# Start the service and read its port from its first line.
service_log=$(mktemp)
coproc SEARCH { exec build/linux/talewick-search --corpus corpus --port 0 2>"$service_log"; }
service_pid=$SEARCH_PID
stop_service() { kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; rm -f "$service_log"; }
trap stop_service EXIT
read -r -t 30 ready <&"${SEARCH[0]}" || { echo "talewick-search did not start" >&2; cat "$service_log" >&2; exit 1; }
port=${ready##*:}
echo "search service: http://127.0.0.1:$port (site talewick.org), story folder: $folder"

export TALEWICK_SEARCH_HOST="http://127.0.0.1:$port"
export TALEWICK_SEARCH_SITE="talewick.org"
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY

launch=()
if [ -z "${DISPLAY:-}" ]; then
  echo "no display: running in a virtual X server (xvfb-run); nothing will be visible" >&2
  launch=(xvfb-run -a -s "-screen 0 1280x800x24")
fi

cd "$folder"
if [ "$windows" = 1 ]; then
  export WINEPREFIX=${WINEPREFIX:-$HOME/.local/share/talewick/wineprefix}
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  export WINEDEBUG=${WINEDEBUG:--all}
  mkdir -p "$WINEPREFIX"
  [ -f "$WINEPREFIX/system.reg" ] || "${launch[@]}" wine wineboot --init >/dev/null 2>&1 || true
  "${launch[@]}" wine ./talewick.exe || true
  wineserver -k 2>/dev/null || true
else
  "${launch[@]}" ./talewick || true
fi
echo "story so far: $folder/OutPutTextFile.txt"
