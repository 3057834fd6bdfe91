// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Correctly rounded exp, log and pow (round to nearest, ties to even) for
// every double argument, from plain double arithmetic: the same bits on every
// CPU, with or without fused multiply-adds. A double-double evaluation with a
// proven error bound settles nearly every argument; when its error interval
// holds a rounding boundary, MPFR decides. The exception flags that report
// arithmetic faults (divide-by-zero, overflow, invalid) come out as the C
// library's pow, exp and log raise them.

#include "double_double.h"

namespace plorvex {

double crExp(double x);
double crLog(double x);
double crPow(double base, double exponent);

// Four bases to one exponent (out may be base): with AVX2 and FMA where the
// CPU has them, the bits and fault flags of four crPow calls everywhere.
void crPow4(const double base[4], double exponent, double out[4]);

namespace correct_pow_detail {

// The fast evaluations: ln x for a finite x > 0 and e^z for |z.hi| <= 746, as
// below, within these relative errors.
DoubleDouble logFast(double x);
inline constexpr double kFastLogRelativeError = 0x1p-67;
struct ScaledDoubleDouble;
ScaledDoubleDouble expFast(DoubleDouble z);
inline constexpr double kFastExpRelativeError = 0x1p-66;

// The accurate evaluations when the fast ones cannot decide the rounding.
// ln x for a finite x > 0, with |result - ln x| <= kLogRelativeError * |ln x|.
DoubleDouble logDoubleDouble(double x);
inline constexpr double kLogRelativeError = 0x1p-78;

// e^(z.hi + z.lo) = (scaled.hi + scaled.lo) * 2^exponent, the sum in [0.99, 2.02]
// and within kExpRelativeError of it relatively, for |z.hi| <= 746.
struct ScaledDoubleDouble {
  DoubleDouble scaled;
  int exponent;
};
ScaledDoubleDouble expDoubleDouble(DoubleDouble z);
inline constexpr double kExpRelativeError = 0x1p-78;

// How often the fast evaluation could not decide the rounding (and the
// accurate one was asked), and how often that could not either (and MPFR was
// asked), since the start of the thread: for tests and measurements.
struct FallbackCounts {
  long long exp = 0, log = 0, pow = 0;
  long long expAccurate = 0, logAccurate = 0, powAccurate = 0;
};
FallbackCounts fallbackCounts();

// crPow as on a CPU without FMA.
double powWithoutFma(double x, double y);

// crPow4 as on a CPU without AVX2 and FMA.
void powLanesWithoutAvx2(const double base[4], double exponent, double out[4]);

}  // namespace correct_pow_detail

}  // namespace plorvex
