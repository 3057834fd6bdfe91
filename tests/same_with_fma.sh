#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Every pattern paints the same bytes whether the render core, the patterns and
# the maths were compiled with fused multiply-add instructions allowed or not
# (both with -ffp-contract=off): the start-up view and size 768 (1024 x 768)
# with zoom 0.15, each with its outcome.
# Usage: same_with_fma.sh PICTURE-BYTES PICTURE-BYTES-BUILT-WITH-FMA
set -eu
plain="$1"
fused="$2"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
differ=0
pattern=0
while [ "$pattern" -lt 19 ]; do
  for view in "1 1 150 1 150" "1 1 768 0.15 150"; do
    # shellcheck disable=SC2086  # the view is the five field texts
    "$plain" "$pattern" $view >"$work/plain"
    # shellcheck disable=SC2086
    "$fused" "$pattern" $view >"$work/fused"
    if ! cmp -s "$work/plain" "$work/fused"; then
      echo "pattern $pattern, fields $view: the pictures differ"
      differ=1
    fi
  done
  pattern=$((pattern + 1))
done
[ "$differ" -eq 0 ] && echo "every pattern the same built with and without fused multiply-adds"
exit "$differ"
