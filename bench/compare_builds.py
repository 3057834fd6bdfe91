#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs two or more builds of one benchmark binary in turn, several rounds, and prints for each
benchmark the least CPU time per call (ns) each build reached. On a machine that others load, the
least time of many short runs is steadier than a median: the load only ever adds time.

usage: bench/compare_builds.py ROUNDS FILTER BINARY...
"""
import collections
import json
import subprocess
import sys
import tempfile


def main():
    rounds, pattern, binaries = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
    least = {b: collections.defaultdict(lambda: float("inf")) for b in binaries}
    for _ in range(rounds):
        for binary in binaries:
            with tempfile.NamedTemporaryFile(suffix=".json") as out:
                subprocess.run([binary, f"--benchmark_filter={pattern}", "--benchmark_repetitions=2",
                                "--benchmark_min_time=0.2", f"--benchmark_out={out.name}",
                                "--benchmark_out_format=json"],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                report = json.load(open(out.name))
            for b in report["benchmarks"]:
                if b.get("run_type") != "aggregate":
                    ns = 1e9 / b["items_per_second"]
                    least[binary][b["run_name"]] = min(least[binary][b["run_name"]], ns)
    print("| benchmark | " + " | ".join(binaries) + " |")
    print("|---" * (len(binaries) + 1) + "|")
    for name in sorted(least[binaries[0]]):
        print(f"| {name} | " + " | ".join(f"{least[b][name]:.1f}" for b in binaries) + " |")


if __name__ == "__main__":
    main()
