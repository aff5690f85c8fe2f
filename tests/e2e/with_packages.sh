#!/usr/bin/env bash
# Runs a test of the packages after making them with CPack when they are older
# than what goes into them (the programs, the packaging files, the corpus): the
# first package test of a run makes them, under a lock, and the others use them.
#   with_packages.sh BUILD_FOLDER CPACK COMMAND [ARGUMENT...]
set -euo pipefail
build=$1 cpack=$2
shift 2
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
stamp=$build/packages.made
(
  flock 9
  newer=""
  if [ -e "$stamp" ]; then
    newer=$(find "$build" -maxdepth 1 -type f -newer "$stamp" -name 'talewick*' -print -quit)
    newer=$newer$(find "$source_dir/packaging" "$source_dir/corpus" "$build/CPackConfig.cmake" \
      -newer "$stamp" -print -quit)
  fi
  if [ ! -e "$stamp" ] || [ -n "$newer" ]; then
    rm -f "$stamp"
    if ! (cd "$build" && "$cpack" --config CPackConfig.cmake >packages.log 2>&1); then
      cat "$build/packages.log"
      echo "CPack could not make the packages (the whole output is above)"
      exit 1
    fi
    touch "$stamp"
  fi
) 9>"$build/packages.lock"
exec "$@"
