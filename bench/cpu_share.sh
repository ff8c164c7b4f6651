#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# CPU share of the whole program measuring on the simulated set-up in real
# time at "FT Faktor" 16: the window's ticks, the worker and the engine,
# the simulated card. Samples the process's CPU time over SECONDS (default
# 30) after five seconds of start-up, RUNS times (default 3), and prints
# each share of one core and their median.
#
#   bench/cpu_share.sh build/default/ui/quarvel [SECONDS] [RUNS]
set -euo pipefail
program=$(realpath "$1")
seconds=${2:-30}
runs=${3:-3}
ticks_per_second=$(getconf CLK_TCK)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$program" "$work/quarvel"
# FT Faktor 16, Mittelwert 16, the simulated set-up in both lists.
printf '[options]\r\nwavedevintext=Simulierter Messaufbau\r\nwavedevouttext=Simulierter Messaufbau\r\nfreqindex=3\r\nlevelindex=3\r\nfftindex=2\r\navgindex=2\r\n' > "$work/Quarvel.ini"

cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

shares=()
for run in $(seq "$runs"); do
  QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$work/quarvel" --sim "R=1k" > "$work/log" 2>&1 &
  pid=$!
  sleep 5
  start=$(cpu_ticks "$pid")
  sleep "$seconds"
  end=$(cpu_ticks "$pid")
  kill -TERM "$pid"
  wait "$pid"
  share=$(awk -v a="$start" -v b="$end" -v t="$ticks_per_second" -v s="$seconds" 'BEGIN { printf "%.2f", 100 * (b - a) / t / s }')
  echo "run $run: $share % of one core"
  shares+=("$share")
done
printf '%s\n' "${shares[@]}" | sort -g | awk '{ v[NR] = $1 } END { printf "median: %s %% of one core\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
