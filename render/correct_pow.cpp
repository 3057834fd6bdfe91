// SPDX-License-Identifier: GPL-3.0-or-later
#include "correct_pow.h"

#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>

#include "correct_pow_tables.h"
#include "cpu_features.h"
#include "lane_double_double.h"
#include "mpfr_caches.h"

// How the evaluation works (Tang's table methods, Ziv's rounding test, MPFR as
// the last resort). Each function first tries a fast evaluation; when its
// error interval holds a rounding boundary, an accurate one in double-double;
// when that cannot decide either (about never, but exact powers and midpoints
// such as (2^27 - 1)^2 must), MPFR.
//
// Reduction of ln x: x = 2^e m with m in [0.75, 1.5); i = round(256 m), r =
// 256 / i to 11 bits (exactly 1 for i = 256); t = m r - 1 = a + b exactly,
// with a = (m's 42 leading bits) r - 1 and b = (m's other bits) r;
// |t| < 2^-8.45. ln x = e ln 2 - ln r + ln(1 + t), -ln r tabled to 2^-106.
//
// Fast ln: the large terms (e ln 2 to 42 bits, exact times e; -ln r; a; the
// high half of -t^2/2, exact) summed without error, the rest in plain doubles:
// t^3 (1/3 - t/4 + ... - t^7/10) to about 2^-70 |t| (rounding) and 2^-73 |t|
// (truncation), the low half of t^2/2 and the lows of the sums far below.
// |ln x| >= |t|/1.01 when e = 0, else >= 0.28: under 2^-68.5 relative,
// claimed as 2^-67.
// Accurate ln: t - t^2/2 + t^3/3 in double-double plus t^4 (-1/4 + ... +
// t^7/11) in plain doubles: the tail within 2^-80 |t|, truncation 2^-90 |t|,
// tables and double-double operations below 2^-97: claimed as 2^-78.
//
// Reduction of e^z: k = round(z 128 / ln 2), r = z - k ln2/128 (ln 2 / 128 in
// three parts, the first exact times k), |r| < 2^-8.52; e^z = 2^(k >> 7)
// 2^((k & 127)/128) e^r with 2^(j/128) tabled as double-doubles.
// Fast e^r: r in two doubles (the first exact, the second within 2^-79);
// 2^(j/128) times r's 26 leading bits exact, the rest and r^2/2 + ... + r^7/7!
// in plain doubles: rounding below 2^-67.5, truncation 2^-83: claimed 2^-66.
// Accurate e^r: r, r^2/2 and r^3/6 in double-double, r^4 (1/24 + ... + r^4/8!)
// in plain doubles: tail below 2^-89, truncation 2^-95: claimed as 2^-78.
//
// pow = e^(y ln|x|): z = y ln|x| as a double-double has ln's relative error
// plus 2^-100, so e^z is off by at most 1.0625 |z| that plus exp's own error.
// The claimed bounds are checked against MPFR in the tests.

namespace plorvex {
namespace {

using namespace pow_tables;
using namespace correct_pow_detail;

thread_local FallbackCounts fallbacks;

// 2^n for n in [-1022, 1023], built from its bits.
double twoTo(int n) { return std::bit_cast<double>(static_cast<std::uint64_t>(n + 1023) << 52); }

DoubleDouble negate(DoubleDouble a) { return {-a.hi, -a.lo}; }
DoubleDouble scale(DoubleDouble a, double powerOfTwo) { return {a.hi * powerOfTwo, a.lo * powerOfTwo}; }

struct Decomposed {
  int exponent;
  double mantissa;  // in [0.75, 1.5)
  int index;        // round(256 mantissa), halves up
};

// x = 2^exponent * mantissa, for finite x > 0 (subnormals included).
[[gnu::always_inline]] inline Decomposed decompose(double x) {
  std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
  int exponent = -1023;
  if ((bits >> 52) == 0) {  // subnormal: make it normal exactly first
    bits = std::bit_cast<std::uint64_t>(x * 0x1p54);
    exponent -= 54;
  }
  // A mantissa of 1.5 or more (its first fraction bit set) is halved, without
  // a branch: random arguments would mispredict it half the time.
  const auto halve = static_cast<int>((bits >> 51) & 1);
  exponent += static_cast<int>(bits >> 52) + halve;
  const std::uint64_t mantissaExponent = static_cast<std::uint64_t>(1023 - halve) << 52;
  // 256 mantissa = 256 + fraction / 2^44, or 128 + fraction / 2^45 when
  // halved: rounded from the fraction's bits, without a conversion from
  // double, which would lengthen the way to the table.
  const std::uint64_t fraction = bits & 0x000fffffffffffffULL;
  const int shift = 44 + halve;
  const auto index = static_cast<int>((256 >> halve) + ((fraction + (std::uint64_t{1} << (shift - 1))) >> shift));
  return {exponent, std::bit_cast<double>(fraction | mantissaExponent), index};
}

// ln(1 + t) for |t| < 2^-8.45, t exact as a double-double.
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

// x with its lowest dropped bits cleared: the leading bits, exactly.
double leadingBits(double x, int dropped) {
  return std::bit_cast<double>(std::bit_cast<std::uint64_t>(x) & (~std::uint64_t{0} << dropped));
}

// ln x = exponent ln 2 - ln r + ln(1 + a + b), with a + b exact.
struct ReducedLog {
  int exponent;
  const double* entry;  // r, -ln r high, -ln r low
  double a, b;
};

// The 42 leading bits of the mantissa times the 11-bit r are exact, and so is
// the product minus 1 (Sterbenz); the other 11 bits times r are exact too.
[[gnu::always_inline]] inline ReducedLog reduceLog(double x) {
  const Decomposed d = decompose(x);
  const int index = d.index;
  const double* entry = kLogReciprocal[index - kLogFirstIndex];
  // With r = 1, m - 1 is exact on its own (Sterbenz), and keeping t in one
  // part spares the fast ln the cancellation of two.
  if (index == 256) return {d.exponent, entry, d.mantissa - 1.0, 0.0};
  const double lead = leadingBits(d.mantissa, 11);
  return {d.exponent, entry, lead * entry[0] - 1.0, (d.mantissa - lead) * entry[0]};
}

// The fast ln x: the large terms summed without error, t^2/2 exact to far
// below its last bit, the rest in plain doubles. Inlined into pow, which
// spends most of its time here and in fastExp.
[[gnu::always_inline]] inline DoubleDouble fastLog(double x) {
  const ReducedLog reduced = reduceLog(x);
  // a and b may cancel (|t| far below |b| < 2^-41.5) only where -ln r or e ln 2
  // dominates ln x, which makes their absolute errors harmless.
  const double a = reduced.a;
  const double b = reduced.b;
  const double t = a + b;
  // -t^2/2 = -(a^2 + b (2a + b))/2, a^2 = aHigh^2 (exact: 26 bits) + aLow (a + aHigh).
  const double aHigh = leadingBits(a, 27);
  const double squareHigh = -0.5 * (aHigh * aHigh);
  const double squareLow = -0.5 * ((a - aHigh) * (a + aHigh) + b * (2.0 * a + b));
  // t^3 (1/3 - t/4 + ... - t^7/10), in pairs (Estrin) for a short chain.
  const double t2 = t * t;
  const double cubic =
      (t2 * t) * (((0x1.5555555555555p-2 - t * 0x1p-2) + t2 * (0x1.999999999999ap-3 - t * 0x1.5555555555555p-3)) +
                  (t2 * t2) * ((0x1.2492492492492p-3 - t * 0x1p-3) +
                               t2 * (0x1.c71c71c71c71cp-4 - t * 0x1.999999999999ap-4)));
  const double exponent = reduced.exponent;
  // Each sum's first term is zero or larger than its second: |-ln r| < 0.29 <
  // ln 2; for e = 0, |-ln r| >= 2^-8 (r != 1) > |a|; |a + ln r| > 2^-10 > a^2/2.
  const DoubleDouble tabled = fastTwoSum(exponent * kLn2Hi42, reduced.entry[1]);
  const DoubleDouble withA = fastTwoSum(tabled.hi, a);
  const DoubleDouble withSquare = fastTwoSum(withA.hi, squareHigh);
  const double low = ((exponent * kLn2Rest42 + reduced.entry[2]) + (b + squareLow + cubic)) +
                     (tabled.lo + withA.lo + withSquare.lo);
  return fastTwoSum(withSquare.hi, low);
}

// The fast e^z: r = z - k ln2/128 in two doubles (the first exact), 2^(j/128)
// times r with the table's high part and r cut to 26 bits, so that their main
// product is exact, the rest in plain doubles.
[[gnu::always_inline]] inline ScaledDoubleDouble fastExp(DoubleDouble z) {
  constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds to an integer
  const double shifted = z.hi * k128ByLn2 + kRoundingShift;
  const double k = shifted - kRoundingShift;
  // The low bits of shifted's significand are k in two's complement (|k| <
  // 2^17): read there, the table's index needs no conversion from double.
  const auto steps = static_cast<int>(static_cast<std::uint32_t>(std::bit_cast<std::uint64_t>(shifted)));
  // Exact: both are multiples of min(ulp(z.hi), 2^-42) and differ by < 2^-8.
  const double rHigh = z.hi - k * kLn2By128Part1;
  const double rLow = z.lo - k * kLn2By128Part2;  // part 3 times k is below 2^-81
  const double r = rHigh + rLow;
  // r^2 (1/2 + r/6 + ... + r^5/7!), in pairs (Estrin) for a short chain.
  const double r2 = r * r;
  const double higher =
      r2 * (((0.5 + r * 0x1.5555555555555p-3) + r2 * (0x1.5555555555555p-5 + r * 0x1.1111111111111p-7)) +
            (r2 * r2) * (0x1.6c16c16c16c17p-10 + r * 0x1.a01a01a01a01ap-13));
  const double powerHigh = kExp2[steps & 127][0];
  const double powerLow = kExp2[steps & 127][1];
  const double powerLead = leadingBits(powerHigh, 27);
  const double rLead = leadingBits(rHigh, 27);
  const DoubleDouble main = fastTwoSum(powerHigh, powerLead * rLead);  // the product is exact
  const double low = ((powerLead * (rHigh - rLead) + (powerHigh - powerLead) * rHigh) + powerLow * r) +
                     (main.lo + powerLow) + powerHigh * (rLow + higher);
  return {fastTwoSum(main.hi, low), steps >> 7};
}

}  // namespace

namespace correct_pow_detail {

DoubleDouble logFast(double x) { return fastLog(x); }

ScaledDoubleDouble expFast(DoubleDouble z) { return fastExp(z); }

}  // namespace correct_pow_detail

namespace {

// The double nearest to the scaled value times 2^exponent with the sign, if
// every value within errorRelative of it rounds to that same double; false
// when the error interval holds a rounding boundary. Overflow gives the
// infinity (and raises the flag) as the multiplication does.
[[gnu::always_inline]] inline bool roundScaled(ScaledDoubleDouble value, double errorRelative,
                                               bool negative, double& result) {
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
  freeMpfrCachesAtThreadExit();
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

// e^z for a double-double z by the evaluation given, with the sign, if the
// rounding is certain within errorRelative (that of z and the evaluation's);
// overflow and underflow decided on the way.
template <class Evaluation>
[[gnu::always_inline]] inline double expRounded(Evaluation evaluation, DoubleDouble z,
                                                double errorRelative, bool negative, bool& decided) {
  decided = true;
  if (z.hi > 709.8) return overflowed(negative);     // e^z >= 2^1024 for sure
  if (z.hi < -745.2) return underflowed(negative);   // e^z < 2^-1075 for sure
  if (std::fabs(z.hi) < 0x1p-55) return negative ? -1.0 : 1.0;
  double result = 0.0;
  decided = roundScaled(evaluation(z), errorRelative, negative, result);
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
  const ReducedLog reduced = reduceLog(x);
  const DoubleDouble exponentPart =
      multiply(DoubleDouble{kLn2Hi, kLn2Lo}, static_cast<double>(reduced.exponent));
  const DoubleDouble tablePart{reduced.entry[1], reduced.entry[2]};
  return add(add(exponentPart, tablePart), log1pSmall(twoSum(reduced.a, reduced.b)));
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
  double result = expRounded(fastExp, DoubleDouble{x, 0.0}, kFastExpRelativeError, false, decided);
  if (decided) return result;
  ++fallbacks.expAccurate;
  result = expRounded(expDoubleDouble, DoubleDouble{x, 0.0}, kExpRelativeError, false, decided);
  if (decided) return result;
  ++fallbacks.exp;
  return mpfrCorrectlyRounded(MpfrFunction::Exp, x, 0.0);
}

namespace {

// The double nearest to value if every value within errorRelative rounds to it.
bool roundDoubleDouble(DoubleDouble value, double errorRelative, double& result) {
  const double error = std::fabs(value.hi) * (errorRelative + 0x1p-100);
  result = value.hi;
  return value.hi + (value.lo + error) == value.hi && value.hi + (value.lo - error) == value.hi;
}

}  // namespace

double crLog(double x) {
  if (std::isnan(x)) return x + x;
  if (x < 0) return invalid();
  if (x == 0) return dividedByZero(true);
  if (std::isinf(x)) return x;
  if (x == 1.0) return 0.0;
  double result;
  if (roundDoubleDouble(fastLog(x), kFastLogRelativeError, result)) return result;
  ++fallbacks.logAccurate;
  if (roundDoubleDouble(logDoubleDouble(x), kLogRelativeError, result)) return result;
  ++fallbacks.log;
  return mpfrCorrectlyRounded(MpfrFunction::Log, x, 0.0);
}

namespace {

bool isSignalingNaN(double x) {
  return std::isnan(x) && (std::bit_cast<std::uint64_t>(x) & (std::uint64_t{1} << 51)) == 0;
}

}  // namespace

namespace {

// x^3, x^4 or x^5 from double-double products (relative error below 2^-100),
// for x in [2^-150, 2^150], where nothing over- or underflows; false when
// the rounding is not certain (a midpoint, say), for the general way to settle.
template <Products kProducts>
[[gnu::always_inline]] inline bool smallWholePower(double x, double y, bool negative,
                                                   double& result) {
  if (!(x >= 0x1p-150 && x <= 0x1p150)) return false;
  const DoubleDouble square = twoProduct<kProducts>(x, x);
  DoubleDouble power =
      y == 4.0 ? multiply<kProducts>(square, square) : multiply<kProducts>(square, x);
  if (y == 5.0) power = multiply<kProducts>(multiply<kProducts>(square, square), x);
  const double error = power.hi * 0x1p-99;
  if (power.hi + (power.lo + error) != power.hi || power.hi + (power.lo - error) != power.hi) return false;
  result = negative ? -power.hi : power.hi;
  return true;
}

// pow for a finite x > 0, x != 1, and 0 < |y| <= 2^64. The products y ln x
// are exact where they matter: |y ln x| below 2^-55 gives 1 whatever its low
// part, and above that its error lies far above the subnormals.
template <Products kProducts>
[[gnu::always_inline]] inline double powPositive(double x, double y, bool negative) {
  // Powers that one IEEE operation already rounds correctly, overflow and
  // flags included, and small whole ones in double-double: the pictures'
  // commonest exponents, settled without ln and exp.
  if (y == 2.0) return negative ? -(x * x) : x * x;
  if (y == 0.5) return std::sqrt(x);
  if (y == 1.0) return negative ? -x : x;
  if (y == -1.0) return negative ? -1.0 / x : 1.0 / x;
  double result;
  if ((y == 3.0 || y == 4.0 || y == 5.0) && smallWholePower<kProducts>(x, y, negative, result))
    return result;
  // z = y ln x has ln's relative error plus 2^-100 of the product; e^z's
  // relative error from it is below 1.0625 |z| times ln's.
  bool decided;
  DoubleDouble z = multiply<kProducts>(fastLog(x), y);
  result = expRounded(fastExp, z, std::fabs(z.hi) * kFastLogRelativeError * 1.0625 + kFastExpRelativeError,
                             negative, decided);
  if (decided) return result;
  ++fallbacks.powAccurate;
  z = multiply<kProducts>(logDoubleDouble(x), y);
  result = expRounded(expDoubleDouble, z, std::fabs(z.hi) * kLogRelativeError * 1.0625 + kExpRelativeError,
                      negative, decided);
  if (decided) return result;
  ++fallbacks.pow;
  return mpfrCorrectlyRounded(MpfrFunction::Pow, negative ? -x : x, y);
}

}  // namespace

namespace {

template <Products kProducts>
[[gnu::always_inline]] inline double powOf(double x, double y) {
  // The common case first, with comparisons that are false for a NaN without
  // raising the invalid flag.
  if (std::isgreater(x, 0.0) && std::isless(x, INFINITY) && x != 1.0 && std::islessequal(std::fabs(y), 0x1p64) &&
      y != 0)
    return powPositive<kProducts>(x, y, false);
  // A signalling NaN is invalid even where any other argument gives 1, as in
  // the C library; the sum raises the flag and quiets it.
  if ((std::isnan(x) || std::isnan(y)) && (isSignalingNaN(x) || isSignalingNaN(y))) return x + y;
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
  return powPositive<kProducts>(magnitude, y, negative);
}

// pow twice: with Dekker's products for any CPU, and with fused multiply-adds
// for those that have them, chosen once at start-up.
double powSplit(double x, double y) { return powOf<Products::Split>(x, y); }

[[gnu::target("fma")]] double powFused(double x, double y) { return powOf<Products::Fused>(x, y); }

}  // namespace

namespace correct_pow_detail {

double powWithoutFma(double x, double y) { return powSplit(x, y); }

}  // namespace correct_pow_detail

double crPow(double x, double y) { return cpuHasFma() ? powFused(x, y) : powSplit(x, y); }

}  // namespace plorvex

// Four bases to one exponent: the fast ln, the product with the exponent, the
// fast e^z and its rounding test exactly as powPositive makes them, on vectors
// of four doubles (vector extensions: with AVX2 and FMA one instruction a
// step, the exact product fused; without them SSE2). Every lane holds the very
// bits powPositive's fast evaluation gives, and the same rounding test
// settles it. Lanes outside the common case (a base that is not a normal
// positive double or is 1, a result near or beyond the ends of the normal
// range or within 2^-55 of 1) or that the test cannot settle go one by one
// through crPow, and with them every fault flag; the other lanes compute on
// 2.0 or clamped values, which raise no fault flag of their own.
// The helpers are always inlined, so no vector crosses a call: GCC's note that
// passing them would differ with AVX does not apply (to the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"
namespace plorvex {
namespace {

using lane_steps::LaneBits, lane_steps::LanePair, lane_steps::Lanes, lane_steps::LaneWords, lane_steps::splat,
    lane_steps::laneFastTwoSum, lane_steps::laneTwoProduct, lane_steps::loadArguments, lane_steps::storeLanes,
    lane_steps::allLanes;

// base[index] in each lane, four loads straight into the vector.
template <Products kProducts>
[[gnu::always_inline]] inline Lanes gather(const double* base, LaneBits index) {
  return Lanes{base[index[0]], base[index[1]], base[index[2]], base[index[3]]};
}

[[gnu::always_inline]] inline Lanes laneLeadingBits(Lanes x, int dropped) {
  return (Lanes)((LaneWords)x & (~std::uint64_t{0} << dropped));
}

// decompose and reduceLog for normal x > 0.
struct LaneReducedLog {
  Lanes exponent;  // a whole number, exactly
  Lanes tabledHi, tabledLo;
  Lanes a, b;
};

template <Products kProducts>
[[gnu::always_inline]] inline LaneReducedLog reduceLogLanes(Lanes x) {
  const LaneWords bits = (LaneWords)x;
  const LaneWords halve = (bits >> 51) & 1;
  const LaneBits exponent = (LaneBits)(bits >> 52) - 1023 + (LaneBits)halve;
  const LaneWords fraction = bits & 0x000fffffffffffffULL;
  const Lanes mantissa = (Lanes)(fraction | ((1023 - halve) << 52));
  const LaneWords shift = 44 + halve;
  const LaneBits index =
      (LaneBits)(((LaneWords{} + 256) >> halve) + ((fraction + ((LaneWords{} + 1) << (shift - 1))) >> shift));
  const LaneBits row = (index - kLogFirstIndex) * 3;
  const Lanes reciprocal = gather<kProducts>(&kLogReciprocal[0][0], row);
  const Lanes tabledHi = gather<kProducts>(&kLogReciprocal[0][1], row);
  const Lanes tabledLo = gather<kProducts>(&kLogReciprocal[0][2], row);
  // |exponent| < 2^51: added to 1.5 2^52 it lands in the significand's low bits.
  constexpr double kWhole = 0x1.8p52;
  const Lanes wholeExponent = (Lanes)((LaneBits)splat(kWhole) + exponent) - kWhole;
  const LaneBits unit = index == 256;
  const Lanes lead = laneLeadingBits(mantissa, 11);
  const Lanes a = unit ? mantissa - 1.0 : lead * reciprocal - 1.0;
  const Lanes b = unit ? splat(0.0) : (mantissa - lead) * reciprocal;
  return {wholeExponent, tabledHi, tabledLo, a, b};
}

// fastLog in the lanes, the same operations in the same order.
template <Products kProducts>
[[gnu::always_inline]] inline LanePair fastLogLanes(Lanes x) {
  const LaneReducedLog reduced = reduceLogLanes<kProducts>(x);
  const Lanes a = reduced.a;
  const Lanes b = reduced.b;
  const Lanes t = a + b;
  const Lanes aHigh = laneLeadingBits(a, 27);
  const Lanes squareHigh = -0.5 * (aHigh * aHigh);
  const Lanes squareLow = -0.5 * ((a - aHigh) * (a + aHigh) + b * (2.0 * a + b));
  const Lanes t2 = t * t;
  const Lanes cubic =
      (t2 * t) * (((0x1.5555555555555p-2 - t * 0x1p-2) + t2 * (0x1.999999999999ap-3 - t * 0x1.5555555555555p-3)) +
                  (t2 * t2) * ((0x1.2492492492492p-3 - t * 0x1p-3) +
                               t2 * (0x1.c71c71c71c71cp-4 - t * 0x1.999999999999ap-4)));
  const Lanes exponent = reduced.exponent;
  const LanePair tabled = laneFastTwoSum(exponent * kLn2Hi42, reduced.tabledHi);
  const LanePair withA = laneFastTwoSum(tabled.hi, a);
  const LanePair withSquare = laneFastTwoSum(withA.hi, squareHigh);
  const Lanes low = ((exponent * kLn2Rest42 + reduced.tabledLo) + (b + squareLow + cubic)) +
                    (tabled.lo + withA.lo + withSquare.lo);
  return laneFastTwoSum(withSquare.hi, low);
}

struct LaneScaled {
  LanePair scaled;
  LaneBits exponent;
};

// fastExp in the lanes, the same operations in the same order.
template <Products kProducts>
[[gnu::always_inline]] inline LaneScaled fastExpLanes(LanePair z) {
  constexpr double kRoundingShift = 0x1.8p52;
  const Lanes shifted = z.hi * k128ByLn2 + kRoundingShift;
  const Lanes k = shifted - kRoundingShift;
  const LaneBits steps = ((LaneBits)shifted << 32) >> 32;
  const Lanes rHigh = z.hi - k * kLn2By128Part1;
  const Lanes rLow = z.lo - k * kLn2By128Part2;
  const Lanes r = rHigh + rLow;
  const Lanes r2 = r * r;
  const Lanes higher =
      r2 * (((0.5 + r * 0x1.5555555555555p-3) + r2 * (0x1.5555555555555p-5 + r * 0x1.1111111111111p-7)) +
            (r2 * r2) * (0x1.6c16c16c16c17p-10 + r * 0x1.a01a01a01a01ap-13));
  const LaneBits row = (steps & 127) * 2;
  const Lanes powerHigh = gather<kProducts>(&kExp2[0][0], row);
  const Lanes powerLow = gather<kProducts>(&kExp2[0][1], row);
  const Lanes powerLead = laneLeadingBits(powerHigh, 27);
  const Lanes rLead = laneLeadingBits(rHigh, 27);
  const LanePair main = laneFastTwoSum(powerHigh, powerLead * rLead);
  const Lanes low = ((powerLead * (rHigh - rLead) + (powerHigh - powerLead) * rHigh) + powerLow * r) +
                    (main.lo + powerLow) + powerHigh * (rLow + higher);
  return {laneFastTwoSum(main.hi, low), steps >> 7};
}

// Exponents that powPositive settles before ln and e^x, or that are not in
// its range: the lanes leave them to crPow.
bool powLanesTake(double y) {
  return std::islessequal(std::fabs(y), 0x1p64) && y != 0 && y != 2.0 && y != 0.5 && y != 1.0 &&
         y != -1.0 && y != 3.0 && y != 4.0 && y != 5.0;
}

// Squares and square roots: crPow gives x * x for every x, and sqrt(x) for
// every x, flags included, but -0 and -infinity (+0 and +infinity there);
// negative bases go the general way, which keeps sqrt from setting errno.
[[gnu::always_inline]] inline bool squareOrRootLanes(const double* in, double y, double* out) {
  if (y != 2.0 && y != 0.5) return false;
  Lanes x = loadArguments(in);
  if (y == 2.0) {
    x = x * x;
  } else {
    const LaneBits bits = (LaneBits)x;
    if ((bits[0] | bits[1] | bits[2] | bits[3]) < 0) return false;  // a sign bit set
    for (int lane = 0; lane < 4; ++lane) x[lane] = __builtin_sqrt(x[lane]);
  }
  storeLanes(out, x);
  return true;
}

template <Products kProducts>
[[gnu::always_inline]] inline void powLanes(const double* in, double y, double* out) {
  if (squareOrRootLanes(in, y, out)) return;
  if (!powLanesTake(y)) {
    for (int lane = 0; lane < 4; ++lane) out[lane] = crPow(in[lane], y);
    return;
  }
  const Lanes x = loadArguments(in);
  // Normal, positive and finite, by the bits; and not 1.
  const LaneBits bits = (LaneBits)x;
  LaneBits usable = (bits >= std::bit_cast<std::int64_t>(0x1p-1022)) &
                    (bits < std::bit_cast<std::int64_t>(std::numeric_limits<double>::infinity())) & (x != 1.0);
  const Lanes safe = usable ? x : splat(2.0);
  const LanePair log = fastLogLanes<kProducts>(safe);
  // multiply<kProducts>(log, y)
  const Lanes exponent = splat(y);
  const LanePair product = laneTwoProduct<kProducts>(log.hi, exponent);
  LanePair z = laneFastTwoSum(product.hi, product.lo + log.lo * exponent);
  // Results surely normal and finite, and not within 2^-55 of 1.
  const Lanes zMagnitude = (Lanes)((LaneWords)z.hi & 0x7fffffffffffffffULL);
  usable &= (z.hi >= -708.0) & (z.hi <= 709.0) & (zMagnitude >= 0x1p-55);
  z.hi = usable ? z.hi : splat(0.0);
  z.lo = usable ? z.lo : splat(0.0);
  const LaneScaled e = fastExpLanes<kProducts>(z);
  const Lanes hi = e.scaled.hi;
  const Lanes lo = e.scaled.lo;
  const Lanes errorRelative = zMagnitude * kFastLogRelativeError * 1.0625 + kFastExpRelativeError;
  const Lanes error = hi * (errorRelative + 0x1p-100);
  usable &= (hi + (lo + error) == hi) & (hi + (lo - error) == hi) & (e.exponent >= -1021) & (e.exponent <= 1022);
  const Lanes result = hi * (Lanes)((e.exponent + 1023) << 52);
  if (allLanes(usable)) [[likely]] {
    storeLanes(out, result);
    return;
  }
  for (int lane = 0; lane < 4; ++lane) out[lane] = usable[lane] ? result[lane] : crPow(in[lane], y);
}

void powLanesPlain(const double* in, double y, double* out) { powLanes<Products::Split>(in, y, out); }

[[gnu::target("avx2,fma")]] void powLanesAvx2Fma(const double* in, double y, double* out) {
  powLanes<Products::Fused>(in, y, out);
}


}  // namespace

namespace correct_pow_detail {

void powLanesWithoutAvx2(const double base[4], double exponent, double out[4]) {
  powLanesPlain(base, exponent, out);
}

}  // namespace correct_pow_detail

void crPow4(const double base[4], double exponent, double out[4]) {
  (cpuHasAvx2AndFma() ? powLanesAvx2Fma : powLanesPlain)(base, exponent, out);
}

}  // namespace plorvex
