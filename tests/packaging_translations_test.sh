#!/usr/bin/env bash
# The German catalogue against the sources: lupdate, run on a copy, must find
# no text that is new, gone or untranslated, so that every text a user can
# see is in the catalogue. The protocol marker must stay out of it.
#   packaging_translations_test.sh LUPDATE SOURCE_ROOT TS_FILE DIR...
set -euo pipefail
lupdate=$1
source_root=$2
ts=$3
shift 3

work=$(mktemp -d "${TMPDIR:-/tmp}/vemo-ts-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

cp "$ts" "$work/check.ts"
dirs=()
for d in "$@"; do dirs+=("$source_root/$d"); done
"$lupdate" -no-obsolete -locations none "${dirs[@]}" -ts "$work/check.ts" >"$work/lupdate.log" 2>&1 \
  || { cat "$work/lupdate.log" >&2; fail "lupdate failed"; }
cat "$work/lupdate.log"
if grep -q 'tr() cannot be called without context\|Cannot invoke tr()\|Discarding unconsumed' "$work/lupdate.log"; then
  fail "lupdate cannot place some texts in a context"
fi
grep -q '<message' "$work/check.ts" || fail "lupdate found no texts"
if grep -n 'type="unfinished"\|type="vanished"\|type="obsolete"\|<translation></translation>\|<translation/>' \
  "$work/check.ts"; then
  fail "texts without a finished translation (run: cmake --build build --target vemo_lupdate)"
fi
diff -u "$ts" "$work/check.ts" || fail "the catalogue is not up to date with the sources"
if grep -q 'APPLE_VNC_COMPATIBILTY' "$ts"; then
  fail "the internal protocol marker must not be translated"
fi
echo "PASS"
