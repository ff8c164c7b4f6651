#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real `quarvel` on a virtual X server: the X11 platform plugin, the
# fonts and every library it loads at run time, which the offscreen tests
# never touch. It measures on the simulated set-up for a few seconds, is
# ended by SIGTERM as at a logout, must exit 0 and leave its settings file
# beside itself. Without a display it must say so and exit 3.
#
#   real_program_test.sh PATH/TO/quarvel
set -euo pipefail
program=$1
# Under AddressSanitizer the real program loads what the tests never do:
# ALSA's plugin modules while the sound cards are listed (unloaded again
# before the leak check, so their static allocations show as leaks of an
# unknown module) and the desktop's D-Bus library. Their leaks are not
# Quarvel's; the window tests check Quarvel's own code for leaks, so only
# this run of the whole program skips the leak check. Memory errors are
# still caught.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
work=$(mktemp -d)
xvfb_pid=
bus_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "real program: $*" >&2; exit 1; }
# shellcheck source=../../../tools/xvfb.sh
source "$(dirname "$0")/../../../tools/xvfb.sh"

# A copy, so that its settings file goes beside it and not into the build.
cp "$program" "$work/quarvel"
cd "$work"

# Without a display: one line naming quarvel-cli, exit 3; --help and
# --version need none.
set +e
message=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./quarvel 2>&1)
status=$?
set -e
[ "$status" -eq 3 ] || fail "without a display the exit status was $status, not 3: $message"
[[ "$message" == *quarvel-cli* ]] || fail "without a display the message does not name quarvel-cli: $message"
env -u DISPLAY ./quarvel --version | grep -q '^quarvel ' || fail "--version needs a display"
env -u DISPLAY ./quarvel --help | grep -q 'usage: quarvel' || fail "--help needs a display"
set +e
message=$(env -u DISPLAY ./quarvel --lang fr 2>&1)
status=$?
set -e
[ "$status" -eq 2 ] && [[ "$message" == *"none of de, en, auto"* ]] || fail "--lang fr: status $status, $message"

start_xvfb

# A private session bus, as on a desktop: Qt then talks to it from a thread
# of its own (accessibility, desktop services), which the sanitizers must
# see too. Whether the machine itself runs one must not change the test.
command -v dbus-daemon > /dev/null || fail "dbus-daemon is not installed (tools/setup.sh installs it)"
{ read -r bus_address; read -r bus_pid; } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 2> "$work/dbus.log")
[ -n "$bus_address" ] || fail "no session bus: $(cat "$work/dbus.log")"

env -u QT_QPA_PLATFORM DISPLAY=":$display" DBUS_SESSION_BUS_ADDRESS="$bus_address" ./quarvel --sim "C=100n + R=2" > "$work/quarvel.log" 2>&1 &
quarvel_pid=$!
# Up once it catches SIGTERM (its window is built then); however slow the
# machine, only a hang guard bounds the wait. Then it measures a while.
catches_term() {
  local mask
  mask=$(awk '/^SigCgt:/ { print $2 }' "/proc/$quarvel_pid/status" 2>/dev/null) || return 1
  [ -n "$mask" ] && (( (16#$mask >> 14) & 1 ))
}
for _ in $(seq 3000); do
  kill -0 "$quarvel_pid" 2>/dev/null || fail "quarvel ended by itself: $(cat "$work/quarvel.log")"
  catches_term && break
  sleep 0.1
done
catches_term || fail "quarvel did not come up within 300 s: $(cat "$work/quarvel.log")"
sleep 2
kill -0 "$quarvel_pid" 2>/dev/null || fail "quarvel ended by itself: $(cat "$work/quarvel.log")"
kill -TERM "$quarvel_pid"
set +e
wait "$quarvel_pid"
status=$?
set -e
[ "$status" -eq 0 ] || fail "quarvel exited with $status after SIGTERM: $(cat "$work/quarvel.log")"
[ -f "$work/Quarvel.ini" ] || fail "no Quarvel.ini beside the program"
grep -q '^wavedevintext=Simulierter Messaufbau' "$work/Quarvel.ini" || fail "Quarvel.ini lacks the device: $(cat "$work/Quarvel.ini")"
echo "real program: measured under Xvfb on display :$display, ended by SIGTERM with 0, Quarvel.ini written"
