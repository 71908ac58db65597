#!/usr/bin/env bash
# Runs a command under an Xvfb of its own: Xvfb picks a free display and
# reports it through -displayfd, so no existing display is ever used.
# Usage: xvfbrun.sh COMMAND [ARG...]; exits with COMMAND's status.
set -u

if [ $# -eq 0 ]; then
  echo "usage: $0 COMMAND [ARG...]" >&2
  exit 2
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/xvfbrun.XXXXXX") || exit 1
xvfb_pid=""
cmd_pid=""

cleanup() {
  if [ -n "$cmd_pid" ]; then
    kill "$cmd_pid" 2>/dev/null
    wait "$cmd_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

mkfifo "$workdir/displayfd" || exit 1
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp \
  3>"$workdir/displayfd" 2>"$workdir/xvfb.log" &
xvfb_pid=$!

# Xvfb writes the display number once it accepts connections; EOF without
# a number means it failed to start.
display=""
if ! read -r -t 30 display <"$workdir/displayfd" || [ -z "$display" ]; then
  echo "xvfbrun: Xvfb did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
fi

export DISPLAY=":$display"
unset WAYLAND_DISPLAY
# In the background, so that a signal to this script is handled at once
# rather than after the command ends.
"$@" &
cmd_pid=$!
wait "$cmd_pid"
status=$?
cmd_pid=""
exit "$status"
