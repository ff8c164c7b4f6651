# Sourced by the scripts that run the real window: starts a virtual X
# server on a free display. Needs `work` (a folder for its log) and `fail`;
# sets `xvfb_pid` (for the caller's cleanup) and `display` (the number).
start_xvfb() {
  command -v Xvfb > /dev/null || fail "Xvfb is not installed (tools/setup.sh installs it)"
  exec {display_fd}<> <(:)
  Xvfb -displayfd "$display_fd" -screen 0 800x600x24 -nolisten tcp > "$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  display=
  for _ in $(seq 100); do
    read -r -t 0.1 -u "$display_fd" display && break
  done
  [ -n "$display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
}
