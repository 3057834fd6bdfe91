// SPDX-License-Identifier: GPL-3.0-or-later
// Soaks the correctly rounded pow, exp and log against MPFR: N seeded random
// arguments per function (pow half on the powers the pictures take, half
// across the range), printing the count of mismatches. Usage:
// correct_pow_soak N [SEED]
#include <mpfr.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "correct_math.h"
#include "correct_math_reference.h"

namespace {

// pow, exp or ln (which = 0, 1, 2) as MPFR rounds it to a double.
double reference(int which, double x, double y) {
  using namespace plorvex::testing;
  return which == 0 ? mpfrPowReference(x, y) : mpfrReference(which == 1 ? mpfr_exp : mpfr_log, x);
}

double anyBinade(std::mt19937_64& random) {
  return std::bit_cast<double>(((random() % 2047) << 52) | (random() & 0x000fffffffffffffULL));
}

bool same(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

void report(const char* name, long long mismatches, double x, double y) {
  std::printf("%s: %lld mismatches", name, mismatches);
  if (mismatches > 0) std::printf(" (first at %a, %a)", x, y);
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || std::atoll(argv[1]) <= 0) {
    std::fprintf(stderr, "usage: %s N [SEED]   (N arguments per function)\n", argv[0]);
    return 2;
  }
  const long long count = std::atoll(argv[1]);
  std::mt19937_64 random(argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1);
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  long long mismatches[3] = {};
  double first[3][2] = {};
  auto check = [&](int which, double x, double y, double ours) {
    if (same(ours, reference(which, x, y))) return;
    if (mismatches[which]++ == 0) first[which][0] = x, first[which][1] = y;
  };
  std::uniform_real_distribution<double> unit(0, 1);
  for (long long i = 0; i < count; ++i) {
    double x, y;
    if (i % 2 == 0) {
      x = unit(random) * 1000;
      y = unit(random) * 5;
    } else {
      x = anyBinade(random);
      y = (unit(random) * 1500 - 760) / std::log(x);
    }
    check(0, x, y, plorvex::crPow(x, y));
    const double e = i % 4 == 1 ? (random() % 2 ? 1 : -1) * anyBinade(random) : unit(random) * 1456 - 746;
    check(1, e, 0, plorvex::crExp(e));
    const double l = anyBinade(random);
    check(2, l, 0, plorvex::crLog(l));
  }
  const auto counts = plorvex::correct_pow_detail::fallbackCounts();
  report("pow", mismatches[0], first[0][0], first[0][1]);
  report("exp", mismatches[1], first[1][0], first[1][1]);
  report("log", mismatches[2], first[2][0], first[2][1]);
  std::printf("of %lld each: accurate evaluation %lld pow, %lld exp, %lld log; MPFR %lld pow, %lld exp, %lld log\n",
              count, counts.powAccurate, counts.expAccurate, counts.logAccurate, counts.pow, counts.exp, counts.log);
  return mismatches[0] + mismatches[1] + mismatches[2] == 0 ? 0 : 1;
}
