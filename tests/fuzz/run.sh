#!/usr/bin/env bash
# Runs the server-bytes fuzzer for a fixed time from the seed corpus.
#   tests/fuzz/run.sh FUZZER SECONDS [WORKDIR]
# Findings (crash, leak, timeout, out-of-memory, a hang) make it exit
# non-zero and leave the input in WORKDIR/artifacts.
set -euo pipefail
fuzzer=$1
seconds=$2
here=$(cd "$(dirname "$0")" && pwd)
work=${3:-$(mktemp -d "${TMPDIR:-/tmp}/vemo-fuzz.XXXXXX")}
mkdir -p "$work/corpus" "$work/artifacts"
cp -n "$here"/corpus/* "$work/corpus/"
export LSAN_OPTIONS="suppressions=$here/../sanitizers/lsan.supp"
# A desktop of up to 512 MiB is legal, so allow allocations of that size.
# libFuzzer's own timer acts only on its fuzzing thread; whatever hangs
# where it does not see, the run still ends, as a failure, a minute after
# it should have.
timeout --kill-after=10 $((seconds + 60)) \
"$fuzzer" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4000 -malloc_limit_mb=1200 \
  -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" 2>&1 \
  | grep -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)' || { echo "fuzzer found a fault; see $work/artifacts"; exit 1; }
echo "fuzzing done; corpus in $work/corpus"
