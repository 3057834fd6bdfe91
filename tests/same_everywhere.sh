#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every pattern paints the same bytes whichever code the C library picks for
# this CPU: glibc chooses its maths by the CPU's features, and a machine
# without AVX2 and FMA (or a virtual one that hides them) gets other code. The
# pictures take none of it, so both runs must give the same file. Each pattern
# at the start-up view and at size 768 (1024 x 768) with zoom 0.15.
# Usage: same_everywhere.sh PLORVEX-RENDER    (exit 77: not glibc on x86-64)
set -eu
render="$1"
[ "$(uname -m)" = x86_64 ] && ldd --version 2>&1 | grep -q -i glibc \
  || { echo "the C library's CPU variants are checked on glibc for x86-64 only"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
differ=0
for pattern in $("$render" --list | awk '{print $2}'); do
  for view in "" "--size 768 --zoom 0.15"; do
    # shellcheck disable=SC2086  # the view is a list of options
    "$render" --pattern "$pattern" $view --quiet -o "$work/best.png"
    # shellcheck disable=SC2086
    GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2,-FMA \
      "$render" --pattern "$pattern" $view --quiet -o "$work/plain.png"
    if ! cmp -s "$work/best.png" "$work/plain.png"; then
      echo "$pattern ${view:-(start-up view)}: the pictures differ"
      differ=1
    fi
  done
done
[ "$differ" -eq 0 ] && echo "every pattern the same with and without the C library's AVX2 and FMA code"
exit "$differ"
