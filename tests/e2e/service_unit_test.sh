#!/usr/bin/env bash
# The .deb's service unit as systemd reads it, unpacked into a root of its own:
# an instance verified (the program and man page it names from the package), and
# its hardening held to an exposure of at most 2.0 of 10. Skipped (77) where
# systemd-analyze is missing.
#   service_unit_test.sh PACKAGE
set -euo pipefail
if ! command -v systemd-analyze >/dev/null; then
  echo "skipped: no systemd-analyze (bash scripts/install-deps.sh test)"
  exit 77
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$1" "$root"
MANPATH=$root/usr/share/man systemd-analyze verify --recursive-errors=no --root="$root" \
  talewick-search@test.service
systemd-analyze security --offline=yes --threshold=20 --root="$root" \
  talewick-search@test.service | tail -1
