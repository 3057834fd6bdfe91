// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded maths against the C library, one function call at a
// time over 4096 seeded arguments, in three ranges: |x| <= pi/4 (no reduction),
// |x| < 1000 (what pictures reach) and 2^20 <= |x| < 2^1000 (the integer
// reduction). "ours" calls the scalar function, "lanes" the four-lane one
// (crSin4 ...), "library" the C library's. bench/math_report.py prints the
// table of medians and ratios. Names: function/implementation/range.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "correct_math.h"

namespace {

std::vector<double> arguments(double low, double high, bool logUniform) {
  std::mt19937_64 random(42);
  std::uniform_real_distribution<double> uniform(low, high);
  std::vector<double> values(4096);
  for (double& x : values) {
    x = logUniform ? std::exp2(uniform(random)) : uniform(random);
    if (random() & 1) x = -x;
  }
  return values;
}

const std::vector<double>& range(int which) {
  static const std::vector<double> ranges[] = {arguments(0, 0.785, false),
                                               arguments(0, 1000, false),
                                               arguments(20, 1000, true)};
  return ranges[which];
}

void run(benchmark::State& state, double (*function)(double), int which) {
  const std::vector<double>& values = range(which);
  for (auto _ : state) {
    for (double x : values) benchmark::DoNotOptimize(function(x));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(values.size()));
}

void runLanes(benchmark::State& state, void (*function)(const double*, double*), int which) {
  const std::vector<double>& values = range(which);
  double out[4];
  for (auto _ : state) {
    for (std::size_t i = 0; i < values.size(); i += 4) {
      function(values.data() + i, out);
      benchmark::DoNotOptimize(out);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long>(values.size()));
}

double librarySin(double x) { return std::sin(x); }
double libraryCos(double x) { return std::cos(x); }
double libraryTan(double x) { return std::tan(x); }

void registerAll() {
  struct Pair {
    const char* name;
    double (*ours)(double);
    double (*library)(double);
    void (*lanes)(const double*, double*);
  };
  const Pair functions[] = {{"sin", plorvex::crSin, librarySin, plorvex::crSin4},
                            {"cos", plorvex::crCos, libraryCos, plorvex::crCos4},
                            {"tan", plorvex::crTan, libraryTan, plorvex::crTan4}};
  const char* ranges[] = {"quarter_pi", "below_1000", "huge"};
  for (const Pair& f : functions) {
    for (int which = 0; which < 3; ++which) {
      const std::string suffix = std::string("/") + ranges[which];
      benchmark::RegisterBenchmark((std::string(f.name) + "/ours" + suffix).c_str(), run, f.ours,
                                   which);
      benchmark::RegisterBenchmark((std::string(f.name) + "/library" + suffix).c_str(), run,
                                   f.library, which);
      benchmark::RegisterBenchmark((std::string(f.name) + "/lanes" + suffix).c_str(), runLanes,
                                   f.lanes, which);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
