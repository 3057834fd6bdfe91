// SPDX-License-Identifier: GPL-3.0-or-later
#include "correct_pow.h"

#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>

#include "correct_pow_tables.h"

// How the evaluation works (Tang's table methods in double-double, Ziv's
// rounding test, MPFR as the last resort):
//
// ln x: x = 2^e * m with m in [0.75, 1.5); i = round(256 m), r = the tabled
// reciprocal of i / 256 (exactly 1 for i = 256); t = m r - 1 is exact as a
// double-double (m r by Dekker's product, then Sterbenz), |t| < 2^-8.58.
// ln x = e ln 2 - ln r + ln(1 + t), where ln(1 + t) = t - t^2/2 + t^3/3 in
// double-double plus t^4 (-1/4 + t/5 - ... + t^7/11) in plain doubles.
// Errors, relative to |ln x|: the plain tail <= 2^-81 (|tail| < |t|^4/4, about
// 4 roundings of 2^-53, and |ln x| >= |t| whenever e = 0 and i = 256; larger
// otherwise), truncation |t|^11/12 < 2^-98, tables and ln 2 below 2^-97, the
// double-double operations below 2^-100 each: in all under 2^-80, claimed as
// 2^-78.
//
// e^z: k = round(z 128 / ln 2), r = z - k ln2/128 (ln 2 / 128 in three parts,
// the first exact times k), |r| < 2^-8.52; e^z = 2^(k >> 7) 2^((k & 127)/128)
// e^r with the tabled 2^(j/128) as double-doubles and e^r - 1 = r + r^2/2 +
// r^3/6 in double-double plus r^4 (1/24 + ... + r^4/8!) in plain doubles.
// Errors: the plain tail < 2^-89, truncation < 2^-95, the rest below 2^-98:
// claimed as 2^-78.
//
// pow: e^(y ln|x|) with ln|x| in double-double; the product's relative error
// is at most ln's plus 2^-100, so the exponent is off by at most
// |y ln x| 2^-77.9, which for results that neither overflow nor underflow
// (|y ln x| < 746) is below 2^-68.3.

namespace plorvex {
namespace {

using namespace pow_tables;
using correct_pow_detail::FallbackCounts;
using correct_pow_detail::kExpRelativeError;
using correct_pow_detail::kLogRelativeError;
using correct_pow_detail::ScaledDoubleDouble;

thread_local FallbackCounts fallbacks;

// 2^n for n in [-1022, 1023], built from its bits.
double twoTo(int n) { return std::bit_cast<double>(static_cast<std::uint64_t>(n + 1023) << 52); }

DoubleDouble negate(DoubleDouble a) { return {-a.hi, -a.lo}; }
DoubleDouble scale(DoubleDouble a, double powerOfTwo) { return {a.hi * powerOfTwo, a.lo * powerOfTwo}; }

struct Decomposed {
  int exponent;
  double mantissa;  // in [0.75, 1.5)
};

// x = 2^exponent * mantissa, for finite x > 0 (subnormals included).
Decomposed decompose(double x) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  int exponent = -1023;
  if ((bits >> 52) == 0) {  // subnormal: make it normal exactly first
    bits = std::bit_cast<std::uint64_t>(x * 0x1p54);
    exponent -= 54;
  }
  exponent += static_cast<int>(bits >> 52);
  double mantissa = std::bit_cast<double>((bits & 0x000fffffffffffffULL) | 0x3ff0000000000000ULL);
  if (mantissa >= 1.5) {
    mantissa *= 0.5;
    exponent += 1;
  }
  return {exponent, mantissa};
}

// ln(1 + t) for |t| < 2^-8.5, t exact as a double-double.
DoubleDouble log1pSmall(DoubleDouble t) {
  const double th = t.hi;
  const double tail =
      (th * th) * (th * th) *
      (-0x1p-2 + th * (0x1.999999999999ap-3 + th * (-0x1.5555555555555p-3 +
       th * (0x1.2492492492492p-3 + th * (-0x1p-3 + th * (0x1.c71c71c71c71cp-4 +
       th * (-0x1.999999999999ap-4 + th * 0x1.745d1745d1746p-4)))))));
  const DoubleDouble square = multiply(t, t);
  const DoubleDouble cubeThird = multiply(multiply(square, t), DoubleDouble{kThirdHi, kThirdLo});
  DoubleDouble sum = add(cubeThird, DoubleDouble{tail, 0.0});
  sum = add(scale(square, -0.5), sum);
  return add(t, sum);
}

// e^r - 1 for |r| < 2^-8.5.
DoubleDouble expm1Small(DoubleDouble r) {
  const double rh = r.hi;
  const double tail = (rh * rh) * (rh * rh) *
                      (0x1.5555555555555p-5 + rh * (0x1.1111111111111p-7 + rh * (0x1.6c16c16c16c17p-10 +
                       rh * (0x1.a01a01a01a01ap-13 + rh * 0x1.a01a01a01a01ap-16))));
  const DoubleDouble square = multiply(r, r);
  const DoubleDouble cubeSixth =
      multiply(multiply(square, r), DoubleDouble{kThirdHi * 0.5, kThirdLo * 0.5});
  DoubleDouble sum = add(cubeSixth, DoubleDouble{tail, 0.0});
  sum = add(scale(square, 0.5), sum);
  return add(r, sum);
}

// The double nearest to the scaled value times 2^exponent with the sign, if
// every value within errorRelative of it rounds to that same double; false
// when the error interval holds a rounding boundary. Overflow gives the
// infinity (and raises the flag) as the multiplication does.
bool roundScaled(ScaledDoubleDouble value, double errorRelative, bool negative, double& result) {
  const double hi = value.scaled.hi;
  const double lo = value.scaled.lo;
  const int exponent = value.exponent;
  // Margin for the roundings of the test itself (below 2^-104 relative).
  const double error = hi * (errorRelative + 0x1p-100);
  if (exponent > -1022 || (exponent == -1022 && hi >= 1.0)) {
    if (hi + (lo + error) != hi || hi + (lo - error) != hi) return false;
    const double magnitude =
        exponent > 1023 ? hi * 2.0 * twoTo(exponent - 1) : hi * twoTo(exponent);
    result = negative ? -magnitude : magnitude;
    return true;
  }
  // Below the normal range the grid is 2^-1074: round in units of it.
  const double unitScale = twoTo(exponent + 1074);  // exponent + 1074 >= -3
  const double units = hi * unitScale;               // < 2^52, exact
  const double whole = static_cast<double>(static_cast<std::int64_t>(units));
  const double fraction = (units - whole) + lo * unitScale;
  const double unitError = error * unitScale + 0x1p-40;
  double rounded;
  if (fraction + unitError < 0.5) {
    rounded = whole;
  } else if (fraction - unitError > 0.5) {
    rounded = whole + 1.0;
  } else {
    return false;
  }
  const double magnitude = rounded * 0x1p-1074;  // exact
  result = negative ? -magnitude : magnitude;
  return true;
}

// Results raised through arithmetic, so that the flags come with them.
double overflowed(bool negative) {
  volatile double huge = 0x1p1023;
  const double magnitude = huge * huge;
  return negative ? -magnitude : magnitude;
}

double underflowed(bool negative) {
  volatile double tiny = 0x1p-1000;
  const double magnitude = tiny * tiny;
  return negative ? -magnitude : magnitude;
}

double dividedByZero(bool negative) {
  volatile double zero = 0.0;
  const double magnitude = 1.0 / zero;
  return negative ? -magnitude : magnitude;
}

double invalid() {
  volatile double zero = 0.0;
  return zero / zero;
}

// The last resort: MPFR at double precision with the double exponent range,
// subnormals included. The flags are left as they were, except that an
// infinite or zero result raises overflow or underflow as arithmetic would.
enum class MpfrFunction { Exp, Log, Pow };

double mpfrCorrectlyRounded(MpfrFunction function, double x, double y) {
  std::fexcept_t savedFlags;
  std::fegetexceptflag(&savedFlags, FE_ALL_EXCEPT);
  const mpfr_exp_t savedMin = mpfr_get_emin();
  const mpfr_exp_t savedMax = mpfr_get_emax();
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  mpfr_t result, base, exponent;
  mpfr_inits2(53, result, base, exponent, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(base, x, MPFR_RNDN);
  mpfr_set_d(exponent, y, MPFR_RNDN);
  int ternary = 0;
  switch (function) {
    case MpfrFunction::Exp: ternary = mpfr_exp(result, base, MPFR_RNDN); break;
    case MpfrFunction::Log: ternary = mpfr_log(result, base, MPFR_RNDN); break;
    case MpfrFunction::Pow: ternary = mpfr_pow(result, base, exponent, MPFR_RNDN); break;
  }
  mpfr_subnormalize(result, ternary, MPFR_RNDN);
  const double value = mpfr_get_d(result, MPFR_RNDN);
  mpfr_clears(result, base, exponent, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_emin(savedMin);
  mpfr_set_emax(savedMax);
  std::fesetexceptflag(&savedFlags, FE_ALL_EXCEPT);
  if (std::isinf(value)) return overflowed(value < 0);
  if (value == 0.0) return underflowed(std::signbit(value));
  return value;
}

// e^z for a double-double z (or the error bound of z folded into
// errorRelative), with the sign; overflow and underflow decided on the way.
double expRounded(DoubleDouble z, double errorRelative, bool negative, bool& decided) {
  decided = true;
  if (z.hi > 709.8) return overflowed(negative);     // e^z >= 2^1024 for sure
  if (z.hi < -745.2) return underflowed(negative);   // e^z < 2^-1075 for sure
  if (std::fabs(z.hi) < 0x1p-55) return negative ? -1.0 : 1.0;
  double result = 0.0;
  decided = roundScaled(correct_pow_detail::expDoubleDouble(z), errorRelative + kExpRelativeError,
                        negative, result);
  return result;
}

enum class Parity { NotInteger, Even, Odd };

Parity parityOf(double y) {  // y finite
  const double magnitude = std::fabs(y);
  if (magnitude >= 0x1p53) return Parity::Even;  // every such double is even
  const auto whole = static_cast<std::int64_t>(y);
  if (static_cast<double>(whole) != y) return Parity::NotInteger;
  return (whole & 1) != 0 ? Parity::Odd : Parity::Even;
}

// pow's cases outside the finite positive base and finite exponent, as
// C99 Annex F gives them (and the C library raises them). True when settled.
bool powSpecialCase(double x, double y, Parity parity, double& result) {
  if (std::isinf(y)) {
    const double magnitude = std::fabs(x);
    if (magnitude == 1.0) result = 1.0;
    else result = (magnitude < 1.0) == (y < 0) ? INFINITY : 0.0;
    return true;
  }
  const bool odd = parity == Parity::Odd;
  if (x == 0.0) {
    const bool negative = odd && std::signbit(x);
    result = y < 0 ? dividedByZero(negative) : (negative ? -0.0 : 0.0);
    return true;
  }
  if (std::isinf(x)) {
    const bool negative = odd && x < 0;
    const double magnitude = y < 0 ? 0.0 : INFINITY;
    result = negative ? -magnitude : magnitude;
    return true;
  }
  if (x < 0 && parity == Parity::NotInteger) {
    result = invalid();
    return true;
  }
  if (std::fabs(x) == 1.0) {  // x = -1 with an integer power
    result = odd && x < 0 ? -1.0 : 1.0;
    return true;
  }
  return false;
}

}  // namespace

namespace correct_pow_detail {

FallbackCounts fallbackCounts() { return fallbacks; }

DoubleDouble logDoubleDouble(double x) {
  const Decomposed d = decompose(x);
  const int index = static_cast<int>(d.mantissa * 256.0 + 0.5);
  const double* entry = kLogReciprocal[index - kLogFirstIndex];
  const DoubleDouble product = twoProduct(d.mantissa, entry[0]);
  const DoubleDouble t = fastTwoSum(product.hi - 1.0, product.lo);
  const DoubleDouble exponentPart = multiply(DoubleDouble{kLn2Hi, kLn2Lo}, static_cast<double>(d.exponent));
  const DoubleDouble tablePart{entry[1], entry[2]};
  return add(add(exponentPart, tablePart), log1pSmall(t));
}

ScaledDoubleDouble expDoubleDouble(DoubleDouble z) {
  constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds to an integer
  const double k = (z.hi * k128ByLn2 + kRoundingShift) - kRoundingShift;
  const int steps = static_cast<int>(k);
  DoubleDouble r = twoSum(z.hi, -k * kLn2By128Part1);  // k * part 1 is exact
  r = add(r, negate(twoProduct(k, kLn2By128Part2)));
  r = add(r, DoubleDouble{z.lo - k * kLn2By128Part3, 0.0});
  const DoubleDouble power{kExp2[steps & 127][0], kExp2[steps & 127][1]};
  const DoubleDouble scaled = add(power, multiply(power, expm1Small(r)));
  return {scaled, steps >> 7};
}

}  // namespace correct_pow_detail

double crExp(double x) {
  if (std::isnan(x)) return x + x;
  if (std::isinf(x)) return x > 0 ? x : 0.0;
  bool decided;
  const double result = expRounded(DoubleDouble{x, 0.0}, 0.0, false, decided);
  if (decided) return result;
  ++fallbacks.exp;
  return mpfrCorrectlyRounded(MpfrFunction::Exp, x, 0.0);
}

double crLog(double x) {
  if (std::isnan(x)) return x + x;
  if (x < 0) return invalid();
  if (x == 0) return dividedByZero(true);
  if (std::isinf(x)) return x;
  if (x == 1.0) return 0.0;
  const DoubleDouble value = correct_pow_detail::logDoubleDouble(x);
  const double error = std::fabs(value.hi) * (kLogRelativeError + 0x1p-100);
  if (value.hi + (value.lo + error) == value.hi && value.hi + (value.lo - error) == value.hi)
    return value.hi;
  ++fallbacks.log;
  return mpfrCorrectlyRounded(MpfrFunction::Log, x, 0.0);
}

double crPow(double x, double y) {
  if (y == 0.0 || x == 1.0) return 1.0;
  if (std::isnan(x) || std::isnan(y)) return x + y;
  const Parity parity = std::isinf(y) ? Parity::Even : parityOf(y);
  double result;
  if (powSpecialCase(x, y, parity, result)) return result;
  const bool negative = x < 0 && parity == Parity::Odd;
  const double magnitude = std::fabs(x);
  // |ln x| >= 2^-54 for x != 1, so beyond 2^64 the power over- or underflows.
  if (std::fabs(y) > 0x1p64)
    return (magnitude > 1.0) == (y > 0) ? overflowed(negative) : underflowed(negative);
  const DoubleDouble z = multiply(correct_pow_detail::logDoubleDouble(magnitude), y);
  bool decided;
  result = expRounded(z, std::fabs(z.hi) * 0x1.1p-78 + 0x1p-100, negative, decided);
  if (decided) return result;
  ++fallbacks.pow;
  return mpfrCorrectlyRounded(MpfrFunction::Pow, x, y);
}

}  // namespace plorvex
