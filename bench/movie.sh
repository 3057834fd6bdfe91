#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A zoom movie against the same frames rendered one by one: an atlas zoom of
# FRAMES frames (60 unless told) at size 768 (1024 x 768) by
# `plorvex-render --movie`, then each of its frames by a plain
# `plorvex-render` run with the frame's texts writing FORMAT (png unless told;
# bmp leaves out the encoding), both with one worker per core. Runs
# alternate; prints each run and the medians: frames per second and the
# movie's time over the plain renders' (target: at most 1.10).
#   usage: bench/movie.sh [PLORVEX-RENDER] [RUNS] [SIZE] [FRAMES] [FORMAT]
set -eu
render=${1:-build/cli/plorvex-render}
runs=${2:-3}
size=${3:-768}
frames=${4:-60}
format=${5:-png}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$render" --pattern atlas --size "$size" --zoom 0.15 --quiet -o "$work/start.png"
"$render" --pattern atlas --size "$size" --x 20000 --y 15000 --zoom 0.0025 --quiet -o "$work/end.png"
movie="--movie $work/start.png $work/end.png --seconds 1 --fps $frames"
"$render" $movie --list-frames >"$work/frames.txt"
[ "$(wc -l <"$work/frames.txt")" -eq $frames ] || { echo "not $frames frames"; exit 1; }

now() { date +%s%N; }
tab=$(printf '\t')
for run in $(seq "$runs"); do
  rm -rf "$work/movie" "$work/plain"
  mkdir "$work/plain"
  start=$(now)
  "$render" $movie --quiet -o "$work/movie"
  movie_ns=$(( $(now) - start ))
  start=$(now)
  while IFS="$tab" read -r k x y s z b; do
    "$render" --pattern atlas --x "$x" --y "$y" --size "$s" --zoom "$z" --brightness "$b" --quiet \
      -o "$work/plain/$k.$format"
  done <"$work/frames.txt"
  plain_ns=$(( $(now) - start ))
  echo "run $run: movie $movie_ns ns, plain $plain_ns ns" | awk -v f=$frames '{
    printf "run %s movie %.2f s (%.2f frames/s), plain %.2f s (%.2f frames/s), movie/plain %.3f\n",
      $2, $4 / 1e9, f * 1e9 / $4, $7 / 1e9, f * 1e9 / $7, $4 / $7 }'
done | tee "$work/runs.txt"
# Medians of each column on its own: movie frames/s, plain frames/s, the ratio.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
movie_fps=$(awk '{ print substr($6, 2) }' "$work/runs.txt" | median)
plain_fps=$(awk '{ print substr($11, 2) }' "$work/runs.txt" | median)
ratio=$(awk '{ print $14 }' "$work/runs.txt" | median)
echo "median: movie $movie_fps frames/s, plain $plain_fps frames/s, movie/plain $ratio (target <= 1.10)"
