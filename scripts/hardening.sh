#!/usr/bin/env bash
# Hardening checks, after scripts/test.sh in CI: static analysis (clang-tidy,
# cppcheck), the native test suite under AddressSanitizer + UBSan with leak
# checking, each libFuzzer target for FUZZ_SECONDS (default 60), and the long run
# of 10,000 cycles. Fails on any finding. About 15-20 minutes on 2 cores.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
fuzz_seconds=${FUZZ_SECONDS:-60}
started=$SECONDS
step() { echo "== hardening: $1 ($((SECONDS - started)) s)"; }

step "tools"
TALEWICK_ANALYSIS=1 bash scripts/install-deps.sh

step "static analysis"
cmake --preset linux -B build/harden-linux -DTALEWICK_WERROR=ON -DTALEWICK_BUILD_SEARCHD=ON \
  >/dev/null
bash scripts/static-analysis.sh build/harden-linux

step "address and undefined-behaviour sanitizers"
cmake --preset asan >/dev/null
cmake --build --preset asan -j2
ctest --preset asan -j2
# The asan test preset leaves the desktop tests out (their screenshot checks are
# timing-bound, and the sanitizers slow painting down); the GO-and-timer one runs
# the real GTK program under the sanitizers, with GTK's own leaks suppressed.
ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  LSAN_OPTIONS=suppressions=$PWD/scripts/lsan-suppressions.txt:print_suppressions=0 \
  ctest --test-dir build/asan -R e2e_go_cycle_then_timer_cycles --output-on-failure

step "fuzzing, ${fuzz_seconds} s per target"
bash scripts/fuzz.sh "$fuzz_seconds"

step "long run"
# A benchmark with its memory target; the native build of scripts/test.sh has it.
if [ ! -x build/linux/bench/long_run_bench/long_run_bench ]; then
  cmake --preset linux -DTALEWICK_BUILD_TESTS=ON -DTALEWICK_BUILD_BENCH=ON >/dev/null
  cmake --build --preset linux -j2 --target long_run_bench
fi
build/linux/bench/long_run_bench/long_run_bench

step "done: no findings"
