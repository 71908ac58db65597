#!/usr/bin/env bash
# Installs, with apt-get, every Debian 12 package the build, the tests and the
# local demo desktop need; does nothing for packages already present.
set -euo pipefail

packages=(
  build-essential dpkg-dev cmake pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n libgl-dev
  libvncserver-dev libx11-dev libxkbcommon-dev libxcb-shm0-dev libxcb-xkb-dev nettle-dev libxdamage-dev libxtst-dev
  libssh-dev openssh-server openssh-client
  xvfb xauth x11-utils x11-xserver-utils x11-apps xdotool xclip xterm libxtst6
  tigervnc-standalone-server tigervnc-viewer tigervnc-tools qemu-system-x86
  clang libclang-rt-14-dev valgrind
  imagemagick
  qtkeychain-qt6-dev libqt6keychain1 libsecret-1-0
  dbus dbus-x11 gnome-keyring libsecret-tools avahi-daemon avahi-utils libavahi-client-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
