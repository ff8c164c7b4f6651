#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the whole test suite of a build RUNS times in a row with LOOPS busy
# loops beside it at the same priority, as on a loaded two-core machine.
# The tests count stream time, frames and turns, never the machine's speed,
# so every run must pass; a failure names the run and its tests.
#
#   tools/suite_under_load.sh [--runs N] [--loops N] [--preset NAME]
#
# Defaults: 5 runs, 4 loops, the test preset "default" ("tsan" for
# ThreadSanitizer, with its suppressions and exclusions). Build it first.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
loops=4
preset=default
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --loops) loops=$2; shift 2 ;;
    --preset) preset=$2; shift 2 ;;
    -h|--help) sed -n '3,11p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "suite_under_load: unknown option '$1'" >&2; exit 2 ;;
  esac
done
build=build/$preset
if [ ! -f "$build/CTestTestfile.cmake" ]; then
  echo "suite_under_load: no test suite in $build (build the preset $preset first)" >&2
  exit 2
fi

busy=()
stop_loops() {
  [ "${#busy[@]}" -gt 0 ] && kill "${busy[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap stop_loops EXIT
for _ in $(seq "$loops"); do
  bash -c 'while :; do :; done' &
  busy+=($!)
done

failed=0
for run in $(seq "$runs"); do
  log=$(mktemp)
  # The test preset brings its environment (a sanitizer's options) and
  # its exclusions; the limit is raised for the load.
  if ctest --preset "$preset" --timeout 900 > "$log" 2>&1; then
    echo "suite_under_load: run $run of $runs passed ($(grep -o 'out of [0-9]*' "$log" | tail -1 | cut -d' ' -f3) tests, $loops busy loops)"
  else
    failed=$((failed + 1))
    echo "suite_under_load: run $run of $runs FAILED:" >&2
    sed -n '/The following tests FAILED/,$p' "$log" >&2
  fi
  rm -f "$log"
done
[ "$failed" -eq 0 ]
