#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's farm recipe for real: GNU parallel renders a movie's frames in
# ranges; one range is killed half-way and run again, which renders only the
# frames it lacks; the frames are byte for byte those of one plain run.
# Usage: movie_farm.sh PLORVEX-RENDER    (exit 77: no GNU parallel here)
set -eu
render="$1"
command -v parallel >/dev/null || { echo "no GNU parallel (Debian package parallel)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$render" --pattern atlas --size 40 --x 24 --y 24 -o "$work/start.png"
"$render" --pattern atlas --size 40 --x 1000 --y 300 --zoom 0.125 --brightness 90 -o "$work/end.png"
movie="--movie $work/start.png $work/end.png --seconds 0.4 --fps 30 --density 2 --smooth 4"

"$render" $movie --quiet -o "$work/plain"

# Range 4-7 on one thread, killed once its first frame is written.
"$render" $movie --frames 4-7 --threads 1 --quiet -o "$work/farm" &
pid=$!
tries=0
while [ ! -e "$work/farm/frame-00004.png" ] && [ $tries -lt 1000 ]; do
  sleep 0.01
  tries=$((tries + 1))
done
kill -KILL $pid 2>/dev/null || true
wait $pid 2>/dev/null || true
present=$(ls "$work/farm" | grep -c '^frame-0000[4-7]\.png$' || true)
echo "range 4-7 killed with $present of its 4 frames written"

# Every range, in an order of their own, two at a time; the killed one again.
parallel -S : -j2 --halt now,fail=1 "$render" $movie --frames {} -o "$work/farm" ::: 8-11 0-3 4-7 \
  2>"$work/farm.log"
cat "$work/farm.log"
grep -q "frames 4-7 of 12: $((4 - present)) rendered, $present kept" "$work/farm.log" \
  || { echo "FAIL: the range run again did not render exactly the $((4 - present)) frames it lacked"; exit 1; }

count=0
for frame in "$work"/plain/frame-*.png; do
  cmp "$frame" "$work/farm/$(basename "$frame")" || { echo "FAIL: $(basename "$frame") differs"; exit 1; }
  count=$((count + 1))
done
[ $count -eq 12 ] || { echo "FAIL: $count frames in one plain run, not 12"; exit 1; }
farmed=$(ls "$work/farm" | grep -c '^frame-[0-9]*\.png$')
[ "$farmed" -eq 12 ] || { echo "FAIL: $farmed frames from the farm, not 12"; exit 1; }
echo "12 frames from parallel ranges equal one plain run"
