#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A 1-gigapixel poster: the atlas at size 768 and density 36 (36864 x 27648)
# written with -o, against its bands rendered alone on as many threads
# (poster_render_bench: nothing encoded or written), then the deep-zoom
# pyramid of the finished poster (--from poster.png --pyramid). Prints each
# one's wall time and peak resident memory, the poster's time over the
# render's (target: at most 1.10, the encoding hidden) and the pyramid's over
# the poster's (target: at most 1.25). The poster and its tiles take about
# 4 GB of disk in a temporary folder (TMPDIR).
#   usage: bench/gigapixel.sh [BUILD] [RUNS] [DENSITY] [THREADS]
set -eu
build=${1:-build-bench}
runs=${2:-1}
density=${3:-36}
threads=${4:-$(nproc)}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall seconds and peak resident KiB of one run, "S KIB".
measure() { /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null && cat "$work/time"; }

for run in $(seq "$runs"); do
  rm -rf "$work/poster.png" "$work/pyramid"
  render=$(measure "$build/bench/poster_render_bench" atlas 768 0.15 "$density" "$threads")
  poster=$(measure "$build/cli/plorvex-render" --pattern atlas --size 768 --zoom 0.15 --density "$density" \
    --threads "$threads" --quiet -o "$work/poster.png")
  pyramid=$(measure "$build/cli/plorvex-render" --from "$work/poster.png" --threads "$threads" --quiet \
    --pyramid "$work/pyramid")
  echo "$render $poster $pyramid $(stat -c %s "$work/poster.png")" | awk -v r="$run" '{
    printf "run %s: bands rendered alone %.1f s %d MiB; poster %.1f s %d MiB, %d bytes (poster/render %.3f); pyramid from the poster %.1f s %d MiB (pyramid/poster %.3f)\n",
      r, $1, $2 / 1024, $3, $4 / 1024, $7, $3 / $1, $5, $6 / 1024, $5 / $3 }'
done
