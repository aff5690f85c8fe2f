#!/usr/bin/env bash
# clang-tidy and cppcheck over the project's own sources (src/, searchd/, fuzz/,
# launcher/), using the compile commands of a Linux build, of the fuzz preset for
# fuzz/, and of the MinGW build for the *_win32.cpp files (clang-tidy reads them
# with MinGW's own headers). Exits non-zero on any finding.
# Usage: scripts/static-analysis.sh [build-folder]   (default build/harden-linux)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build/harden-linux}
jobs=${ANALYSIS_JOBS:-2}

if [ ! -f "$build/compile_commands.json" ]; then
  cmake --preset linux -B "$build" -DTALEWICK_WERROR=ON -DTALEWICK_BUILD_SEARCHD=ON >/dev/null
fi

# The project's own translation units, as the build compiles them.
mapfile -t sources < <(python3 - "$build/compile_commands.json" <<'PY'
import json, os, re, sys
root = os.getcwd() + "/"
seen = set()
for entry in json.load(open(sys.argv[1])):
    path = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
    rel = path[len(root):] if path.startswith(root) else None
    if rel is None or not re.match(r"(src|searchd|fuzz|launcher)/", rel):
        continue
    if rel.endswith("_win32.cpp") or rel in seen:
        continue
    seen.add(rel)
    print(rel)
PY
)
[ ${#sources[@]} -gt 0 ] || { echo "static-analysis: no sources found in $build" >&2; exit 1; }
echo "static analysis of ${#sources[@]} files"

# The fuzz targets are built by clang with the fuzz preset: their own commands.
[ -f build/fuzz/compile_commands.json ] || cmake --preset fuzz >/dev/null
mapfile -t fuzz_sources < <(ls fuzz/*_fuzz.cpp)

# The Windows files, with the commands of a MinGW build (configured only).
windows=build/harden-windows
cmake --preset windows -B "$windows" -DTALEWICK_WERROR=ON >/dev/null
mapfile -t win32_sources < <(git ls-files 'src/*_win32.cpp' 'searchd/*_win32.cpp' 'launcher/*_win32.cpp')
# clang's own builtin headers stand in for GCC's; the C++ library and the Windows
# headers are MinGW's, as the cross compiler finds them.
mingw_args=(--extra-arg=--target=x86_64-w64-mingw32)
while read -r dir; do
  case "$dir" in */include | */include-fixed) ;; *) mingw_args+=("--extra-arg=-isystem$dir") ;; esac
done < <(x86_64-w64-mingw32-g++-posix -E -x c++ - -v </dev/null 2>&1 |
  sed -n '/#include <...> search starts here/,/End of search list/{s/^ //p}' | grep '^/')

status=0
echo "== clang-tidy"
if ! printf '%s\n' "${sources[@]}" |
  xargs -P "$jobs" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null >"$build/clang-tidy.log"; then
  status=1
fi
if ! clang-tidy -p build/fuzz --quiet "${fuzz_sources[@]}" 2>/dev/null >>"$build/clang-tidy.log"; then
  status=1
fi
# Win32 message parameters carry pointers in integers by design: that check stays
# off for these files.
if ! clang-tidy -p "$windows" --quiet "${mingw_args[@]}" --checks=-performance-no-int-to-ptr \
  "${win32_sources[@]}" 2>/dev/null >>"$build/clang-tidy.log"; then
  status=1
fi
if grep -E '(warning|error):' "$build/clang-tidy.log"; then status=1; fi

echo "== cppcheck"
if ! cppcheck --quiet --enable=warning,performance,portability,style --inline-suppr \
  --std=c++20 --language=c++ --error-exitcode=1 -j "$jobs" \
  --suppressions-list=scripts/cppcheck-suppressions.txt \
  -I src -I . -I launcher "${sources[@]}" "${fuzz_sources[@]}"; then
  status=1
fi
if ! cppcheck --quiet --enable=warning,performance,portability,style --inline-suppr \
  --std=c++20 --language=c++ --error-exitcode=1 -j "$jobs" --platform=win64 --library=windows \
  --suppressions-list=scripts/cppcheck-suppressions.txt -I src "${win32_sources[@]}"; then
  status=1
fi

[ $status -eq 0 ] && echo "static analysis: clean"
exit $status
