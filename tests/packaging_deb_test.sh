#!/usr/bin/env bash
# The Debian package: builds it with CPack from this build tree, checks its
# control data and contents, lets apt judge whether it could be installed
# here, unpacks it into a scratch root and runs the vemo inside.
#   packaging_deb_test.sh CPACK BUILD_DIR
set -euo pipefail
cpack=$1
build=$2

work=$(mktemp -d "${TMPDIR:-/tmp}/vemo-deb-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

if ! (cd "$build" && "$cpack" -G DEB -B "$work/out" --config "$build/CPackConfig.cmake") \
  >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  fail "cpack did not build the package"
fi
debs=("$work"/out/vemo_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one vemo_*.deb, found: ${debs[*]}"
deb=${debs[0]}
dpkg-deb -I "$deb"

[ "$(dpkg-deb -f "$deb" Package)" = vemo ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
depends=$(dpkg-deb -f "$deb" Depends)
for p in libqt6widgets6 libqt6gui6 libqt6core6 libvncclient1 libqt6keychain1 libssh-4 qt6-qpa-plugins; do
  grep -Eq "(^|, )$p( \\(|,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done
# Qt's translated dialog buttons.
dpkg-deb -f "$deb" Recommends | tr -d " " | tr , "\n" | grep -qx qt6-translations-l10n || fail "Recommends lacks qt6-translations-l10n"
# Every dependency must be a package of this distribution that is present in
# a version that satisfies it; apt checks that without installing anything.
apt-get install -s --no-install-recommends "$deb" >"$work/apt.log" 2>&1 \
  || { cat "$work/apt.log" >&2; fail "apt would not install the package"; }
grep -q '^Inst vemo ' "$work/apt.log" || { cat "$work/apt.log" >&2; fail "apt did not plan to install vemo"; }

dpkg-deb -c "$deb" | awk '{print $NF}' >"$work/contents"
for f in ./usr/bin/vemo ./usr/share/applications/vemo.desktop \
  ./usr/share/icons/hicolor/scalable/apps/vemo.svg ./usr/share/man/man1/vemo.1.gz \
  ./usr/share/vemo/translations/vemo_de.qm; do
  grep -qxF "$f" "$work/contents" || fail "the package lacks $f"
done

# The SSH tunnel is a module of its own: the program itself needs neither
# libssh nor OpenSSL, which cost every session memory.
grep -Eq '^\./usr/lib/([^/]+/)?vemo/vemo-ssh\.so$' "$work/contents" || fail "the package lacks the SSH module"

root="$work/root"
dpkg -x "$deb" "$root"
! readelf -d "$root/usr/bin/vemo" | grep -E 'NEEDED.*(libssh|libcrypto)' || fail "vemo itself links libssh or libcrypto"
desktop="$root/usr/share/applications/vemo.desktop"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry type"
grep -qx 'Categories=Network;RemoteAccess;' "$desktop" || fail "desktop entry categories"
grep -Eqx 'Exec=vemo( %u)?' "$desktop" || fail "desktop entry command"
grep -qx 'Icon=vemo' "$desktop" || fail "desktop entry icon"
grep -q '<svg ' "$root/usr/share/icons/hicolor/scalable/apps/vemo.svg" || fail "the icon is no SVG"
gzip -dc "$root/usr/share/man/man1/vemo.1.gz" >"$work/vemo.1" || fail "the manual page is no gzip file"
grep -q '^\.TH VEMO 1 ' "$work/vemo.1" || fail "the manual page has no title"

vemo="$root/usr/bin/vemo"
run_help() {
  env -u LC_ALL -u LC_MESSAGES -u LANGUAGE "$@" "$vemo" --help >"$work/help.out" 2>"$work/help.err" \
    || { cat "$work/help.err" >&2; fail "vemo --help failed"; }
}
run_help LANG=C.UTF-8
head -n 1 "$work/help.out" | grep -q "^Usage: $vemo \\[OPTIONS\\] \\[ADDRESS \\[QUALITY\\]\\]$" \
  || { cat "$work/help.out" >&2; fail "the installed vemo printed no usage"; }
english=$(cat "$work/help.out")
grep -qF 'vnc://[user][:password@]host[:port]' <<<"$english" || fail "the usage names no URL form"

# In German from the packaged catalogue, found relative to the program; in
# English again once that catalogue is gone.
run_help LANG=de_DE.UTF-8 LANGUAGE=de
german=$(cat "$work/help.out")
[ "$german" != "$english" ] || fail "the installed vemo found no German catalogue"
grep -qF "$vemo" <<<"$german" || fail "the German usage does not name the program"
rm "$root/usr/share/vemo/translations/vemo_de.qm"
run_help LANG=de_DE.UTF-8 LANGUAGE=de
[ "$(cat "$work/help.out")" = "$english" ] || fail "without its catalogue vemo must speak English"
echo "PASS"
