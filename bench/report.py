#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Runs plorvex_bench with repetitions and prints the table of medians and ratios.

usage: bench/report.py BENCH_BINARY [REPETITIONS] [extra benchmark flags...]
"""
import json
import subprocess
import sys
import tempfile
from collections import defaultdict


def run(binary, repetitions, extra):
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([binary, f"--benchmark_repetitions={repetitions}",
                        "--benchmark_report_aggregates_only=true",
                        # Repetitions of all benchmarks in random order, so that a slow
                        # stretch of the machine does not fall on one measurement alone.
                        "--benchmark_enable_random_interleaving=true",
                        f"--benchmark_out={out.name}", "--benchmark_out_format=json", *extra],
                       check=True, stdout=subprocess.DEVNULL)
        return json.load(open(out.name))


def medians(report):
    table = defaultdict(dict)  # pattern -> kind -> (ms, extra counters)
    for b in report["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        kind, pattern = b["run_name"].split("/")[:2]
        table[pattern][kind] = b
    return table


def main():
    binary = sys.argv[1]
    repetitions = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    report = run(binary, repetitions, sys.argv[3:])
    context = report["context"]
    print(f"{context['num_cpus']} CPUs at {context['mhz_per_cpu']} MHz, {repetitions} repetitions, "
          f"medians; size 768 (1024 x 768 pixels)\n")
    print("| pattern | (a) pure Mpx/s | (b) frame, 1 thread | (c) frame, workers | (d) window | "
          "(b)/(a) | (c)/(b) | (d)/(c) | halt ms |")
    print("|---|---|---|---|---|---|---|---|---|")
    worst = defaultdict(float)
    for pattern, kinds in sorted(medians(report).items(), key=lambda kv: int(kv[0].split("_")[0])):
        missing = {"Pure", "Frame1", "FrameN", "Window", "HaltLatency"} - kinds.keys()
        if missing:
            print(f"| {pattern} | missing: {', '.join(sorted(missing))} (see the benchmark's errors) |")
            continue
        ms = {k: v["real_time"] for k, v in kinds.items()}
        rate = {k: v.get("pixels_per_s", 0) / 1e6 for k, v in kinds.items()}
        ratios = (ms["Frame1"] / ms["Pure"], ms["FrameN"] / ms["Frame1"], ms["Window"] / ms["FrameN"])
        halt = kinds["HaltLatency"]["real_time"]  # click to the render's end
        for name, value in zip(("b/a", "c/b", "d/c"), ratios):
            worst[name] = max(worst[name], value)
        worst["halt"] = max(worst["halt"], halt)
        print(f"| {pattern} | {rate['Pure']:.2f} | {rate['Frame1']:.2f} | {rate['FrameN']:.2f} | "
              f"{rate['Window']:.2f} | {ratios[0]:.3f} | {ratios[1]:.3f} | {ratios[2]:.3f} | {halt:.2f} |")
    print(f"\nworst: (b)/(a) {worst['b/a']:.3f}, (c)/(b) {worst['c/b']:.3f}, "
          f"(d)/(c) {worst['d/c']:.3f}, halt {worst['halt']:.2f} ms")
    sampled_table(medians(report))


def sampled_table(table):
    """Samples per second of one 384 x 384 view: plain, density 2, smoothing 4."""
    kinds = ["Plain1", "PlainN", "Dense1", "DenseN", "Smooth1", "SmoothN"]
    print("\nOne 384 x 384 view: million samples per second, and time per sample against the plain\n"
          "frame on one thread (dense/plain, smooth/plain) and all cores against one (N/1)\n")
    print("| pattern | plain 1 | plain N | density 2, 1 | density 2, N | smooth 4, 1 | smooth 4, N | "
          "dense/plain | smooth/plain | plain N/1 | dense N/1 | smooth N/1 |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    worst = defaultdict(float)
    for pattern, found in sorted(table.items(), key=lambda kv: int(kv[0].split("_")[0])):
        if any(k not in found for k in kinds):
            continue
        rate = {k: found[k]["samples_per_s"] for k in kinds}
        # Times per sample are the inverse rates.
        ratios = {"dense/plain": rate["Plain1"] / rate["Dense1"],
                  "smooth/plain": rate["Plain1"] / rate["Smooth1"],
                  "plain N/1": rate["Plain1"] / rate["PlainN"],
                  "dense N/1": rate["Dense1"] / rate["DenseN"],
                  "smooth N/1": rate["Smooth1"] / rate["SmoothN"]}
        for name, value in ratios.items():
            worst[name] = max(worst[name], value)
        cells = " | ".join(f"{rate[k] / 1e6:.2f}" for k in kinds)
        print(f"| {pattern} | {cells} | " + " | ".join(f"{v:.3f}" for v in ratios.values()) + " |")
    print("\nworst: " + ", ".join(f"{k} {v:.3f}" for k, v in worst.items()))


if __name__ == "__main__":
    main()
