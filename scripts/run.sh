#!/usr/bin/env bash
# Builds vemo and runs it.
#
#   scripts/run.sh [URL [QUALITY]]
#
# Without a URL it connects to the first local display, 127.0.0.1:5900; when
# nothing listens there it first starts a small VNC desktop of its own
# (TigerVNC's Xvnc, loopback only, with an xterm and a clock) and stops it
# again when the viewer exits. Without $DISPLAY the viewer runs on a virtual
# screen (Xvfb), and the script saves a screenshot, says where, and ends.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="${VEMO_BUILD_DIR:-$root/build}"

scripts/install-deps.sh
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target vemo -j "$(nproc)"
vemo="$build/shell/vemo"

workdir=$(mktemp -d "${TMPDIR:-/tmp}/vemo-run.XXXXXX")
started=()   # PIDs of what this script started, ended in reverse order

cleanup() {
  local i
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    kill "${started[$i]}" 2>/dev/null || true
  done
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    wait "${started[$i]}" 2>/dev/null || true
  done
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

listening() { (exec 3<>"/dev/tcp/$1/$2") 2>/dev/null; }

# Starts an X server ($@) that reports its display number through -displayfd;
# sets server_display and adds its PID to 'started'.
start_x_server() {
  local fifo="$workdir/displayfd.$1" log="$workdir/$1.log"
  mkfifo "$fifo"
  "$@" -displayfd 3 3>"$fifo" 2>"$log" &
  started+=($!)
  if ! read -r -t 30 server_display <"$fifo" || [ -z "$server_display" ]; then
    echo "run.sh: $1 did not start:" >&2
    cat "$log" >&2
    exit 1
  fi
}

url="${1:-vnc://127.0.0.1:0}"
if [ $# -eq 0 ] && ! listening 127.0.0.1 5900; then
  echo "Nothing listens on 127.0.0.1:5900: starting a local VNC desktop there."
  start_x_server Xvnc -rfbport 5900 -localhost -SecurityTypes None \
    -geometry 1024x768 -depth 24 -nolisten tcp -desktop "vemo demo"
  desktop=":$server_display"
  DISPLAY=$desktop xsetroot -solid '#2f4f6f'
  DISPLAY=$desktop xterm -geometry 80x24+40+60 -title "vemo demo" \
    -e bash -c 'echo "A VNC desktop, shown by vemo."; exec bash' &
  started+=($!)
  DISPLAY=$desktop xclock -geometry 180x180+800+60 -update 1 &
  started+=($!)
  for _ in $(seq 50); do listening 127.0.0.1 5900 && break; sleep 0.1; done
fi

if [ -n "${DISPLAY:-}" ]; then
  # Waited for in the background, so that a signal to this script is handled
  # at once; the desktop stops when the window is closed.
  "$vemo" "$url" "${@:2}" &
  vemo_pid=$!
  started+=("$vemo_pid")
  status=0
  wait "$vemo_pid" || status=$?
  unset 'started[${#started[@]}-1]'
  exit "$status"
fi

# No screen here: show it on a virtual one and keep a picture of it.
start_x_server Xvfb -screen 0 1280x1024x24 -nolisten tcp
export DISPLAY=":$server_display"
unset WAYLAND_DISPLAY
QT_QPA_PLATFORM=xcb "$vemo" "$url" "${@:2}" &
started+=($!)
vemo_pid=$!

# Once the remote screen shows, the title says how the session is secured
# instead of "(connecting)".
window=""
for _ in $(seq 100); do
  window=$(xdotool search --pid "$vemo_pid" --name ' \((not encrypted|encrypted[^)]*)\) - vemo$' 2>/dev/null \
    | head -n 1 || true)
  [ -n "$window" ] && break
  kill -0 "$vemo_pid" 2>/dev/null || break
  sleep 0.2
done
if [ -z "$window" ]; then
  echo "run.sh: the viewer did not connect; the screenshot shows what it says." >&2
  window=$(xdotool search --pid "$vemo_pid" --name ' - vemo$' 2>/dev/null | head -n 1 || true)
fi
sleep 1
shot="$build/vemo-screenshot.png"
if [ -n "$window" ]; then
  import -window "$window" "$shot"
else
  import -window root "$shot"
fi
echo "Screenshot of the viewer: $shot"
