#!/usr/bin/env bash
# Runs a test executable from a small tmpfs of its own, so that the test can fill
# the disk that the program's files live on. Mounting needs root: elsewhere the
# test is reported skipped (77).
#   on_small_disk.sh FREE_KIB EXECUTABLE [ARGUMENT...]
# TALEWICK_TEST_EMULATOR, when not empty, runs the executable (Wine for .exe files).
set -uo pipefail
free_kib=$1 exe=$2
shift 2
disk=$(mktemp -d)
exe_kib=$((($(stat -c %s "$exe") + 1023) / 1024))
if ! mount -t tmpfs -o "size=$((exe_kib + free_kib))k" talewick-small-disk "$disk" 2>/dev/null; then
  rmdir "$disk"
  echo "skipped: cannot mount a tmpfs here (needs root)"
  exit 77
fi
cp "$exe" "$disk/"
TALEWICK_SMALL_DISK=1 ${TALEWICK_TEST_EMULATOR:-} "$disk/$(basename "$exe")" "$@"
status=$?
umount "$disk" 2>/dev/null || umount -l "$disk"
rmdir "$disk"
exit $status
