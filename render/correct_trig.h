// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Sine, cosine and tangent of doubles, correctly rounded (to nearest, ties to
// even) for every argument: the one result no CPU, compiler or C library can
// change. A fast double-double evaluation settles nearly every argument; the
// rare ones it cannot settle go to MPFR. Faults are raised as the C library
// raises them: an infinite argument raises invalid (and gives NaN), a NaN
// passes through, and nothing else raises divide-by-zero, overflow or invalid.

#include <optional>

#include "double_double.h"

namespace plorvex {

double crSin(double x);
double crCos(double x);
double crTan(double x);

// The same for four arguments at once (out may be in): with AVX2 and FMA where
// the CPU has them, the same bits as the functions above everywhere.
void crSin4(const double in[4], double out[4]);
void crCos4(const double in[4], double out[4]);
void crTan4(const double in[4], double out[4]);

namespace trig_detail {

// The fast evaluation alone: the correctly rounded result when its error bound
// proves the rounding, nothing when the bound straddles a rounding boundary
// (then the functions above ask MPFR). For the tests and the soak run.
std::optional<double> fastSin(double x);
std::optional<double> fastCos(double x);
std::optional<double> fastTan(double x);

// The double-double the fast evaluation rounds, for finite x above 2^-26 in
// magnitude (nothing when the reduction leaves x to MPFR), and the bound of
// its relative error: for the tests that the bound holds.
enum class Function { Sin, Cos, Tan };
std::optional<DoubleDouble> approximation(Function function, double x);
double relativeErrorBound(Function function);

// crSin and the others as on a CPU without FMA.
double withoutFma(Function function, double x);

// crSin4 and the others as on a CPU without AVX2 and FMA.
void lanesWithoutAvx2(Function function, const double in[4], double out[4]);

}  // namespace trig_detail
}  // namespace plorvex
