#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from build/default, has lintian find neither
# error nor warning in it, installs it on this machine with apt, checks the
# installed programs, desktop entry, metainfo and copyright file, runs the
# installed window under Xvfb for a few seconds, and removes the package
# again. Needs root or sudo (continuous integration runs it).
#
#   tools/package_check.sh
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" -eq 0 ]; then as_root=(); else as_root=(sudo); fi
fail() { echo "package: $*" >&2; exit 1; }
source tools/xvfb.sh

(cd build/default && cpack -G DEB > /dev/null)
package=$(ls build/default/quarvel_*.deb | head -n 1)
[ -f "$package" ] || fail "cpack made no package"
echo "package: built $package"
dpkg-deb --field "$package" Depends

# Lintian must have nothing to say at the levels error and warning. As
# root it adds a notice of its own on stderr, which is not a finding.
lintian_status=0
findings=$(lintian --fail-on error,warning "$package" 2>&1) || lintian_status=$?
findings=$(grep -v '^running with root privileges is not recommended!$' <<< "$findings" || true)
if [ "$lintian_status" -ne 0 ] || [ -n "$findings" ]; then
  lintian --info "$package" 2>&1 || true
  fail "lintian reports (exit $lintian_status): $findings"
fi
echo "package: lintian reports no error and no warning"

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
  "${as_root[@]}" apt-get remove -y -qq quarvel > /dev/null 2>&1 || true
}
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "./$package" > /dev/null
[ "$(command -v quarvel)" = /usr/bin/quarvel ] || fail "quarvel is not in /usr/bin"
for program in quarvel quarvel-cli; do
  version=$("$program" --version)
  grep -q "^$program " <<< "$version" || fail "$program --version: $version"
  grep -q '^License GPL-3.0-or-later' <<< "$version" || fail "$program --version names no licence: $version"
done
(cd "$work" && quarvel-cli measure --sim R=1k --ref 1k --json) | grep -q '"first"' || fail "quarvel-cli measure"
for page in quarvel quarvel-cli; do
  dpkg -L quarvel | grep -q "/man1/$page.1.gz" || fail "the manual page of $page is not installed"
done
[ "$(head -n 1 /usr/share/doc/quarvel/copyright)" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] \
  || fail "no machine-readable copyright file"
desktop-file-validate /usr/share/applications/io.github.quarvel.Quarvel.desktop
appstreamcli validate --no-net /usr/share/metainfo/io.github.quarvel.Quarvel.metainfo.xml
[ -f /usr/share/icons/hicolor/scalable/apps/io.github.quarvel.Quarvel.svg ] || fail "no icon"

# The installed window: it measures, ends with 0 on SIGTERM, and keeps its
# settings in the user's folder, never beside itself in /usr/bin.
start_xvfb
mkdir -p "$work/home"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" DISPLAY=":$display" \
  env -u QT_QPA_PLATFORM quarvel --sim "C=100n + R=2" > "$work/quarvel.log" 2>&1 &
quarvel_pid=$!
sleep 4
kill -0 "$quarvel_pid" 2>/dev/null || fail "the installed quarvel ended by itself: $(cat "$work/quarvel.log")"
kill -TERM "$quarvel_pid"
wait "$quarvel_pid" || fail "the installed quarvel did not end with 0: $(cat "$work/quarvel.log")"
[ ! -e /usr/bin/Quarvel.ini ] || fail "the installed quarvel wrote /usr/bin/Quarvel.ini"
ini=$(find "$work/home/.config" -name Quarvel.ini | head -n 1)
[ -n "$ini" ] || fail "no Quarvel.ini in the user's folder"
echo "package: installed, checked (settings in ${ini#"$work/home/"}), window ran under Xvfb"

# The installed translation: the pages' pictures are named by their English
# titles only when the window found it.
[ -f /usr/share/quarvel/translations/quarvel_en.qm ] || fail "the English translation is not installed"
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" DISPLAY=":$display" \
  env -u QT_QPA_PLATFORM quarvel --lang en --sim "C=100n + R=2" --screenshot "$work/english" > "$work/english.log" 2>&1 \
  || fail "quarvel --lang en --screenshot: $(cat "$work/english.log")"
[ -f "$work/english/3_Calibration.png" ] || fail "the installed window is not English: $(ls "$work/english")"
echo "package: the installed window speaks English on request"

"${as_root[@]}" apt-get remove -y -qq quarvel > /dev/null
[ ! -e /usr/bin/quarvel ] || fail "removing the package left /usr/bin/quarvel"
echo "package: removed again"
