#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every pattern's frame with the program's correctly rounded maths against the
same kernels calling the C library's, in one run: the two builds of
pattern_maths_bench take turns ROUNDS times, and the table gives the median of
each one's fastest times and their ratio, on one thread and with the workers.

    python3 bench/maths_ratio.py BUILD_DIR/bench [ROUNDS]    (default 3)
"""

import os
import statistics
import subprocess
import sys


def times(binary):
    rows = {}
    out = subprocess.run([binary, "1"], check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        index, caption, one, workers = line.split()
        rows["%s_%s" % (index, caption)] = (float(one), float(workers))
    return rows


def main(folder, rounds):
    ours, library = os.path.join(folder, "pattern_maths_bench"), os.path.join(folder, "pattern_maths_bench_library")
    runs = {"ours": [], "library": []}
    for _ in range(rounds):
        runs["ours"].append(times(ours))
        runs["library"].append(times(library))
    print("| pattern | ours 1 thread ms | C library 1 thread ms | ours / C library | ours workers ms "
          "| C library workers ms | ours / C library |")
    print("|---|---|---|---|---|---|---|")
    worst = [0.0, 0.0]
    for name in runs["ours"][0]:
        cells = [name]
        for column in (0, 1):
            a = statistics.median(r[name][column] for r in runs["ours"])
            b = statistics.median(r[name][column] for r in runs["library"])
            worst[column] = max(worst[column], a / b)
            cells += ["%.1f" % a, "%.1f" % b, "%.3f" % (a / b)]
        print("| " + " | ".join(cells) + " |")
    print("\nworst ours / C library: one thread %.3f, workers %.3f" % tuple(worst))


if __name__ == "__main__":
    main(sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 3)
