#!/usr/bin/env bash
# Runs a command with D-Bus buses of its own: a session bus with an unlocked
# keyring (gnome-keyring-daemon's Secret Service), and a system bus with an
# Avahi daemon that publishes and browses on loopback only. HOME and the XDG
# folders point into a temporary folder, so no keyring or setting of the
# user's is touched. What cannot start is named in VEMO_TEST_NO_KEYRING or
# VEMO_TEST_NO_AVAHI for the tests to skip with; the command runs anyway.
# Usage: privatebuses.sh COMMAND [ARG...]; exits with COMMAND's status.
set -u

workdir=$(mktemp -d "${TMPDIR:-/tmp}/privatebuses.XXXXXX") || exit 1
pids=()
cleanup() {
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[$i]}" 2>/dev/null; wait "${pids[$i]}" 2>/dev/null; done
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export HOME="$workdir/home" XDG_RUNTIME_DIR="$workdir/run" XDG_DATA_HOME="$workdir/home/data"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The system bus Avahi needs, open to this user only.
if command -v dbus-daemon >/dev/null && command -v avahi-daemon >/dev/null; then
  cat >"$workdir/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$workdir/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="$(id -un)"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF
  printf '%s\n' '[server]' 'use-ipv4=yes' 'use-ipv6=no' 'allow-interfaces=lo' 'enable-dbus=yes' \
    'ratelimit-interval-usec=0' '[publish]' 'publish-hinfo=no' 'publish-workstation=no' >"$workdir/avahi.conf"
  dbus-daemon --config-file="$workdir/system.conf" --nofork 2>"$workdir/dbus.log" &
  pids+=($!)
  export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$workdir/system_bus"
  for _ in $(seq 50); do [ -S "$workdir/system_bus" ] && break; sleep 0.1; done
  # Root only: it writes its PID file under /run.
  avahi-daemon --no-drop-root --no-chroot --no-rlimits -f "$workdir/avahi.conf" >"$workdir/avahi.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do grep -q "Server startup complete" "$workdir/avahi.log" && break; sleep 0.1; done
  if ! grep -q "Server startup complete" "$workdir/avahi.log"; then
    export VEMO_TEST_NO_AVAHI="avahi-daemon did not start: $(tail -n 1 "$workdir/avahi.log")"
  fi
else
  export VEMO_TEST_NO_AVAHI="dbus-daemon or avahi-daemon is not installed"
fi

if command -v dbus-run-session >/dev/null && command -v gnome-keyring-daemon >/dev/null; then
  exec 3>&1
  dbus-run-session -- bash -c '
    echo -n vemo-test | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 \
      || export VEMO_TEST_NO_KEYRING="gnome-keyring-daemon did not start"
    exec "$@"' keyring "$@" 2>&1 | grep -v "^dbus-daemon\[" >&3
  status=${PIPESTATUS[0]}
else
  VEMO_TEST_NO_KEYRING="dbus-run-session or gnome-keyring-daemon is not installed" "$@"
  status=$?
fi
exit "$status"
