// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded exp, log and pow against MPFR, bit for bit, over
// seeded random arguments in every binade, the powers the patterns take, the
// exact and edge cases; pow's fault flags against the C library's.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "correct_math.h"
#include "correct_math_reference.h"
#include "fp.h"

namespace plorvex {
namespace {

using correct_pow_detail::fallbackCounts;

double referencePow(double x, double y) { return testing::mpfrPowReference(x, y); }
double referenceExp(double x) { return testing::mpfrReference(mpfr_exp, x); }
double referenceLog(double x) { return testing::mpfrReference(mpfr_log, x); }

std::string show(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%a", value);
  return text;
}

bool sameBits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The C library's pow, which the faults are compared with. The exponent is
// laundered so that the compiler cannot rewrite pow(x, 2.0) as x * x.
double libraryPow(double x, double y) {
  launder(y);
  return std::pow(x, y);
}

// The fault flags one call raises, with the flags cleared before it.
template <class F>
int faultsOf(F&& call, double& result) {
  clearFaultFlags();
  double value = call();
  launder(value);
  result = value;
  return std::fetestexcept(kFaultFlags);
}

// A random positive finite double, every binade (subnormals included) equally likely.
double anyBinade(std::mt19937_64& random) {
  const std::uint64_t exponent = random() % 2047;
  return std::bit_cast<double>((exponent << 52) | (random() & 0x000fffffffffffffULL));
}

struct Mismatches {
  long long count = 0;
  std::string first;
  void check(const char* what, double x, double y, double got, double expected, const char* against = "MPFR") {
    if (sameBits(got, expected)) return;
    if (count++ == 0)
      first = std::string(what) + "(" + show(x) + ", " + show(y) + ") = " + show(got) + ", " + against + " " +
              show(expected);
  }
};

// pow over arguments drawn by one generator: bits against MPFR, fault flags
// against the C library's pow; both for the way chosen on this CPU and for
// the way without FMA.
void checkPowOver(long long count, std::uint64_t seed,
                  const std::function<std::pair<double, double>(std::mt19937_64&)>& draw) {
  std::mt19937_64 random(seed);
  Mismatches bits, flags;
  for (long long i = 0; i < count; ++i) {
    const auto [x, y] = draw(random);
    double ours, plain, theirs;
    const int ourFaults = faultsOf([&] { return crPow(x, y); }, ours);
    const int plainFaults = faultsOf([&] { return correct_pow_detail::powWithoutFma(x, y); }, plain);
    const int theirFaults = faultsOf([&] { return libraryPow(x, y); }, theirs);
    const double expected = referencePow(x, y);
    bits.check("pow", x, y, ours, expected);
    bits.check("pow without FMA", x, y, plain, expected);
    if (ourFaults != theirFaults) flags.check("pow flags", x, y, ourFaults, theirFaults);
    if (plainFaults != theirFaults) flags.check("pow without FMA flags", x, y, plainFaults, theirFaults);
  }
  EXPECT_EQ(bits.count, 0) << "of " << count << ", first " << bits.first;
  EXPECT_EQ(flags.count, 0) << "of " << count << ", first " << flags.first;
}

TEST(CorrectPow, PowersThePatternsTakeMatchMpfr) {
  // Bases 0..1000 and exponents 0..5: whole, halves and any in between.
  checkPowOver(400000, 1, [](std::mt19937_64& r) {
    return std::pair{std::uniform_real_distribution<double>(0, 1000)(r),
                     std::uniform_real_distribution<double>(0, 5)(r)};
  });
  checkPowOver(300000, 2, [](std::mt19937_64& r) {
    return std::pair{static_cast<double>(r() % 1001), static_cast<double>(r() % 11) * 0.5};
  });
  checkPowOver(300000, 3, [](std::mt19937_64& r) {
    return std::pair{std::uniform_real_distribution<double>(-1000, 1000)(r), static_cast<double>(r() % 6)};
  });
}

TEST(CorrectPow, PowersAcrossBinadesMatchMpfr) {
  // Exponents aimed at results over the whole range, overflow and underflow
  // included; negative bases with whole exponents; exponents of any size.
  checkPowOver(300000, 4, [](std::mt19937_64& r) {
    const double x = anyBinade(r);
    const double target = std::uniform_real_distribution<double>(-760, 720)(r);
    const double y = std::log(x) == 0 ? 3.0 : target / std::log(x);
    return std::pair{x, y};
  });
  checkPowOver(100000, 5, [](std::mt19937_64& r) {
    const double x = -std::uniform_real_distribution<double>(0, 40)(r);
    return std::pair{x, static_cast<double>(static_cast<int>(r() % 401) - 200)};
  });
  checkPowOver(100000, 6, [](std::mt19937_64& r) {
    const double x = 1.0 + std::ldexp(static_cast<double>(static_cast<int>(r() % 2001) - 1000), -50);
    return std::pair{x, r() % 2 ? anyBinade(r) : -anyBinade(r)};
  });
}

TEST(CorrectPow, ExpAndLogMatchMpfrInEveryBinade) {
  std::mt19937_64 random(7);
  Mismatches exps, logs;
  for (int i = 0; i < 1000000; ++i) {
    const double x = i % 4 == 0 ? (random() % 2 ? 1 : -1) * anyBinade(random)
                                : std::uniform_real_distribution<double>(-746, 710)(random);
    exps.check("exp", x, 0, crExp(x), referenceExp(x));
    const double y = anyBinade(random);
    logs.check("log", y, 0, crLog(y), referenceLog(y));
  }
  EXPECT_EQ(exps.count, 0) << exps.first;
  EXPECT_EQ(logs.count, 0) << logs.first;
}

// The claimed error bounds of the fast and the accurate evaluations, measured
// against MPFR at 200 bits: the rounding tests are only as sound as these.
TEST(CorrectPow, EvaluationsStayWithinTheirClaimedBounds) {
  using namespace correct_pow_detail;
  mpfr_t exact, approx;
  mpfr_inits2(200, exact, approx, static_cast<mpfr_ptr>(nullptr));
  auto relativeError = [&](DoubleDouble value) {
    mpfr_set_d(approx, value.hi, MPFR_RNDN);
    mpfr_add_d(approx, approx, value.lo, MPFR_RNDN);
    mpfr_sub(approx, approx, exact, MPFR_RNDN);
    mpfr_div(approx, approx, exact, MPFR_RNDN);
    return std::fabs(mpfr_get_d(approx, MPFR_RNDN));
  };
  std::mt19937_64 random(8);
  double worst[4] = {};  // fast ln, accurate ln, fast exp, accurate exp
  for (int i = 0; i < 200000; ++i) {
    // Near 1 (where ln cancels), near the table's boundaries, and anywhere.
    double x = anyBinade(random);
    if (i % 3 == 1) x = 1.0 + std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), -(i % 60));
    if (i % 3 == 2)
      x = std::ldexp((static_cast<int>(random() % 193) + 191.5) / 256.0, static_cast<int>(random() % 41) - 20);
    if (x != 1.0) {
      mpfr_set_d(exact, x, MPFR_RNDN);
      mpfr_log(exact, exact, MPFR_RNDN);
      worst[0] = std::max(worst[0], relativeError(logFast(x)));
      worst[1] = std::max(worst[1], relativeError(logDoubleDouble(x)));
    }
    // Anywhere, and at the boundaries between the table's steps.
    const double zh = i % 2 ? std::uniform_real_distribution<double>(-746, 746)(random)
                            : std::ldexp(static_cast<int>(random() % 257) - 128.5, -7) * 0.6931471805599453;
    const double zl = std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), -53) * zh;
    const DoubleDouble z = fastTwoSum(zh, zl);
    int slot = 2;
    for (auto evaluation : {expFast, expDoubleDouble}) {
      mpfr_set_d(exact, z.hi, MPFR_RNDN);
      mpfr_add_d(exact, exact, z.lo, MPFR_RNDN);
      mpfr_exp(exact, exact, MPFR_RNDN);
      const ScaledDoubleDouble e = evaluation(z);
      mpfr_div_2si(exact, exact, e.exponent, MPFR_RNDN);
      worst[slot] = std::max(worst[slot], relativeError(e.scaled));
      ++slot;
    }
  }
  mpfr_clears(exact, approx, static_cast<mpfr_ptr>(nullptr));
  const double claimed[4] = {kFastLogRelativeError, kLogRelativeError, kFastExpRelativeError, kExpRelativeError};
  const char* names[4] = {"fast ln", "accurate ln", "fast exp", "accurate exp"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_LE(worst[i], claimed[i]) << names[i] << ": 2^" << std::log2(worst[i]);
    std::printf("worst relative error of %s: 2^%.1f (claimed 2^%.0f)\n", names[i], std::log2(worst[i]),
                std::log2(claimed[i]));
  }
}

// Special values, exact powers, midpoints and the edges of the range: the
// bits MPFR gives, and the fault flags the C library's pow raises.
TEST(CorrectPow, SpecialExactAndEdgeCasesMatchMpfrAndTheLibraryFlags) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double signaling = std::numeric_limits<double>::signaling_NaN();
  const double tiny = std::numeric_limits<double>::denorm_min();
  const std::vector<double> values{0.0, -0.0, tiny, -tiny, 0x1p-1022, 0.5, -0.5, 1.0, -1.0, 1.5, 2.0,
                                   -2.0, 3.0, -3.0, 0.25, 1e308, -1e308, 0x1p53, -0x1p53, 0x1p53 + 2,
                                   0x1.fffffffffffffp52, -0x1.fffffffffffffp52, 1e20, -1e20, inf, -inf,
                                   nan, -nan, signaling, 1 + 0x1p-52, 1 - 0x1p-53};
  Mismatches bits, flags;
  // The way chosen on this CPU and the way without FMA.
  auto check = [&](double x, double y) {
    for (auto* pow : {crPow, correct_pow_detail::powWithoutFma}) {
      double ours, theirs;
      const int ourFaults = faultsOf([&] { return pow(x, y); }, ours);
      const int theirFaults = faultsOf([&] { return libraryPow(x, y); }, theirs);
      bits.check("pow", x, y, ours, std::isnan(theirs) ? theirs : referencePow(x, y));
      if (ourFaults != theirFaults) flags.check("pow flags", x, y, ourFaults, theirFaults);
    }
  };
  for (double x : values)
    for (double y : values) check(x, y);
  const std::vector<std::pair<double, double>> exactAndEdges{
      {4, 0.5}, {9, 0.5}, {0.25, -0.5}, {1e10, 0.5}, {2, -1074}, {2, -1075}, {2, -1074.5}, {2, -1075.5},
      {0.5, 1074}, {0.5, 1075}, {-2, -1075}, {-2, -1074}, {0x1p-537, 2}, {2, 1023}, {2, 1024}, {-2, 1023},
      {-2, 1024}, {10, 308.25}, {10, 308.5}, {10, -323.5}, {10, -324}, {134217727, 2}, {3, 33}, {5, 22},
      {1000, 5}, {999, 5}, {0, 5}, {7, -3}, {0x1.fffffffffffffp1023, 1}, {0x1.fffffffffffffp1023, 1.0000000001},
      {tiny, 0.5}, {tiny, -1}, {tiny, 1.0 / 1074}, {0x1p-1074, -0.999}, {1.0000001, 7.1e9}, {0.9999999, 7.4e9},
      {2.718281828459045, 709.78271289338397}, {2.718281828459045, 709.782712893384}, {2, 1023.9999999999999}};
  for (auto [x, y] : exactAndEdges) check(x, y);
  EXPECT_EQ(bits.count, 0) << bits.first;
  EXPECT_EQ(flags.count, 0) << flags.first;
}

TEST(CorrectPow, ExpAndLogEdgesMatchMpfrAndFlagTheirFaults) {
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    double (*ours)(double);
    double (*mpfr)(double);
    double argument;
    int faults;
  };
  const Case cases[]{
      {crExp, referenceExp, 709.782712893384, 0},  // the largest finite e^x
      {crExp, referenceExp, 709.7827128933841, FE_OVERFLOW},
      {crExp, referenceExp, 1e300, FE_OVERFLOW},
      {crExp, referenceExp, -745.1332191019411, 0},  // the last non-zero
      {crExp, referenceExp, -745.1332191019412, 0},
      {crExp, referenceExp, -1e300, 0},
      {crExp, referenceExp, 0x1p-60, 0},
      {crExp, referenceExp, -0x1p-1074, 0},
      {crExp, referenceExp, -708.5, 0},
      {crExp, referenceExp, -inf, 0},
      {crExp, referenceExp, inf, 0},
      {crLog, referenceLog, 0.0, FE_DIVBYZERO},
      {crLog, referenceLog, -0.0, FE_DIVBYZERO},
      {crLog, referenceLog, -1.0, FE_INVALID},
      {crLog, referenceLog, 1.0, 0},
      {crLog, referenceLog, 1 - 0x1p-53, 0},
      {crLog, referenceLog, 1 + 0x1p-52, 0},
      {crLog, referenceLog, 0x1p-1074, 0},
      {crLog, referenceLog, 0x1.fffffffffffffp1023, 0},
      {crLog, referenceLog, inf, 0},
  };
  for (const Case& c : cases) {
    double result;
    const int faults = faultsOf([&] { return c.ours(c.argument); }, result);
    EXPECT_TRUE(sameBits(result, c.mpfr(c.argument))) << show(c.argument) << " gave " << show(result);
    EXPECT_EQ(faults, c.faults) << show(c.argument);
  }
}

// Four bases to one exponent, with AVX2 (where the CPU has it) and without:
// the bits and fault flags of four scalar calls, over the patterns' exponents,
// any exponents and the special ones, with bases of every kind mixed in the
// lanes (exponents aimed at the ends of the range in part); a share of the
// lanes against MPFR as well.
TEST(CorrectPow, FourLanesGiveTheScalarBitsAndFlags) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double patternExponents[]{1.0 / 5, 0.27, 1.0 / 3, 1.0 / 17, 0.25, 0.5, 2, 0.2, 0.4};
  const double oddBases[]{0.0, -0.0, 1.0, -1.0, inf, -inf, nan, 0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp-1023,
                          0x1.fffffffffffffp1023, 1 + 0x1p-52, 1 - 0x1p-53, -2.5, 4.0, 0.25};
  const double oddExponents[]{0.0, -0.0, 1.0, -1.0, 3.0, 4.0, 5.0, inf, -inf, nan, 0x1p64, 0x1.0000000000001p64,
                              -0x1p64, 0x1p-1074, -7.0, 1075.0, -1075.5};
  std::mt19937_64 random(10);
  auto base = [&](int kind) {
    switch (kind) {
      case 0: case 1: case 2: return std::uniform_real_distribution<double>(0, 1000)(random);
      case 3: return anyBinade(random);
      case 4: return 1.0 + std::ldexp(std::uniform_real_distribution<double>(-1, 1)(random), -40);
      case 5: return -anyBinade(random);
      default: return oddBases[random() % std::size(oddBases)];
    }
  };
  Mismatches bits, flags, mpfr;
  constexpr int kCalls = 1000000;
  for (int i = 0; i < kCalls; ++i) {
    double in[4];
    for (double& x : in) x = base(static_cast<int>(random() % 8));
    double y;
    switch (i % 6) {
      case 0: case 1: case 2: y = patternExponents[random() % std::size(patternExponents)]; break;
      case 3: y = std::uniform_real_distribution<double>(-5, 5)(random); break;
      case 4: y = oddExponents[random() % std::size(oddExponents)]; break;
      default: {  // results across the whole range, the ends included, for the first lane's base
        in[0] = anyBinade(random);
        const double target = std::uniform_real_distribution<double>(-760, 720)(random);
        y = std::log(in[0]) == 0 ? 0.3 : target / std::log(in[0]);
      }
    }
    double scalar[4];
    clearFaultFlags();
    for (int lane = 0; lane < 4; ++lane) scalar[lane] = crPow(in[lane], y);
    const int scalarFaults = std::fetestexcept(kFaultFlags);
    for (auto* lanes : {crPow4, correct_pow_detail::powLanesWithoutAvx2}) {
      double out[4];
      clearFaultFlags();
      lanes(in, y, out);
      const int faults = std::fetestexcept(kFaultFlags);
      if (faults != scalarFaults) flags.check("pow4 flags", in[0], y, faults, scalarFaults, "one at a time");
      for (int lane = 0; lane < 4; ++lane) bits.check("pow4", in[lane], y, out[lane], scalar[lane], "one at a time");
    }
    if (i % 20 == 0)
      for (int lane = 0; lane < 4; ++lane) mpfr.check("pow", in[lane], y, scalar[lane], referencePow(in[lane], y));
  }
  EXPECT_EQ(bits.count, 0) << "of " << 4 * kCalls << " lanes, first " << bits.first;
  EXPECT_EQ(flags.count, 0) << "of " << kCalls << ", first " << flags.first;
  EXPECT_EQ(mpfr.count, 0) << "of " << kCalls / 5 << ", first " << mpfr.first;
}

// The fast evaluation decides nearly everything, MPFR next to nothing; the
// counts are printed for the record.
TEST(CorrectPow, FallbacksAreRare) {
  const auto before = fallbackCounts();
  std::mt19937_64 random(9);
  constexpr int kCalls = 1000000;
  for (int i = 0; i < kCalls; ++i) {
    double value = crPow(std::uniform_real_distribution<double>(0, 1000)(random),
                         std::uniform_real_distribution<double>(0, 5)(random)) +
                   crExp(std::uniform_real_distribution<double>(-700, 700)(random)) +
                   crLog(anyBinade(random));
    keepEvaluated(value);
  }
  const auto after = fallbackCounts();
  const long long accurate[3] = {after.powAccurate - before.powAccurate, after.expAccurate - before.expAccurate,
                                 after.logAccurate - before.logAccurate};
  const long long mpfr[3] = {after.pow - before.pow, after.exp - before.exp, after.log - before.log};
  std::printf("of %d calls each (pow, exp, log): accurate evaluation %lld, %lld, %lld; MPFR %lld, %lld, %lld\n",
              kCalls, accurate[0], accurate[1], accurate[2], mpfr[0], mpfr[1], mpfr[2]);
  for (int i = 0; i < 3; ++i) {
    EXPECT_LT(accurate[i], kCalls / 100);
    EXPECT_LT(mpfr[i], kCalls / 100000);
  }
}

// The fallback changes MPFR's exponent range for a moment: that is only safe
// across threads when MPFR keeps it per thread.
TEST(CorrectPow, MpfrKeepsItsStatePerThread) { EXPECT_TRUE(mpfr_buildopt_tls_p()); }

// The movie path's hyperbolic functions: within a few units in the last place
// of the true values (of 1 below 1), and no fault flag where the value is finite.
TEST(CorrectPow, PathHyperbolicFunctionsStayCloseAndRaiseNoFaults) {
  struct Case {
    double (*ours)(double);
    int (*mpfr)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);
    double argument;
  };
  const Case cases[]{{pathCosh, mpfr_cosh, 0.0}, {pathCosh, mpfr_cosh, -3.5}, {pathCosh, mpfr_cosh, 700.0},
                     {pathSinh, mpfr_sinh, 0.75}, {pathSinh, mpfr_sinh, -40.0}, {pathSinh, mpfr_sinh, 2.0},
                     {pathTanh, mpfr_tanh, 0.1}, {pathTanh, mpfr_tanh, -5.0}, {pathTanh, mpfr_tanh, 400.0},
                     {pathTanh, mpfr_tanh, -1e300}, {pathAsinh, mpfr_asinh, 0.5}, {pathAsinh, mpfr_asinh, -1e3},
                     {pathAsinh, mpfr_asinh, 1e300}, {pathAsinh, mpfr_asinh, 3e-5}};
  mpfr_t value;
  mpfr_init2(value, 53);
  for (const Case& c : cases) {
    mpfr_set_d(value, c.argument, MPFR_RNDN);
    c.mpfr(value, value, MPFR_RNDN);
    const double expected = mpfr_get_d(value, MPFR_RNDN);
    double result;
    EXPECT_EQ(faultsOf([&] { return c.ours(c.argument); }, result), 0) << show(c.argument);
    // Relative near and beyond 1, absolute below (see correct_math.h).
    const double scale = std::max(std::fabs(expected), 1.0);
    EXPECT_LE(std::fabs(result - expected), 4 * (std::nextafter(scale, 2 * scale) - scale)) << show(c.argument);
  }
  mpfr_clear(value);
}

}  // namespace
}  // namespace plorvex
