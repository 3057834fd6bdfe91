#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The deep-zoom pyramid against the poster: an atlas poster at size 768 and
# the given density written with -o, then its pyramid from the view
# (--pyramid: rendered, then tiled) and from the finished poster (--from
# poster.png --pyramid: read row by row). Prints, for each run, the wall time
# and peak resident memory of all three and the two pyramids' times over the
# poster's (target for the pyramid of a poster: at most 1.25).
#   usage: bench/pyramid.sh [PLORVEX-RENDER] [RUNS] [DENSITY]
set -eu
render=${1:-build/cli/plorvex-render}
runs=${2:-3}
density=${3:-8}
view="--pattern atlas --size 768 --zoom 0.15 --density $density --quiet"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall seconds and peak resident KiB of one run, "S KIB".
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" && cat "$work/time"; }

for run in $(seq "$runs"); do
  rm -rf "$work/poster.png" "$work/view" "$work/from"
  poster=$(measure "$render" $view -o "$work/poster.png")
  view_pyramid=$(measure "$render" $view --pyramid "$work/view")
  from_pyramid=$(measure "$render" --from "$work/poster.png" --quiet --pyramid "$work/from")
  echo "$poster $view_pyramid $from_pyramid" | awk -v r="$run" '{
    printf "run %s: poster %.2f s %d MiB; pyramid from the view %.2f s %d MiB (%.3f); from the poster %.2f s %d MiB (%.3f)\n",
      r, $1, $2 / 1024, $3, $4 / 1024, $3 / $1, $5, $6 / 1024, $5 / $1 }'
done
