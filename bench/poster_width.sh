#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Peak resident memory of a very wide poster: the first BANDS bands (256 rows
# each) of an atlas WIDTH x WIDTH pixels (size 1 at density WIDTH), made as a
# part with --bands, so that the run is short while every band is as wide as
# the poster's. Prints the wall time, processor time and peak resident memory
# of each program given, and the parts' sizes (the same bytes from each).
#   usage: bench/poster_width.sh WIDTH BANDS PLORVEX-RENDER...
set -eu
width=$1 bands=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
n=0
for render in "$@"; do
  n=$((n + 1))
  /usr/bin/time -f "%e %U %S %M" -o "$work/time" "$render" --pattern atlas --size 1 --density "$width" \
    --bands "0-$((bands - 1))" --quiet -o "$work/part-$n"
  awk -v r="$render" -v w="$width" -v b="$bands" '{
    printf "%s: %d x %d: wall %.1f s, processor %.1f s, peak RSS %d KB (%d MiB)\n",
      r, w, b * 256, $1, $2 + $3, $4, $4 / 1024 }' "$work/time"
done
ls -l "$work"/part-* | awk '{ print $9 ": " $5 " bytes" }'
[ "$n" -lt 2 ] || cmp "$work/part-1" "$work/part-$n"
