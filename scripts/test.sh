#!/usr/bin/env bash
# The whole test suite: installs what is missing, then configures, builds and
# runs every test through ctest twice: a normal build, and one with
# AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
# Exits non-zero on any failure. VEMO_SKIP_SANITIZERS=1 runs the first only.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh

run_suite() {
  local dir=$1
  shift
  echo "=== $(basename "$dir"): configure and build"
  cmake -S "$root" -B "$dir" -DVEMO_BUILD_BENCH=OFF "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
  echo "=== $(basename "$dir"): tests"
  (cd "$dir" && ctest --output-on-failure --timeout 600)
}

run_suite "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ "${VEMO_SKIP_SANITIZERS:-0}" != "1" ]; then
  run_suite "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DVEMO_SANITIZE=address
fi
