#!/usr/bin/env bash
# Installs what is missing, builds both programs (native Linux and the MinGW-w64
# cross build) with warnings as errors, checks the formatting, and runs every
# test: the native suite, then the Windows suite under Wine. Each suite makes its
# packages (the .deb; the Windows installer and zip) and tests them as a user would.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/install-deps.sh test

echo "== formatting"
bash scripts/check-format.sh

echo "== build: linux"
cmake --preset linux -DTALEWICK_WERROR=ON -DTALEWICK_BUILD_SEARCHD=ON -DTALEWICK_BUILD_TESTS=ON \
  -DTALEWICK_BUILD_BENCH=ON
cmake --build --preset linux -j"$(nproc)"

echo "== build: windows"
cmake --preset windows -DTALEWICK_WERROR=ON -DTALEWICK_BUILD_TESTS=ON -DTALEWICK_BUILD_BENCH=ON
cmake --build --preset windows -j"$(nproc)"

echo "== tests: linux"
# One test at a time: the end-to-end tests drive real windows and time real cycles.
ctest --preset linux

echo "== tests: windows (under Wine)"
ctest --preset windows

echo "== packages"
ls -l build/linux/talewick_*.deb build/windows/talewick-*-win64.zip build/windows/talewick-*-win64-setup.exe 2>/dev/null || true
