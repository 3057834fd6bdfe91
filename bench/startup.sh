#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Time from starting the program to its window being mapped, on a running X
# display (e.g. Xvfb with openbox). Prints each run and the median, in ms.
#   usage: DISPLAY=:N bench/startup.sh [PROGRAM] [RUNS]
program=${1:-build/app/plorvex}
runs=${2:-7}
times=""
for run in $(seq "$runs"); do
  start=$(date +%s%N)
  "$program" >/dev/null 2>&1 &
  pid=$!
  until xdotool search --onlyvisible --name "^Plorvex Picture Maker$" >/dev/null 2>&1; do
    sleep 0.005
    [ $(( ($(date +%s%N) - start) / 1000000 )) -gt 10000 ] && { echo "no window after 10 s"; break; }
  done
  elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
  kill "$pid"; wait "$pid" 2>/dev/null
  echo "run $run: $elapsed ms"
  times="$times $elapsed"
done
echo "$times" | tr ' ' '\n' | sed '/^$/d' | sort -n | awk '{a[NR]=$1} END {print "median:", a[int((NR+1)/2)], "ms"}'
