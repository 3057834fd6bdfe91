#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs correct_trig_bench with repetitions and prints ns per call, ours against the C library.

usage: bench/math_report.py BENCH_BINARY [REPETITIONS]
"""
import json
import subprocess
import sys
import tempfile


def main():
    binary = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([binary, f"--benchmark_repetitions={repetitions}",
                        "--benchmark_report_aggregates_only=true",
                        "--benchmark_enable_random_interleaving=true",
                        f"--benchmark_out={out.name}", "--benchmark_out_format=json"],
                       check=True, stdout=subprocess.DEVNULL)
        report = json.load(open(out.name))
    ns = {}
    for b in report["benchmarks"]:
        if b.get("aggregate_name") == "median":
            ns[b["run_name"]] = 1e9 / b["items_per_second"]
    context = report["context"]
    print(f"{context['num_cpus']} CPUs at {context['mhz_per_cpu']} MHz, {repetitions} repetitions, "
          "medians, ns per call\n")
    print("| function | range | ours | four lanes | C library | ours / C library | "
          "lanes / C library |")
    print("|---|---|---|---|---|---|---|")
    for name in sorted(ns):
        function, implementation, arguments = name.split("/")
        if implementation != "ours":
            continue
        library = ns[f"{function}/library/{arguments}"]
        lanes = ns[f"{function}/lanes/{arguments}"]
        print(f"| {function} | {arguments} | {ns[name]:.1f} | {lanes:.1f} | {library:.1f} | "
              f"{ns[name] / library:.2f} | {lanes / library:.2f} |")


if __name__ == "__main__":
    main()
