#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzz target of the `fuzz` preset for SECONDS each (default 60),
# starting from its seed corpus in tests/data/fuzz/<name>/. A finding fails
# the run; the finding's input is printed into the log in hex.
#
#   cmake --workflow --preset fuzz && tools/fuzz.sh 60
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
status=0
shopt -s nullglob
fuzzers=(build/fuzz/tests/fuzz/*_fuzzer)
if [ "${#fuzzers[@]}" -eq 0 ]; then
  echo "fuzz: no fuzz targets in build/fuzz (run: cmake --workflow --preset fuzz)" >&2
  exit 1
fi
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer" _fuzzer)
  work=$(mktemp -d)
  mkdir "$work/corpus"
  cp tests/data/fuzz/"$name"/* "$work/corpus/"
  echo "fuzz: $name for $seconds s"
  if "$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$work/" "$work/corpus" > "$work/log" 2>&1; then
    grep -E '^Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb' "$work/log" || tail -5 "$work/log"
  else
    status=1
    echo "fuzz: $name found a fault:"
    tail -60 "$work/log"
    for finding in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
      echo "fuzz: input $(basename "$finding") ($(stat -c %s "$finding") bytes):"
      od -A d -c "$finding" | head -200
    done
  fi
  rm -rf "$work"
done
exit $status
