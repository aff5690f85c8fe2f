#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang 14, ASan + UBSan) and runs
# each for a bounded time, starting from the committed seed corpus.
# Usage: scripts/fuzz.sh [seconds-per-target]   (default 60, or $FUZZ_SECONDS)
# New inputs go to build/fuzz/corpus/<target>/ (the committed seeds stay as they
# are); a crash leaves its input in build/fuzz/artifacts/ and fails the script.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
seconds=${1:-${FUZZ_SECONDS:-60}}
targets=(text_ops_fuzz line_reader_fuzz disect_input_fuzz second_part_fuzz search_query_fuzz)

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target "${targets[@]}"

mkdir -p build/fuzz/artifacts
status=0
for target in "${targets[@]}"; do
  work=build/fuzz/corpus/$target
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=2 -timeout=10
           -rss_limit_mb=2048 -artifact_prefix="build/fuzz/artifacts/$target-")
  [ -f "fuzz/$target.dict" ] && options+=(-dict="fuzz/$target.dict")
  [ "$target" = line_reader_fuzz ] && options+=(-max_len=8192)
  echo "== fuzz: $target for ${seconds}s"
  log=build/fuzz/$target.log
  if "build/fuzz/fuzz/$target/$target" "${options[@]}" "$work" "fuzz/corpus/$target" \
    >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' "$log" || true
  else
    status=1
    echo "FUZZ FAILURE in $target (see $log):"
    grep -v '^#\|^"\|NEW_FUNC\|^INFO' "$log" | tail -40
  fi
done
exit $status
