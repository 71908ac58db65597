#!/usr/bin/env bash
# The whole test suite: installs what is missing, configures, builds and runs
# every test through ctest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/install-deps.sh

build="${VEMO_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "$(nproc)"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
