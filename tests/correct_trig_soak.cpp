// SPDX-License-Identifier: GPL-3.0-or-later
// Soak run of the correctly rounded maths: N seeded arguments per function
// (drawn as the tests draw them), on every core, against MPFR. Prints per
// function the mismatches (ours against MPFR), the fast path's own mismatches,
// the fault flags that differ from the C library's, and how many arguments
// were left to MPFR. Exits 1 on any mismatch.
// Usage: correct_trig_soak N [SEED]

#include <algorithm>
#include <cfenv>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "correct_math.h"
#include "correct_math_reference.h"
#include "correct_trig.h"

namespace {

using plorvex::testing::ArgumentSource;
using plorvex::testing::MpfrFunction;
using plorvex::testing::mpfrReference;
using plorvex::testing::sameResult;

constexpr int kFaultFlags = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

struct Function {
  const char* name;
  double (*ours)(double);
  std::optional<double> (*fast)(double);
  double (*library)(double);
  MpfrFunction mpfr;
};

const Function kFunctions[] = {
    {"sin", plorvex::crSin, plorvex::trig_detail::fastSin, ::sin, mpfr_sin},
    {"cos", plorvex::crCos, plorvex::trig_detail::fastCos, ::cos, mpfr_cos},
    {"tan", plorvex::crTan, plorvex::trig_detail::fastTan, ::tan, mpfr_tan},
};

struct Counts {
  std::uint64_t wrong = 0, wrongFast = 0, flagsDiffer = 0, leftToMpfr = 0;
  void add(const Counts& other) {
    wrong += other.wrong;
    wrongFast += other.wrongFast;
    flagsDiffer += other.flagsDiffer;
    leftToMpfr += other.leftToMpfr;
  }
};

int flagsOf(double (*function)(double), double x, double& value) {
  std::feclearexcept(FE_ALL_EXCEPT);
  volatile double argument = x;
  value = function(argument);
  return std::fetestexcept(kFaultFlags);
}

Counts soak(const Function& f, std::uint64_t count, std::uint64_t seed) {
  ArgumentSource source(seed);
  Counts counts;
  for (std::uint64_t i = 0; i < count; ++i) {
    const double x = source.next();
    const double expected = mpfrReference(f.mpfr, x);
    double ours, library;
    const int ourFlags = flagsOf(f.ours, x, ours);
    const int libraryFlags = flagsOf(f.library, x, library);
    const std::optional<double> fast = f.fast(x);
    const bool wrong = !sameResult(ours, expected);
    if (wrong && counts.wrong < 5)
      std::fprintf(stderr, "%s(%a) = %a, correctly rounded %a\n", f.name, x, ours, expected);
    counts.wrong += wrong;
    counts.wrongFast += fast && !sameResult(*fast, expected);
    counts.flagsDiffer += ourFlags != libraryFlags;
    counts.leftToMpfr += !fast;
  }
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const std::uint64_t count = argc > 1 ? std::strtoull(argv[1], &end, 10) : 0;
  if (argc < 2 || argc > 3 || *end != '\0' || count == 0) {
    std::fprintf(stderr, "usage: correct_trig_soak N [SEED]   (N arguments per function)\n");
    return 2;
  }
  const std::uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  bool clean = true;
  std::printf("%-5s %14s %10s %10s %10s %12s\n", "", "arguments", "wrong", "wrong fast",
              "flags", "left to MPFR");
  for (const Function& f : kFunctions) {
    std::vector<Counts> perThread(threads);
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t) {
      const std::uint64_t share = count / threads + (t < count % threads ? 1 : 0);
      workers.emplace_back([&, t, share] { perThread[t] = soak(f, share, seed * 1000003 + t); });
    }
    for (auto& worker : workers) worker.join();
    Counts total;
    for (const Counts& counts : perThread) total.add(counts);
    std::printf("%-5s %14" PRIu64 " %10" PRIu64 " %10" PRIu64 " %10" PRIu64 " %12" PRIu64 "\n",
                f.name, count, total.wrong, total.wrongFast, total.flagsDiffer, total.leftToMpfr);
    std::fflush(stdout);
    clean = clean && total.wrong == 0 && total.wrongFast == 0 && total.flagsDiffer == 0;
  }
  return clean ? 0 : 1;
}
