#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's poster recipe for real: GNU parallel renders a poster's bands
# in parts; one part is killed half-way (a part is written whole or not at
# all) and made again; the parts joined are byte for byte the poster of one
# plain run.
# Usage: poster_farm.sh PLORVEX-RENDER    (exit 77: no GNU parallel here)
set -eu
render="$1"
command -v parallel >/dev/null || { echo "no GNU parallel (Debian package parallel)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
view="--pattern pluck --size 120 --density 12 --quiet"

"$render" $view -o "$work/plain.png"
bands=$("$render" $view --list-bands)
[ "$bands" -eq 6 ] || { echo "FAIL: $bands bands, not 6"; exit 1; }

# Part 2-3 on one thread, killed while it renders: no part file is left.
"$render" $view --bands 2-3 --threads 1 -o "$work/part-2-3" &
pid=$!
sleep 0.5
kill -KILL $pid 2>/dev/null || true
wait $pid 2>/dev/null || true
[ ! -e "$work/part-2-3" ] || { echo "FAIL: a killed part left a file under its name"; exit 1; }

parallel -S : -j2 --halt now,fail=1 "$render" $view --threads 1 --bands {} -o "$work/part-{}" ::: 4-5 0-1 2-3
"$render" --join "$work/part-0-1" "$work/part-2-3" "$work/part-4-5" -o "$work/farmed.png"
cmp "$work/plain.png" "$work/farmed.png" || { echo "FAIL: the joined parts differ from one plain run"; exit 1; }
echo "6 bands in 3 parts from GNU parallel, joined, equal one plain run"
