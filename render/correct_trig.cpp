// SPDX-License-Identifier: GPL-3.0-or-later
// Correctly rounded sin, cos and tan in three steps (Ziv's strategy):
//   1. Reduction of |x| to r in [-pi/4, pi/4] and a quadrant, as a double-double
//      with relative error below 2^-88: exactly by the Cody-Waite pieces of pi/2
//      below 2^20, by the bits of 2/pi in integer arithmetic (Payne-Hanek) above
//      and within 2^-50 of a multiple of pi/2.
//   2. sin or cos of r from a table of sin and cos at i/256 and short Taylor
//      polynomials of the remainder t = r - i/256 (|t| <= 2^-9), relative error
//      below 2^-68 (the bound is worked out at evaluateAt below).
//   3. A rounding test: if the whole interval of the error bound rounds to one
//      double, that double is the correctly rounded result. Otherwise MPFR,
//      which rounds correctly by construction, gives it (about one argument in
//      ten thousand).
// Only plain double operations and integer arithmetic are used: no fused
// multiply-add can change a bit, whatever the compiler or CPU.

#include "correct_trig.h"

#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>

#include "double_double.h"

namespace plorvex {
namespace {

#include "correct_trig_tables.inc"

using std::uint64_t;
using Uint128 = unsigned __int128;

// Relative error bounds, each with a margin over the worked-out value.
constexpr double kSinCosBound = 0x1p-67;  // evaluation 2^-67.9 + reduction 2^-88
constexpr double kTanBound = 0x1p-65;     // a quotient of two of those

// Below these magnitudes the correctly rounded result is known without work:
// sin x = x(1 - x^2/6 ...) and tan x = x(1 + x^2/3 ...) lie within half an
// ulp of x (x^2/6 < 2^-54.5 and x^2/3 < 2^-55 of |x|), cos x = 1 - x^2/2 ...
// lies within a quarter ulp below 1 (x^2/2 < 2^-55).
constexpr double kSinTinyBelow = 0x1p-26;
constexpr double kTanTinyBelow = 0x1p-28;
constexpr double kCosTinyBelow = 0x1p-27;

constexpr double kQuarterPi = 0x1.921fb54442d18p-1;
// Cody-Waite is exact below this magnitude (k < 2^20 keeps k times a 33-bit
// piece of pi/2 exact).
constexpr double kCodyWaiteBelow = 0x1p20;

double powerOfTwo(int exponent) {  // 2^exponent, for -1022 <= exponent <= 1023
  return std::bit_cast<double>(static_cast<uint64_t>(exponent + 1023) << 52);
}

// Without a comparison, which would raise invalid for a NaN.
bool finite(double x) { return (std::bit_cast<uint64_t>(x) & 0x7ff0000000000000ull) != 0x7ff0000000000000ull; }

DoubleDouble negated(DoubleDouble a) { return {-a.hi, -a.lo}; }

struct Reduction {
  DoubleDouble r;  // |x| - quadrant * pi/2 (mod 2 pi), |r| <= pi/4 or a hair above
  unsigned quadrant = 0;
  bool exact = true;  // false: too close to a multiple of pi/2 for the bound
};

// |x| below 2^20: k = nearest integer to |x| 2/pi, r = |x| - k (P0 + P1 + P2 +
// P3). |x| - k P0 is exact (Sterbenz: k P0 lies within a factor 2 of |x|) and
// so are k P0, k P1 (33-bit pieces) and the two-sum and two-product; the one
// rounded sum (add) errs by less than 2^-104 |r|, and k P3 and the pieces' sum
// against pi/2 by less than 2^-140 in all. Hence 2^-89 of |r| when |r| >=
// 2^-50; closer to a multiple of pi/2 the integer reduction takes over.
Reduction reduceCodyWaite(double ax) {
  const double k = (ax * kTwoOverPi + 0x1.8p52) - 0x1.8p52;
  const double first = ax - k * kHalfPiPiece[0];
  const DoubleDouble second = twoSum(first, -(k * kHalfPiPiece[1]));
  const DoubleDouble third = twoProduct(k, kHalfPiPiece[2]);
  const DoubleDouble r = add(second, negated(third));
  const DoubleDouble reduced = fastTwoSum(r.hi, r.lo - k * kHalfPiPiece[3]);
  const bool farEnough = std::fabs(reduced.hi) >= 0x1p-50;
  return {reduced, static_cast<unsigned>(static_cast<uint64_t>(k) & 3), farEnough};
}

// |x| = m 2^e with the 53-bit integer m: |x| 2/pi mod 4 from a 256-bit window
// of 2/pi in integer arithmetic. Bits of 2/pi above the window make m 2^e b a
// multiple of 4, which the quadrant ignores; those below it add less than
// 2^-201 to the fraction, which is at least 2^-64 for any double (the closest
// a double comes to a multiple of pi/2 is about 2^-61). The fraction is taken
// to 106 bits (relative error 2^-105) and multiplied by pi/2 as a
// double-double (2^-102): 2^-101 in all.
Reduction reducePayneHanek(double ax) {
  const uint64_t bits = std::bit_cast<uint64_t>(ax);
  const uint64_t mantissa = (bits & 0x000fffffffffffffull) | 0x0010000000000000ull;
  const int exponent = static_cast<int>(bits >> 52) - 1075;  // >= -32 here
  // Window: 256 bits of 2/pi starting at the bit of weight 2^-(e-1), which is
  // bit e + 62 of the padded table counted from 0. Then |x| (2/pi) over the
  // window is mantissa * window / 2^254.
  const int offset = exponent + 62;
  const int word = offset / 64;
  const int shift = offset % 64;
  uint64_t window[4];
  for (int i = 0; i < 4; ++i) {
    const uint64_t next = shift ? kTwoOverPiBits[word + i + 1] >> (64 - shift) : 0;
    window[i] = (kTwoOverPiBits[word + i] << shift) | next;
  }
  uint64_t product[5];  // mantissa * window, product[4] most significant
  Uint128 carry = 0;
  for (int i = 3; i >= 0; --i) {
    const Uint128 partial = static_cast<Uint128>(mantissa) * window[i] + carry;
    product[3 - i] = static_cast<uint64_t>(partial);
    carry = partial >> 64;
  }
  product[4] = static_cast<uint64_t>(carry);
  unsigned quadrant = static_cast<unsigned>(product[3] >> 62);
  // The fraction below the quadrant, as 256 bits f[3] (top) .. f[0].
  uint64_t f[4] = {product[0] << 2, (product[1] << 2) | (product[0] >> 62),
                   (product[2] << 2) | (product[1] >> 62), (product[3] << 2) | (product[2] >> 62)};
  const bool negative = f[3] >> 63;  // fraction >= 1/2: round the quadrant up
  if (negative) {
    quadrant += 1;
    Uint128 borrow = 1;
    for (auto& part : f) {  // two's complement: 2^256 - f
      const Uint128 sum = static_cast<Uint128>(~part) + borrow;
      part = static_cast<uint64_t>(sum);
      borrow = sum >> 64;
    }
  }
  if (f[3] == 0) return {{0, 0}, quadrant & 3, false};
  const int zeros = std::countl_zero(f[3]);
  const uint64_t top = zeros ? (f[3] << zeros) | (f[2] >> (64 - zeros)) : f[3];
  const uint64_t next = zeros ? (f[2] << zeros) | (f[1] >> (64 - zeros)) : f[2];
  const double high = static_cast<double>(top >> 11);
  const double low = static_cast<double>(((top & 0x7ff) << 42) | (next >> 22));
  const DoubleDouble fraction =
      fastTwoSum(high * powerOfTwo(-53 - zeros), low * powerOfTwo(-106 - zeros));
  DoubleDouble r = multiply(fraction, kHalfPi);
  if (negative) r = negated(r);
  return {r, quadrant & 3, true};
}

Reduction reduce(double ax) {
  if (ax <= kQuarterPi) return {{ax, 0}, 0, true};
  if (ax < kCodyWaiteBelow) {
    const Reduction reduction = reduceCodyWaite(ax);
    if (reduction.exact) return reduction;
  }
  return reducePayneHanek(ax);
}

// sin and cos of r = i/256 + t through the table: sin r = S + S (cos t - 1) +
// C sin t, cos r = C + C (cos t - 1) - S sin t, for |r| <= pi/4 (+ a hair).
//
// Error: t = th + tl is exact (r.hi - i/256 is exact by Sterbenz, two-sum).
// sin t = t (1 + c) with c = -t^2/6 + t^4/120 - t^6/5040 (|c| < 2^-20.58,
// the next term below 2^-90 of t); c is computed from th in double with
// relative error below 6.1 ulp (4 roundings and tl's part), so 2^-70.97, and
// th c + tl adds 3 roundings of 2^-73.58 each: sin t to 2^-70.3 of t.
// cos t - 1 = -t^2/2 (a double-double, 2^-103) + t^4/24 - t^6/720 (below
// 2^-40.58, to 9 ulp, and the next term below 2^-87.3): to 2^-86.5.
// S (cos t - 1) is one double product of relative error 3.1 ulp, below
// 2^-70.4 |S|; C sin t is a double-double product (2^-102) of sin t (2^-70.3
// |C t|); the table is exact to 2^-106 and the sums to 2^-103.
// For sin r: |C t| + |S| <= 3 sin r (worst at i = 1, t = -1/512), so below
// 3 (2^-70.3 + 2^-70.4) < 2^-67.9 of the result; for i = 0 (S = 0, C = 1) it
// is sin t itself, 2^-70.3. For cos r >= 0.7: below 2^-69.6.
struct TablePoint {
  DoubleDouble sine;    // S = sin(i/256)
  DoubleDouble cosine;  // C = cos(i/256)
  DoubleDouble sinT;    // sin t
  DoubleDouble cosTMinusOne;
};

TablePoint evaluateAt(DoubleDouble r) {
  constexpr double s3 = -0x1.5555555555555p-3, s5 = 0x1.1111111111111p-7,
                   s7 = -0x1.a01a01a01a01ap-13;
  constexpr double c4 = 0x1.5555555555555p-5, c6 = -0x1.6c16c16c16c17p-10;
  const int i = static_cast<int>(r.hi * 256 + 0.5);
  const DoubleDouble t = twoSum(r.hi - i * 0x1p-8, r.lo);
  const double z = t.hi * t.hi;
  const double c = z * (s3 + z * (s5 + z * s7));
  const DoubleDouble sinT = fastTwoSum(t.hi, t.lo + t.hi * c);
  const DoubleDouble square = twoProduct(t.hi, t.hi);
  const double quartic = z * z * (c4 + z * c6);
  const DoubleDouble cosTMinusOne =
      fastTwoSum(-0.5 * square.hi, quartic - 0.5 * (square.lo + 2 * t.hi * t.lo));
  return {kSinCosTable[i][0], kSinCosTable[i][1], sinT, cosTMinusOne};
}

DoubleDouble sinOf(const TablePoint& p) {
  const DoubleDouble rest = add(multiply(p.cosine, p.sinT), {p.sine.hi * p.cosTMinusOne.hi, 0});
  return add(p.sine, rest);
}

DoubleDouble cosOf(const TablePoint& p) {
  const DoubleDouble rest =
      add(negated(multiply(p.sine, p.sinT)), {p.cosine.hi * p.cosTMinusOne.hi, 0});
  return add(p.cosine, rest);
}

// (a.hi + a.lo) / (b.hi + b.lo): one quotient and one correction from the
// exact remainder, relative error below 2^-100.
DoubleDouble divide(DoubleDouble a, DoubleDouble b) {
  const double q = a.hi / b.hi;
  const DoubleDouble qb = twoProduct(q, b.hi);
  const double remainder = (((a.hi - qb.hi) - qb.lo) + a.lo) - q * b.lo;
  return fastTwoSum(q, remainder / b.hi);
}

// True when every value within relativeBound of y (|y| normal, far above the
// subnormals) rounds to nearest as y.hi: y.lo plus or minus the bound stays
// strictly inside the half gaps to y.hi's neighbours (the gap towards zero is
// half as wide at a power of two). The double sums are monotone and the half
// gaps are powers of two, so a rounded comparison cannot pass wrongly.
bool roundsSurely(DoubleDouble y, double relativeBound) {
  const double magnitude = std::fabs(y.hi);
  const double awayFromZero = y.hi < 0 ? -y.lo : y.lo;
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);
  const double halfGapAway = std::bit_cast<double>((bits & 0x7ff0000000000000ull) - (53ull << 52));
  const bool powerOfTwo = (bits & 0x000fffffffffffffull) == 0;
  const double halfGapTowardsZero = powerOfTwo ? 0.5 * halfGapAway : halfGapAway;
  const double bound = magnitude * relativeBound;
  return awayFromZero + bound < halfGapAway && awayFromZero - bound > -halfGapTowardsZero;
}

std::optional<double> settled(DoubleDouble y, double relativeBound) {
  if (roundsSurely(y, relativeBound)) return y.hi;
  return std::nullopt;
}

// Restores the fault flags after MPFR, which may raise any of them in its own
// double arithmetic (the inexact flag it leaves is true of the result).
class FaultFlagsKept {
 public:
  FaultFlagsKept() { std::fegetexceptflag(&saved_, kFlags); }
  ~FaultFlagsKept() { std::fesetexceptflag(&saved_, kFlags); }
  FaultFlagsKept(const FaultFlagsKept&) = delete;
  FaultFlagsKept& operator=(const FaultFlagsKept&) = delete;

 private:
  static constexpr int kFlags = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID | FE_UNDERFLOW;
  std::fexcept_t saved_;
};

using MpfrFunction = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// The last resort, for finite x whose result is a normal double.
double byMpfr(MpfrFunction function, double x) {
  const FaultFlagsKept kept;
  mpfr_t argument, result;
  mpfr_init2(argument, 53);
  mpfr_init2(result, 53);
  mpfr_set_d(argument, x, MPFR_RNDN);
  function(result, argument, MPFR_RNDN);
  const double rounded = mpfr_get_d(result, MPFR_RNDN);
  mpfr_clear(argument);
  mpfr_clear(result);
  return rounded;
}

}  // namespace

namespace trig_detail {

// Infinities give NaN with the invalid flag (inf - inf), NaNs pass through.
std::optional<double> fastSin(double x) {
  const double ax = std::fabs(x);
  if (!finite(x)) return x - x;
  if (ax < kSinTinyBelow) return x;
  const Reduction reduction = reduce(ax);
  if (!reduction.exact) return std::nullopt;
  const bool rNegative = reduction.r.hi < 0;
  const TablePoint point = evaluateAt(rNegative ? negated(reduction.r) : reduction.r);
  // sin(|x|) = sin r, cos r, -sin r, -cos r by quadrant; sin is odd.
  DoubleDouble y = (reduction.quadrant & 1) ? cosOf(point) : sinOf(point);
  const bool flip = ((reduction.quadrant & 1) == 0 && rNegative) != ((reduction.quadrant & 2) != 0);
  if (flip != (x < 0)) y = negated(y);
  return settled(y, kSinCosBound);
}

std::optional<double> fastCos(double x) {
  const double ax = std::fabs(x);
  if (!finite(x)) return x - x;
  if (ax < kCosTinyBelow) return 1.0;
  const Reduction reduction = reduce(ax);
  if (!reduction.exact) return std::nullopt;
  const bool rNegative = reduction.r.hi < 0;
  const TablePoint point = evaluateAt(rNegative ? negated(reduction.r) : reduction.r);
  // cos(|x|) = cos r, -sin r, -cos r, sin r by quadrant; cos is even.
  DoubleDouble y = (reduction.quadrant & 1) ? sinOf(point) : cosOf(point);
  const bool sinNegative = (reduction.quadrant & 1) && rNegative;
  const bool flip = sinNegative != (reduction.quadrant == 1 || reduction.quadrant == 2);
  if (flip) y = negated(y);
  return settled(y, kSinCosBound);
}

std::optional<double> fastTan(double x) {
  const double ax = std::fabs(x);
  if (!finite(x)) return x - x;
  if (ax < kTanTinyBelow) return x;
  const Reduction reduction = reduce(ax);
  if (!reduction.exact) return std::nullopt;
  const bool rNegative = reduction.r.hi < 0;
  const TablePoint point = evaluateAt(rNegative ? negated(reduction.r) : reduction.r);
  // tan(|x|) = tan r or -cot r by quadrant parity; tan is odd.
  const DoubleDouble sine = sinOf(point);
  const DoubleDouble cosine = cosOf(point);
  DoubleDouble y = (reduction.quadrant & 1) ? negated(divide(cosine, sine)) : divide(sine, cosine);
  if (rNegative != (x < 0)) y = negated(y);
  return settled(y, kTanBound);
}

}  // namespace trig_detail

double crSin(double x) {
  if (const auto fast = trig_detail::fastSin(x)) return *fast;
  return byMpfr(mpfr_sin, x);
}

double crCos(double x) {
  if (const auto fast = trig_detail::fastCos(x)) return *fast;
  return byMpfr(mpfr_cos, x);
}

double crTan(double x) {
  if (const auto fast = trig_detail::fastTan(x)) return *fast;
  return byMpfr(mpfr_tan, x);
}

}  // namespace plorvex
