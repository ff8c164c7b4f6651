# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the scripts that run the real window: starts a virtual X
# server on a free display. Needs `work` (a folder for its log) and `fail`;
# sets `xvfb_pid` (for the caller's cleanup) and `display` (the number).
start_xvfb() {
  command -v Xvfb > /dev/null || fail "Xvfb is not installed (tools/setup.sh installs it)"
  exec {display_fd}<> <(:)
  local attempt deadline
  for attempt in 1 2 3; do
    Xvfb -displayfd "$display_fd" -screen 0 800x600x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    display=
    # By the clock, not by a count of reads: a read can return early.
    deadline=$((SECONDS + 10))
    while [ -z "$display" ] && [ "$SECONDS" -lt "$deadline" ] && kill -0 "$xvfb_pid" 2>/dev/null; do
      read -r -t 0.5 -u "$display_fd" display || sleep 0.05
    done
    [ -n "$display" ] && return 0
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
    echo "Xvfb, attempt $attempt: no display in 10 s: $(cat "$work/xvfb.log")" >&2
  done
  fail "Xvfb did not start: $(cat "$work/xvfb.log")"
}
