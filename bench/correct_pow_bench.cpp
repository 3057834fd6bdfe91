// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded exp, log and pow against the C library's, on the
// arguments the pictures use (bases 0..1000, whole exponents 0..5 and any in
// [0, 5]), exp on [-700, 700] and ln on [1e-300, 1e300]. Each pair runs over
// the same seeded arguments; the ratio ours / C library is the time of one
// call against the other's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "correct_math.h"
#include "fp.h"

namespace {

constexpr int kArguments = 4096;

struct Arguments {
  std::vector<double> first, second;
};

// Bases 0..1000 with whole exponents 0..5, or with any exponent in [0, 5].
Arguments patternPowers(bool whole) {
  std::mt19937_64 random(1);
  Arguments a;
  for (int i = 0; i < kArguments; ++i) {
    a.first.push_back(std::uniform_real_distribution<double>(0, 1000)(random));
    a.second.push_back(whole ? static_cast<double>(random() % 6) : std::uniform_real_distribution<double>(0, 5)(random));
  }
  return a;
}

// Bases 0..1000 to the exponents written in the patterns, each equally often.
Arguments writtenPowers() {
  const double exponents[] = {0.5, 2.0, 1.0 / 3, 1.0 / 5, 0.27, 1.0 / 17, 0.25, 0.2, 0.4};
  std::mt19937_64 random(3);
  Arguments a;
  for (int i = 0; i < kArguments; ++i) {
    a.first.push_back(std::uniform_real_distribution<double>(0, 1000)(random));
    a.second.push_back(exponents[random() % 9]);
  }
  return a;
}

Arguments uniform(double low, double high) {
  std::mt19937_64 random(2);
  Arguments a;
  for (int i = 0; i < kArguments; ++i) a.first.push_back(std::uniform_real_distribution<double>(low, high)(random));
  return a;
}

template <class F>
void run(benchmark::State& state, F f) {
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kArguments; ++i) sum += f(i);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kArguments);
}

// The C library's pow, the exponent laundered so that pow(x, 2.0) stays a call.
double libraryPow(double x, double y) {
  plorvex::launder(y);
  return std::pow(x, y);
}

const Arguments kWholePowers = patternPowers(true);
const Arguments kPowers = patternPowers(false);
const Arguments kWrittenPowers = writtenPowers();
const Arguments kExps = uniform(-700, 700);
const Arguments kLogs = uniform(1e-300, 1e300);

void PowWholeOurs(benchmark::State& s) {
  run(s, [](int i) { return plorvex::crPow(kWholePowers.first[i], kWholePowers.second[i]); });
}
void PowWholeLibrary(benchmark::State& s) {
  run(s, [](int i) { return libraryPow(kWholePowers.first[i], kWholePowers.second[i]); });
}
void PowWrittenOurs(benchmark::State& s) {
  run(s, [](int i) { return plorvex::crPow(kWrittenPowers.first[i], kWrittenPowers.second[i]); });
}
void PowWrittenLibrary(benchmark::State& s) {
  run(s, [](int i) { return libraryPow(kWrittenPowers.first[i], kWrittenPowers.second[i]); });
}
// Four bases to one of the written exponents at a time (the exponent of the
// group's first argument), as the patterns' four samples take them.
void PowWrittenFourOurs(benchmark::State& state) {
  for (auto _ : state) {
    double sum = 0;
    for (int i = 0; i < kArguments; i += 4) {
      double out[4];
      plorvex::crPow4(&kWrittenPowers.first[i], kWrittenPowers.second[i], out);
      sum += (out[0] + out[1]) + (out[2] + out[3]);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kArguments);
}
void PowWrittenFourLibrary(benchmark::State& s) {
  run(s, [](int i) { return libraryPow(kWrittenPowers.first[i], kWrittenPowers.second[i & ~3]); });
}
void PowOurs(benchmark::State& s) { run(s, [](int i) { return plorvex::crPow(kPowers.first[i], kPowers.second[i]); }); }
void PowLibrary(benchmark::State& s) { run(s, [](int i) { return libraryPow(kPowers.first[i], kPowers.second[i]); }); }
void ExpOurs(benchmark::State& s) { run(s, [](int i) { return plorvex::crExp(kExps.first[i]); }); }
void ExpLibrary(benchmark::State& s) {
  run(s, [](int i) { double x = kExps.first[i]; plorvex::launder(x); return std::exp(x); });
}
void LogOurs(benchmark::State& s) { run(s, [](int i) { return plorvex::crLog(kLogs.first[i]); }); }
void LogLibrary(benchmark::State& s) {
  run(s, [](int i) { double x = kLogs.first[i]; plorvex::launder(x); return std::log(x); });
}

BENCHMARK(PowWholeOurs);
BENCHMARK(PowWholeLibrary);
BENCHMARK(PowWrittenOurs);
BENCHMARK(PowWrittenLibrary);
BENCHMARK(PowWrittenFourOurs);
BENCHMARK(PowWrittenFourLibrary);
BENCHMARK(PowOurs);
BENCHMARK(PowLibrary);
BENCHMARK(ExpOurs);
BENCHMARK(ExpLibrary);
BENCHMARK(LogOurs);
BENCHMARK(LogLibrary);

}  // namespace

BENCHMARK_MAIN();
