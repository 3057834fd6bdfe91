// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded sin, cos and tan against MPFR: special values, a
// million seeded arguments per function over every binade, the arguments
// closest to multiples of pi/2, and the fault flags against the C library's.
// The same source is built twice: with the unit compiled plainly and with the
// unit compiled for FMA and AVX2 (correct_math_fma_tests).

#include <gtest/gtest.h>

#include <cfenv>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <random>
#include <ostream>
#include <string>
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
  plorvex::trig_detail::Function kind;
  void (*lanes)(const double*, double*);
};

const Function kFunctions[] = {
    {"sin", plorvex::crSin, plorvex::trig_detail::fastSin, ::sin, mpfr_sin,
     plorvex::trig_detail::Function::Sin, plorvex::crSin4},
    {"cos", plorvex::crCos, plorvex::trig_detail::fastCos, ::cos, mpfr_cos,
     plorvex::trig_detail::Function::Cos, plorvex::crCos4},
    {"tan", plorvex::crTan, plorvex::trig_detail::fastTan, ::tan, mpfr_tan,
     plorvex::trig_detail::Function::Tan, plorvex::crTan4},
};

void PrintTo(const Function& f, std::ostream* out) { *out << f.name; }

// A call's result and the fault flags it raised.
struct Outcome {
  double value;
  int flags;
};

Outcome call(double (*function)(double), double x) {
  std::feclearexcept(FE_ALL_EXCEPT);
  volatile double argument = x;
  const double value = function(argument);
  return {value, std::fetestexcept(kFaultFlags)};
}

class CorrectTrig : public ::testing::TestWithParam<Function> {
 protected:
  void SetUp() override {
#ifdef PLORVEX_UNIT_BUILT_FOR_FMA
    if (!__builtin_cpu_supports("fma") || !__builtin_cpu_supports("avx2"))
      GTEST_SKIP() << "this CPU has no FMA or AVX2";
#endif
  }

  // Ours against MPFR, and our flags against the C library's.
  void expectCorrect(double x) {
    const Function& f = GetParam();
    const Outcome ours = call(f.ours, x);
    const Outcome library = call(f.library, x);
    const double expected = mpfrReference(f.mpfr, x);
    EXPECT_TRUE(sameResult(ours.value, expected))
        << f.name << "(" << std::hexfloat << x << ") = " << ours.value << ", correctly rounded "
        << expected;
    EXPECT_EQ(ours.flags, library.flags) << f.name << "(" << std::hexfloat << x << ") flags";
  }
};

TEST_P(CorrectTrig, SpecialValuesAndTheirFlags) {
  const double values[] = {0.0, DBL_TRUE_MIN, 2 * DBL_TRUE_MIN, 0x1.fffffffffffffp-1023, DBL_MIN,
                           0x1p-600, 0x1.fffffffffffffp-29, 0x1p-28, 0x1.fffffffffffffp-28,
                           0x1p-27, 0x1.fffffffffffffp-27, 0x1p-26, 0x1.0000000000001p-26,
                           0x1p-9, 0.5, 1.0, 0x1.921fb54442d18p-1, 0x1.921fb54442d19p-1,
                           0x1.921fb54442d18p+0, 3.141592653589793, 100.0, 1000.0,
                           0x1.fffffffffffffp+19, 0x1p20, 0x1.0000000000001p+20, 0x1p52, 0x1p53,
                           0x1p63, 0x1p64, 0x1p100, 1e22, 1e300, DBL_MAX, INFINITY, NAN};
  for (double magnitude : values) {
    expectCorrect(magnitude);
    expectCorrect(-magnitude);
  }
}

// The double nearest a multiple of pi/2 for k < 10^5 and at powers of two, a
// few ulps either side, where the reduction cancels most bits; and the double
// closest to a multiple of pi/2 of all, 6381956970095103 * 2^797.
TEST_P(CorrectTrig, ArgumentsNearMultiplesOfHalfPi) {
  std::vector<double> centres = {std::ldexp(6381956970095103.0, 797)};
  mpfr_t multiple;
  mpfr_init2(multiple, 256);
  for (std::uint64_t k = 1; k < 100000; k = k < 64 ? k + 1 : k * 11 / 10 + 1) {
    for (int power = 0; power <= 60; power += k < 64 ? 30 : 60) {
      mpfr_const_pi(multiple, MPFR_RNDN);
      mpfr_mul_ui(multiple, multiple, static_cast<unsigned long>(k), MPFR_RNDN);
      mpfr_mul_2si(multiple, multiple, power - 1, MPFR_RNDN);
      centres.push_back(mpfr_get_d(multiple, MPFR_RNDN));
    }
  }
  mpfr_clear(multiple);
  for (double centre : centres) {
    double below = centre, above = centre;
    for (int step = 0; step < 3; ++step) {
      expectCorrect(below);
      expectCorrect(-above);
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, INFINITY);
    }
  }
}

#include "correct_math_hard_cases.inc"

// The arguments whose results lie closest to a midpoint between two doubles
// (found by scripts/make-trig-hard-cases): the fast path must leave them or
// get them right, and the result must be right.
TEST_P(CorrectTrig, HardestToRoundArguments) {
  const Function& f = GetParam();
  int cases = 0;
  for (const HardCase& hard : kHardCases) {
    if (std::string(hard.function) != f.name) continue;
    ++cases;
    expectCorrect(hard.argument);
    const std::optional<double> fast = f.fast(hard.argument);
    EXPECT_TRUE(!fast || sameResult(*fast, mpfrReference(f.mpfr, hard.argument)))
        << f.name << "(" << std::hexfloat << hard.argument << ") fast path";
  }
  EXPECT_GT(cases, 20);
}

// A million arguments (seeded) over every binade. The fast path, where it
// answers, must be right by itself; it must answer nearly always.
TEST_P(CorrectTrig, MillionArgumentsAgreeWithMpfr) {
  const Function& f = GetParam();
  ArgumentSource source(0x5eed0000u + f.name[0]);
  constexpr int kCount = 1000000;
  int wrong = 0, wrongFast = 0, flagsDiffer = 0, fallbacks = 0;
  bool reported = false;
  for (int i = 0; i < kCount; ++i) {
    const double x = source.next();
    const double expected = mpfrReference(f.mpfr, x);
    const Outcome ours = call(f.ours, x);
    const Outcome library = call(f.library, x);
    const std::optional<double> fast = f.fast(x);
    wrong += !sameResult(ours.value, expected);
    flagsDiffer += ours.flags != library.flags;
    fallbacks += !fast.has_value();
    wrongFast += fast && !sameResult(*fast, expected);
    if (!reported && (wrong || wrongFast || flagsDiffer)) {
      ADD_FAILURE() << "first failure: " << f.name << "(" << std::hexfloat << x << ")";
      reported = true;
    }
  }
  std::printf("%s: %d arguments, %d left to MPFR\n", f.name, kCount, fallbacks);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(wrongFast, 0);
  EXPECT_EQ(flagsDiffer, 0);
  EXPECT_LT(fallbacks, kCount / 1000);
}

// The fast evaluation's double-double against MPFR at 256 bits: its relative
// error stays below the bound the rounding test relies on, over magnitudes from
// 2^-26 to 2^1023, near multiples of pi/2, and (every other argument) half way
// between two steps of pi/1024 below 2^11, where the remainder is largest.
TEST_P(CorrectTrig, FastEvaluationErrorStaysWithinItsBound) {
  const Function& f = GetParam();
  const auto function = f.kind;
  const double bound = plorvex::trig_detail::relativeErrorBound(function);
  ArgumentSource source(0xb0d0000u + f.name[0]);
  std::mt19937_64 random(0xb0d1u + f.name[0]);
  const auto halfWayBetweenSteps = [&random] {
    const double steps = static_cast<double>(random() % 651000) + 0.5;
    return (random() & 1 ? -1.0 : 1.0) * steps * (M_PI / 1024);
  };
  mpfr_t exact, approximate;
  mpfr_init2(exact, 256);
  mpfr_init2(approximate, 256);
  double worst = 0;
  int measured = 0;
  for (int i = 0; i < 300000; ++i) {
    const double x = i % 2 ? source.next() : halfWayBetweenSteps();
    if (!std::isfinite(x) || std::fabs(x) < 0x1p-26) continue;
    const auto y = plorvex::trig_detail::approximation(function, x);
    if (!y) continue;
    mpfr_set_d(exact, x, MPFR_RNDN);
    f.mpfr(exact, exact, MPFR_RNDN);
    mpfr_set_d(approximate, y->hi, MPFR_RNDN);
    mpfr_add_d(approximate, approximate, y->lo, MPFR_RNDN);
    mpfr_sub(approximate, approximate, exact, MPFR_RNDN);
    mpfr_div(approximate, approximate, exact, MPFR_RNDN);
    const double error = std::fabs(mpfr_get_d(approximate, MPFR_RNDN));
    if (error > worst) worst = error;
    ++measured;
  }
  mpfr_clear(exact);
  mpfr_clear(approximate);
  std::printf("%s: worst relative error 2^%.2f over %d arguments, bound 2^%.0f\n", f.name,
              std::log2(worst), measured, std::log2(bound));
  EXPECT_GT(measured, 200000);
  EXPECT_LT(worst, bound);
}

// Four at a time, with AVX2 (where the CPU has it) and without: the same bits
// as one at a time, and the fault flags of the four scalar calls together
// (arguments of every kind mixed in the lanes; every other group all below
// 2^11, where the lanes take the steps of pi/1024, near those steps as well).
TEST_P(CorrectTrig, FourLanesGiveTheScalarBitsAndFlags) {
  const Function& f = GetParam();
  const auto withoutAvx2 = [&f](const double* in, double* out) {
    plorvex::trig_detail::lanesWithoutAvx2(f.kind, in, out);
  };
  ArgumentSource source(0x1a4e0000u + f.name[0]);
  int differ = 0, flagsDiffer = 0;
  for (int i = 0; i < 250000; ++i) {
    double in[4], scalar[4];
    for (double& x : in) x = i % 2 ? source.nextBelow2048() : source.next();
    std::feclearexcept(FE_ALL_EXCEPT);
    for (int lane = 0; lane < 4; ++lane) scalar[lane] = f.ours(in[lane]);
    const int scalarFlags = std::fetestexcept(kFaultFlags);
    for (int way = 0; way < 2; ++way) {
      double lanes[4];
      std::feclearexcept(FE_ALL_EXCEPT);
      if (way == 0) f.lanes(in, lanes); else withoutAvx2(in, lanes);
      flagsDiffer += std::fetestexcept(kFaultFlags) != scalarFlags;
      for (int lane = 0; lane < 4; ++lane) {
        if (!sameResult(lanes[lane], scalar[lane]) && ++differ == 1)
          ADD_FAILURE() << f.name << "(" << std::hexfloat << in[lane] << ") way " << way
                        << ": lanes " << lanes[lane] << ", scalar " << scalar[lane];
      }
    }
  }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(flagsDiffer, 0);
}

// With fused multiply-adds (chosen at start-up where the CPU has them) and
// without: the same bits and flags over arguments of every kind. With the
// comparison against MPFR above, the way without them is right as well.
TEST_P(CorrectTrig, WayWithoutFmaGivesTheSameBitsAndFlags) {
  const Function& f = GetParam();
  const auto withoutFma = [&f](double x) { return plorvex::trig_detail::withoutFma(f.kind, x); };
  ArgumentSource source(0xf3a0000u + f.name[0]);
  int differ = 0, flagsDiffer = 0;
  for (int i = 0; i < 1000000; ++i) {
    const double x = source.next();
    std::feclearexcept(FE_ALL_EXCEPT);
    const double ours = f.ours(x);
    const int flags = std::fetestexcept(kFaultFlags);
    std::feclearexcept(FE_ALL_EXCEPT);
    const double plain = withoutFma(x);
    flagsDiffer += std::fetestexcept(kFaultFlags) != flags;
    if (!sameResult(plain, ours) && ++differ == 1)
      ADD_FAILURE() << f.name << "(" << std::hexfloat << x << "): " << ours << " and without FMA "
                    << plain;
  }
  EXPECT_EQ(differ, 0);
  EXPECT_EQ(flagsDiffer, 0);
}

INSTANTIATE_TEST_SUITE_P(Functions, CorrectTrig, ::testing::ValuesIn(kFunctions),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
