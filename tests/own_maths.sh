#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails when one of the given static libraries calls the C library's maths
# (the functions the picture and the movie path must take from the program's
# correctly rounded unit), and names the object and the function.
# Usage: own_maths.sh LIBRARY.a...
set -eu
forbidden='sin|cos|tan|sincos|pow|exp|exp2|expm1|log|log2|log1p|sinh|cosh|tanh|asinh'
found=$(for library in "$@"; do nm -A -u "$library"; done |
  grep -E " U ($forbidden)(f|l)?(@.*)?$" || true)
if [ -n "$found" ]; then
  echo "the C library's maths is called:"
  echo "$found"
  exit 1
fi
echo "none of $# libraries calls the C library's maths"
