// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture's mathematics: correctly rounded functions of our own, so that
// every machine paints the same bits whatever its C library, CPU or compiler
// flags. Everything the pictures and the movie path compute beyond + - * /
// and sqrt comes from here.

#include <cmath>

#include "correct_pow.h"
#include "correct_trig.h"

namespace plorvex {

#ifndef PLORVEX_BENCH_LIBRARY_MATHS
// The sine, cosine and tangent of the formulas: a pattern says
// `using maths::sin, maths::cos, maths::tan;` so that its formulas read as
// written and never reach the C library's.
namespace maths {
inline double sin(double x) { return crSin(x); }
inline double cos(double x) { return crCos(x); }
inline double tan(double x) { return crTan(x); }
}  // namespace maths

// The power operator of the formulas: a ^ p is this even for p = 0.5 or 2
// (the correctly rounded pow is the square root or the square there anyway).
inline double power(double base, double exponent) { return crPow(base, exponent); }
#else
// Only for the benchmark that weighs the program's maths against the C
// library's (bench/CMakeLists.txt builds the frame and the patterns again with
// this): the same kernels calling the C library. Never in the program.
namespace maths {
using std::cos, std::sin, std::tan;
}  // namespace maths

inline double power(double base, double exponent) {
  asm volatile("" : "+m"(exponent) : : "memory");  // keeps pow(x, 2.0) a call
  return std::pow(base, exponent);
}
#endif

// The hyperbolic functions of the movie path, written on the correctly rounded
// exp and log in one fixed way (+ - * / and sqrt are exact to the last bit
// everywhere), so that every machine gives the same bits. They are not
// correctly rounded themselves: pathSinh loses relative accuracy for |x| far
// below 1 through the cancellation of e^x - e^-x (its absolute error stays
// below 2^-52).
inline double pathCosh(double x) { return (crExp(x) + crExp(-x)) * 0.5; }

inline double pathSinh(double x) { return (crExp(x) - crExp(-x)) * 0.5; }

// 1 - 2 / (e^2x + 1); beyond |x| = 20 the value is +-1 to the last bit, and
// stopping there keeps e^2x from overflowing and raising the flag.
inline double pathTanh(double x) {
  if (std::fabs(x) > 20.0) return x > 0 ? 1.0 : -1.0;
  return 1.0 - 2.0 / (crExp(2.0 * x) + 1.0);
}

// ln(|x| + sqrt(x^2 + 1)) with x's sign; beyond 2^28 the square root is |x|
// to the last bit, and ln(2|x|) keeps x^2 from overflowing.
inline double pathAsinh(double x) {
  const double magnitude = std::fabs(x);
  const double value = magnitude > 0x1p28 ? crLog(magnitude) + 0x1.62e42fefa39efp-1
                                          : crLog(magnitude + std::sqrt(magnitude * magnitude + 1.0));
  return std::copysign(value, x);
}

}  // namespace plorvex
