#!/usr/bin/env bash
# Runs a Windows executable under Wine for ctest (CMAKE_CROSSCOMPILING_EMULATOR).
# The Wine prefix lives in the build folder and is made once, under a lock, so
# parallel tests share it; no install prompt (mono, gecko) ever appears.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${TALEWICK_WINEPREFIX:-$here/build/windows/wineprefix}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winemenubuilder.exe=d"}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY all_proxy ALL_PROXY
wine=$(command -v wine64 || command -v wine || true)
[ -x /usr/lib/wine/wine64 ] && wine=/usr/lib/wine/wine64
[ -n "$wine" ] || { echo "wine-run.sh: wine64 is not installed" >&2; exit 127; }
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 300 "$wine" wineboot --init >/dev/null 2>&1 || true
    timeout 120 wineserver -w 2>/dev/null || true
  fi
) 9>"$WINEPREFIX.lock"
exec "$wine" "$@"
