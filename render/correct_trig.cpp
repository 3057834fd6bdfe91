// SPDX-License-Identifier: GPL-3.0-or-later
// Correctly rounded sin, cos and tan in three steps (Ziv's strategy):
//   1. Reduction of x to a point a of a table, a quadrant q and a remainder t
//      with x = q pi/2 + a + t (mod 2 pi), |t| <= 2^-9, t as a double-double
//      with an error that costs the result below 2^-85 relatively. From pi/4
//      to 2^11 in one step: a = j pi/1024, k = 512 q + j the integer nearest
//      to x 1024/pi, t = x - k pi/1024 by three pieces of pi/1024
//      (Cody-Waite). Otherwise: r = x - q pi/2 in [-pi/4, pi/4] (r = x within
//      pi/4) by three pieces of pi/2 below 2^20, by the bits of 2/pi in
//      integer arithmetic (Payne-Hanek) beyond and within 2^-13 of a multiple
//      of pi/2; then a = i/256 nearest r.
//   2. sin(t + a + q pi/2) from the table's sin a and cos a and short Taylor
//      polynomials of t, relative error below 2^-67.1 (worked out at
//      sinOfQuarterTurns below).
//   3. A rounding test: if the whole interval of the error bound rounds to one
//      double, that double is the correctly rounded result. Otherwise MPFR,
//      which rounds correctly by construction, gives it (one or two arguments
//      in ten thousand, measured by the tests).
// Only plain double operations and integer arithmetic are used, fused
// multiply-adds only for exact products (see double_double.h): they cannot
// change a bit, whatever the compiler or CPU. The rounding
// mode is the default, to nearest (the program never changes it).

#include "correct_trig.h"

#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "cpu_features.h"
#include "double_double.h"
#include "lane_double_double.h"
#include "mpfr_caches.h"

namespace plorvex {
namespace {

#include "correct_trig_tables.inc"

using std::uint64_t;
using Uint128 = unsigned __int128;

// Relative error bounds of the double-double results, rounded up.
constexpr double kSinCosBound = 0x1p-66;  // evaluation 2^-67.1 + reduction 2^-85
constexpr double kTanBound = 0x1p-65;     // a quotient of two of those + 2^-100

// Below these magnitudes the correctly rounded result is known without work:
// sin x = x(1 - x^2/6 ...) and tan x = x(1 + x^2/3 ...) lie within half an
// ulp of x (x^2/6 < 2^-54.5 and x^2/3 < 2^-55 of |x|), cos x = 1 - x^2/2 ...
// lies within a quarter ulp below 1 (x^2/2 < 2^-55).
constexpr double kSinTinyBelow = 0x1p-26;
constexpr double kTanTinyBelow = 0x1p-28;
constexpr double kCosTinyBelow = 0x1p-27;

constexpr double kQuarterPi = 0x1.921fb54442d18p-1;
constexpr double kCodyWaiteBelow = 0x1p20;
constexpr double kRoundingShift = 0x1.8p52;  // adding it rounds to an integer

double powerOfTwo(int exponent) {  // 2^exponent, for -1022 <= exponent <= 1023
  return std::bit_cast<double>(static_cast<uint64_t>(exponent + 1023) << 52);
}

// Without a comparison, which would raise invalid for a NaN.
bool finite(double x) {
  return (std::bit_cast<uint64_t>(x) & 0x7ff0000000000000ull) != 0x7ff0000000000000ull;
}

DoubleDouble negated(DoubleDouble a) { return {-a.hi, -a.lo}; }

// a with both parts' signs flipped where signBit (bit 63) is set.
DoubleDouble withSign(DoubleDouble a, uint64_t signBit) {
  return {std::bit_cast<double>(std::bit_cast<uint64_t>(a.hi) ^ signBit),
          std::bit_cast<double>(std::bit_cast<uint64_t>(a.lo) ^ signBit)};
}

struct Reduction {
  DoubleDouble r;  // x - quadrant * pi/2 (mod 2 pi), |r| <= pi/4 or a hair above
  unsigned quadrant = 0;
};

// |x| below 2^20: k = the integer nearest x 2/pi, r = x - k (P0 + P1 + P2),
// P0 and P1 of 33 bits, so k P0 and k P1 are exact (|k| < 2^20). x - k P0 is
// exact (Sterbenz: k P0 lies within a factor 2 of x), and so is its sum with
// -k P1 while |x - k P0| >= 2^-13 > |k P1| (fastTwoSum); k P2 (below 2^-48)
// and the sum of the low parts each round by less than 2^-101, and P3 and
// beyond add less than 2^-103: below 2^-99.4 in all, 2^-85 of |r| >= 2^-13.9.
// Closer to a multiple of pi/2 it returns false and the integer way is taken.
[[gnu::always_inline]] inline bool reduceCodyWaite(double x, Reduction& out) {
  const double shifted = x * kTwoOverPi + kRoundingShift;
  const double k = shifted - kRoundingShift;
  const double first = x - k * kHalfPiPiece[0];
  if (!(std::fabs(first) >= 0x1p-13)) return false;
  const DoubleDouble second = fastTwoSum(first, -(k * kHalfPiPiece[1]));
  out.r = fastTwoSum(second.hi, second.lo - k * kHalfPiPiece[2]);
  // The low bits of shifted's significand are k in two's complement.
  out.quadrant = static_cast<unsigned>(std::bit_cast<uint64_t>(shifted)) & 3;
  return true;
}

// |x| = m 2^e with the 53-bit integer m: |x| 2/pi mod 4 from a 256-bit window
// of 2/pi in integer arithmetic. Bits of 2/pi above the window make m 2^e b a
// multiple of 4, which the quadrant ignores; those below it add less than
// 2^-201 to the fraction, which is at least 2^-64 for any double (the closest
// a double comes to a multiple of pi/2 is about 2^-61). The fraction is taken
// to 106 bits (relative error 2^-105) and multiplied by pi/2 as a
// double-double (2^-102): 2^-101 in all.
[[gnu::noinline]] bool reducePayneHanek(double ax, Reduction& out) {
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
  if (f[3] == 0) return false;  // cannot happen for a double, see above
  const int zeros = std::countl_zero(f[3]);
  const uint64_t top = zeros ? (f[3] << zeros) | (f[2] >> (64 - zeros)) : f[3];
  const uint64_t next = zeros ? (f[2] << zeros) | (f[1] >> (64 - zeros)) : f[2];
  const double high = static_cast<double>(top >> 11);
  const double low = static_cast<double>(((top & 0x7ff) << 42) | (next >> 22));
  const DoubleDouble fraction =
      fastTwoSum(high * powerOfTwo(-53 - zeros), low * powerOfTwo(-106 - zeros));
  const DoubleDouble r = multiply(fraction, kHalfPi);
  out = {negative ? negated(r) : r, quadrant & 3};
  return true;
}

// Reduces any finite x; false in the cases left to MPFR.
[[gnu::always_inline]] inline bool reduce(double x, Reduction& out) {
  const double ax = std::fabs(x);
  if (ax <= kQuarterPi) {
    out = {{x, 0}, 0};
    return true;
  }
  if (ax < kCodyWaiteBelow && reduceCodyWaite(x, out)) return true;
  if (!reducePayneHanek(ax, out)) return false;
  if (x < 0) out = {negated(out.r), (4 - out.quadrant) & 3};
  return true;
}

// x = quadrant pi/2 + a + t (mod 2 pi), a a point of one of the tables, t =
// th + rl, with the parts of sin t and cos t that the table's rotations share.
struct Remainder {
  const DoubleDouble* row;  // sin |a| and cos |a|
  unsigned negativeRow;     // 1 where a < 0
  unsigned quadrant;
  double th;           // |th| <= 2^-9
  double sinTail;      // sin t - th = rl + t c
  double cosMinusOne;  // cos t - 1
};

// th, sinTail and cosMinusOne of one argument (R = double, p a Remainder) or
// of four lanes (a LaneReduction below). t is th + rl rounded, which the
// caller may know without the addition.
template <class Parts, class R>
[[gnu::always_inline]] inline void addPolynomials(Parts& p, R th, R rl, R t) {
  constexpr double s3 = -0x1.5555555555555p-3, s5 = 0x1.1111111111111p-7,
                   s7 = -0x1.a01a01a01a01ap-13;
  constexpr double c2 = -0.5, c4 = 0x1.5555555555555p-5, c6 = -0x1.6c16c16c16c17p-10;
  const R z = t * t;
  const R c = z * (s3 + z * (s5 + z * s7));
  p.th = th;
  p.sinTail = rl + t * c;
  p.cosMinusOne = z * (c2 + z * (c4 + z * c6));
}

// r = i/256 + t, th = r.hi - i/256 exact (Sterbenz), rl = r.lo, |i| <= 202.
[[gnu::always_inline]] inline Remainder remainderOf(const Reduction& reduction) {
  const DoubleDouble r = reduction.r;
  const double shifted = r.hi * 256 + kRoundingShift;
  const double index = shifted - kRoundingShift;
  // The low bits of shifted's significand are i in two's complement: read
  // there, the table's row needs no conversion from double.
  const auto i = static_cast<int>(static_cast<uint32_t>(std::bit_cast<uint64_t>(shifted)));
  Remainder p;
  p.row = kSinCosTable[i < 0 ? -i : i];
  p.negativeRow = i < 0;
  p.quadrant = reduction.quadrant;
  const double th = r.hi - index * 0x1p-8;
  addPolynomials(p, th, r.lo, th + r.lo);
  return p;
}

constexpr double kStepReductionBelow = 0x1p11;

// pi/4 < |x| < 2^11, in one step: k = 512 q + j the integer nearest to
// x 1024/pi (|k| < 2^19.4, give or take one where the product rounds), a =
// j pi/1024 with 0 <= j < 512 read from k's low bits, t = x - k (P0 + P1 +
// P2). P0 and P1 have 33 bits, so k P0 and k P1 are exact; x - k P0 is exact
// (Sterbenz: k >= 256 and |x - k pi/1024| <= 0.51 pi/1024 put x within a
// factor 2 of k P0), its sum with -k P1 (below 2^-23.5) is exact while
// |x - k P0| >= 2^-22 (fastTwoSum), and so is the last sum (its first term
// is at least 2^-23); k P2 (below 2^-58.3) rounds by 2^-111, the sum of the
// low parts by 2^-111, and P3 and beyond (pi/1024 - P0 - P1 - P2 < 2^-131.8)
// add below 2^-112: |t - (th + rl)| < 2^-109.9. Where a != 0 or the
// quadrant's turn makes cos a the leading term, the result is at least
// sin(pi/2048) = 2^-9.35 in magnitude: 2^-100 relatively. Where the result is
// sin t itself (a = 0, an even turn) |t| >= 2^-13 keeps it below 2^-96.
// Closer than these (about one argument in ten thousand) it returns false for
// the other way.
[[gnu::always_inline]] inline bool reduceBySteps(double x, Remainder& out) {
  const double shifted = x * kStepsPerRadian + kRoundingShift;
  const double k = shifted - kRoundingShift;
  // The low bits of shifted's significand are k in two's complement.
  const auto steps = static_cast<unsigned>(std::bit_cast<uint64_t>(shifted));
  const unsigned j = steps & 511;
  const double first = x - k * kStepPiece[0];
  const double distance = std::fabs(first);
  if (!(distance >= (j == 0 ? 0x1p-13 : 0x1p-22))) [[unlikely]] return false;
  const DoubleDouble second = fastTwoSum(first, -(k * kStepPiece[1]));
  const DoubleDouble t = fastTwoSum(second.hi, second.lo - k * kStepPiece[2]);
  out.row = kStepSinCos[j];
  out.negativeRow = 0;
  out.quadrant = (steps >> 9) & 3;
  // t.hi + t.lo rounds to t.hi, a fastTwoSum's pair: no addition needed.
  addPolynomials(out, t.hi, t.lo, t.hi);
  return true;
}

// The remainder of any finite x; false in the cases left to MPFR. Within
// pi/4 of zero, r = x needs no reduction, and the table of i/256 is quicker.
[[gnu::always_inline]] inline bool reduceToRemainder(double x, Remainder& out) {
  const double magnitude = std::fabs(x);
  if (magnitude > kQuarterPi && magnitude < kStepReductionBelow && reduceBySteps(x, out)) return true;
  Reduction reduction;
  if (!reduce(x, reduction)) return false;
  out = remainderOf(reduction);
  return true;
}

// sin(t + a + quadrant pi/2) = S' cos t + C' sin t, where (S', C') is (S, C) =
// (sin, cos)(a) turned by the quadrant: (S, C), (C, -S), (-S, -C), (-C, S).
// Computed as S' + C' th exactly (two-product, and fastTwoSum since |S'| >=
// sin(1/256) > |C' th| or S' = 0; for a = j pi/1024, |S'| >= sin(pi/1024) >
// |th|) plus the small terms in double:
//   S'.lo + C'.lo th + C' sinTail + S' cosMinusOne.
// Error: sin t = t (1 + c), c = -t^2/6 + t^4/120 - t^6/5040 (|c| < 2^-20.58,
// the next term below 2^-90), c computed to 6.1 ulp (t^2 to 3, 4 roundings):
// C' sinTail errs by 8 ulp of 2^-20.58 |t|, 2^-70.6 |t|. cos t - 1 = -t^2/2 +
// t^4/24 - t^6/720 (below 2^-19, the next term 2^-87) to 5 ulp with its
// product: 2^-69.7 |S'|. The five sums of small terms below 2^-19 |S'| +
// 2^-20.6 |t| round by 2^-69.7 |S'| + 2^-71.3 |t|. The table is exact to
// 2^-106. So 2^-68.7 (|S'| + |t|) in all, and |S'| + |t| <= 3 |result| (worst
// for S' = S at i = 1, t = -1/512; for S' = C it is 1.42; for the steps of
// pi/1024, |t| <= 2^-9.35 makes every term smaller, and the worst ratio is 3
// again, at j = 1 or 511 and |t| = pi/2048): 2^-67.1 of the result.
// turn is 0 for the sine, 1 for the cosine.
template <Products kProducts>
[[gnu::always_inline]] inline DoubleDouble sinOfQuarterTurns(const Remainder& p, unsigned turn) {
  const unsigned quadrant = p.quadrant + turn;
  // Turned: swapped for odd quadrants; S' negated for quadrants 2 and 3, C'
  // for 1 and 2, and S once more where a < 0 (sin(-a) = -sin(a)). The swap
  // picks the table's column by index, not by a branch, which random
  // quadrants would mispredict half the time.
  const unsigned swap = quadrant & 1;
  const unsigned negativeRow = p.negativeRow;
  const uint64_t negateS = ((quadrant >> 1) & 1) ^ (negativeRow & ~swap);
  const uint64_t negateC = (((quadrant + 1) >> 1) & 1) ^ (negativeRow & swap);
  const DoubleDouble s = withSign(p.row[swap], negateS << 63);
  const DoubleDouble c = withSign(p.row[swap ^ 1], negateC << 63);
  const DoubleDouble product = twoProduct<kProducts>(c.hi, p.th);
  const DoubleDouble lead = fastTwoSum(s.hi, product.hi);
  const double small =
      (product.lo + s.lo) + ((c.lo * p.th + c.hi * p.sinTail) + s.hi * p.cosMinusOne);
  return fastTwoSum(lead.hi, lead.lo + small);
}

// (a.hi + a.lo) / (b.hi + b.lo): one quotient and one correction from the
// exact remainder, relative error below 2^-100. The correction is below 2^-51
// |q| and is multiplied by 1 / b.hi, which is computed alongside q instead of
// a second division after it: its two roundings add 2^-103 |q| at most.
template <Products kProducts>
[[gnu::always_inline]] inline DoubleDouble divide(DoubleDouble a, DoubleDouble b) {
  const double q = a.hi / b.hi;
  const double reciprocal = 1.0 / b.hi;
  const DoubleDouble qb = twoProduct<kProducts>(q, b.hi);
  const double remainder = (((a.hi - qb.hi) - qb.lo) + a.lo) - q * b.lo;
  return fastTwoSum(q, remainder * reciprocal);
}

// True when every value within relativeBound of y (|y| normal, far above the
// subnormals) rounds to nearest as y.hi: y.lo plus or minus the bound stays
// strictly inside the half gaps to y.hi's neighbours (the gap towards zero is
// half as wide at a power of two). The double sums are monotone and the half
// gaps are powers of two, so a rounded comparison cannot pass wrongly.
[[gnu::always_inline]] inline bool roundsSurely(DoubleDouble y, double relativeBound) {
  const double magnitude = std::fabs(y.hi);
  const double awayFromZero = y.hi < 0 ? -y.lo : y.lo;
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);
  const double halfGapAway = std::bit_cast<double>((bits & 0x7ff0000000000000ull) - (53ull << 52));
  const bool powerOfTwo = (bits & 0x000fffffffffffffull) == 0;
  const double halfGapTowardsZero = powerOfTwo ? 0.5 * halfGapAway : halfGapAway;
  const double bound = magnitude * relativeBound;
  return awayFromZero + bound < halfGapAway && awayFromZero - bound > -halfGapTowardsZero;
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
  freeMpfrCachesAtThreadExit();
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

// The fast way: true with the correctly rounded result in y, false when the
// argument is left to MPFR. Infinities give NaN with the invalid flag
// (inf - inf), NaNs pass through.
template <Products kProducts>
[[gnu::always_inline]] inline bool trySin(double x, double& y) {
  if (!finite(x)) [[unlikely]] {
    y = x - x;
    return true;
  }
  if (std::fabs(x) < kSinTinyBelow) [[unlikely]] {
    y = x;
    return true;
  }
  Remainder remainder;
  if (!reduceToRemainder(x, remainder)) return false;
  const DoubleDouble sine = sinOfQuarterTurns<kProducts>(remainder, 0);
  y = sine.hi;
  return roundsSurely(sine, kSinCosBound);
}

template <Products kProducts>
[[gnu::always_inline]] inline bool tryCos(double x, double& y) {
  if (!finite(x)) [[unlikely]] {
    y = x - x;
    return true;
  }
  if (std::fabs(x) < kCosTinyBelow) [[unlikely]] {
    y = 1.0;
    return true;
  }
  Remainder remainder;
  if (!reduceToRemainder(x, remainder)) return false;
  const DoubleDouble cosine = sinOfQuarterTurns<kProducts>(remainder, 1);
  y = cosine.hi;
  return roundsSurely(cosine, kSinCosBound);
}

template <Products kProducts>
[[gnu::always_inline]] inline DoubleDouble tangentOf(const Remainder& remainder) {
  return divide<kProducts>(sinOfQuarterTurns<kProducts>(remainder, 0),
                           sinOfQuarterTurns<kProducts>(remainder, 1));
}

template <Products kProducts>
[[gnu::always_inline]] inline bool tryTan(double x, double& y) {
  if (!finite(x)) [[unlikely]] {
    y = x - x;
    return true;
  }
  if (std::fabs(x) < kTanTinyBelow) [[unlikely]] {
    y = x;
    return true;
  }
  Remainder remainder;
  if (!reduceToRemainder(x, remainder)) return false;
  const DoubleDouble tangent = tangentOf<kProducts>(remainder);
  y = tangent.hi;
  return roundsSurely(tangent, kTanBound);
}

// The correctly rounded value: the fast way, or MPFR where it cannot settle.
template <Products kProducts>
[[gnu::always_inline]] inline double sinOf(double x) {
  double y;
  if (trySin<kProducts>(x, y)) [[likely]] return y;
  return byMpfr(mpfr_sin, x);
}

template <Products kProducts>
[[gnu::always_inline]] inline double cosOf(double x) {
  double y;
  if (tryCos<kProducts>(x, y)) [[likely]] return y;
  return byMpfr(mpfr_cos, x);
}

template <Products kProducts>
[[gnu::always_inline]] inline double tanOf(double x) {
  double y;
  if (tryTan<kProducts>(x, y)) [[likely]] return y;
  return byMpfr(mpfr_tan, x);
}

// Each function twice: with Dekker's products for any CPU, and with fused
// multiply-adds for those that have them, chosen once at start-up.
double sinSplit(double x) { return sinOf<Products::Split>(x); }
double cosSplit(double x) { return cosOf<Products::Split>(x); }
double tanSplit(double x) { return tanOf<Products::Split>(x); }
[[gnu::target("fma")]] double sinFused(double x) { return sinOf<Products::Fused>(x); }
[[gnu::target("fma")]] double cosFused(double x) { return cosOf<Products::Fused>(x); }
[[gnu::target("fma")]] double tanFused(double x) { return tanOf<Products::Fused>(x); }

}  // namespace

namespace trig_detail {

std::optional<DoubleDouble> approximation(Function function, double x) {
  Remainder remainder;
  if (!reduceToRemainder(x, remainder)) return std::nullopt;
  if (function == Function::Sin) return sinOfQuarterTurns<Products::Split>(remainder, 0);
  if (function == Function::Cos) return sinOfQuarterTurns<Products::Split>(remainder, 1);
  return tangentOf<Products::Split>(remainder);
}

double withoutFma(Function function, double x) {
  if (function == Function::Sin) return sinSplit(x);
  if (function == Function::Cos) return cosSplit(x);
  return tanSplit(x);
}

double relativeErrorBound(Function function) {
  return function == Function::Tan ? kTanBound : kSinCosBound;
}

std::optional<double> fastSin(double x) {
  double y;
  if (trySin<Products::Split>(x, y)) return y;
  return std::nullopt;
}

std::optional<double> fastCos(double x) {
  double y;
  if (tryCos<Products::Split>(x, y)) return y;
  return std::nullopt;
}

std::optional<double> fastTan(double x) {
  double y;
  if (tryTan<Products::Split>(x, y)) return y;
  return std::nullopt;
}

}  // namespace trig_detail

double crSin(double x) { return cpuHasFma() ? sinFused(x) : sinSplit(x); }

double crCos(double x) { return cpuHasFma() ? cosFused(x) : cosSplit(x); }

double crTan(double x) { return cpuHasFma() ? tanFused(x) : tanSplit(x); }

// Four arguments at a time: the same formulas as above on vectors of four
// doubles (vector extensions: with AVX2 and FMA one instruction a step, the
// exact products fused; without them two SSE2 ones). Lanes the short way cannot take (tiny, huge or not finite
// arguments, near a multiple of pi/2) or cannot settle go one by one through
// the scalar function; a correctly rounded result is unique, so every lane
// is the same bits as the scalar function gives. Unusable lanes compute on 1.0
// instead, so that they raise no flag of their own.
// The helpers are always inlined, so no vector crosses a call: GCC's note that
// passing them would differ with AVX does not apply (to the end of the file).
#pragma GCC diagnostic ignored "-Wpsabi"
namespace {

using lane_steps::LaneBits, lane_steps::LanePair, lane_steps::Lanes, lane_steps::laneFastTwoSum,
    lane_steps::laneTwoProduct, lane_steps::loadLanes, lane_steps::loadArguments,
    lane_steps::storeLanes, lane_steps::allLanes;

constexpr std::int64_t kSignBit = std::int64_t{1} << 63;

[[gnu::always_inline]] inline Lanes flipSign(Lanes v, LaneBits mask) {
  return (Lanes)((LaneBits)v ^ (mask & kSignBit));
}

[[gnu::always_inline]] inline Lanes magnitudeOf(Lanes v) {
  return (Lanes)((LaneBits)v & ~kSignBit);
}

// The lanes' reduction and remainder: x = quadrant pi/2 + a + th + rl with a
// a point of one of the tables (row, negated where negative is set), and the
// parts of sin t and cos t that the rotations share, as Remainder.
struct LaneReduction {
  LaneBits usable;
  LaneBits quadrant;
  Lanes th, sinTail, cosMinusOne;
  const DoubleDouble (*table)[2];
  LaneBits row;
  LaneBits negative;
};

// The lanes from tinyBelow up to (not including) below in magnitude, read from
// the bits: infinities and NaNs are never between.
[[gnu::always_inline]] inline LaneBits lanesBetween(Lanes x, double tinyBelow, double below) {
  const LaneBits magnitude = (LaneBits)x & ~kSignBit;
  return (magnitude >= std::bit_cast<std::int64_t>(tinyBelow)) &
         (magnitude < std::bit_cast<std::int64_t>(below));
}

// reduceCodyWaite then remainderOf, for |x| < 2^20.
[[gnu::always_inline]] inline LaneReduction reduceLanes(Lanes x, double tinyBelow) {
  LaneReduction p;
  p.usable = lanesBetween(x, tinyBelow, kCodyWaiteBelow);
  // The other lanes compute on 1.0, so that they raise no flag of their own.
  const Lanes safe = p.usable ? x : Lanes{} + 1.0;
  const Lanes shifted = safe * kTwoOverPi + kRoundingShift;
  const Lanes k = shifted - kRoundingShift;
  const Lanes first = safe - k * kHalfPiPiece[0];
  p.usable &= (k == 0.0) | (magnitudeOf(first) >= 0x1p-13);
  const LanePair second = laneFastTwoSum(first, -(k * kHalfPiPiece[1]));
  const LanePair r = laneFastTwoSum(second.hi, second.lo - k * kHalfPiPiece[2]);
  const Lanes rowShifted = magnitudeOf(r.hi) * 256 + kRoundingShift;
  p.negative = r.hi < 0.0;
  const Lanes index = flipSign(rowShifted - kRoundingShift, p.negative);
  p.quadrant = (LaneBits)shifted & 3;
  p.table = kSinCosTable;
  p.row = (LaneBits)rowShifted & 0xff;
  const Lanes th = r.hi - index * 0x1p-8;
  addPolynomials(p, th, r.lo, th + r.lo);
  return p;
}

// reduceBySteps, for |x| < 2^11: the table's row comes from the first
// product, so that its loads overlap the rest of the reduction. Where k = 0
// the remainder is x itself, exactly.
// Every lane is finite and below 2^11 here (reduceAnyLanes), so none can
// raise a fault flag: the tiny ones compute on themselves, and are left out.
[[gnu::always_inline]] inline LaneReduction reduceLanesBySteps(Lanes x, double tinyBelow) {
  LaneReduction p;
  p.usable = lanesBetween(x, tinyBelow, kStepReductionBelow);
  const Lanes shifted = x * kStepsPerRadian + kRoundingShift;
  const Lanes k = shifted - kRoundingShift;
  const LaneBits steps = (LaneBits)shifted;
  p.row = steps & 511;
  p.quadrant = (steps >> 9) & 3;
  p.table = kStepSinCos;
  p.negative = LaneBits{};
  const Lanes first = x - k * kStepPiece[0];
  const Lanes least = p.row == 0 ? Lanes{} + 0x1p-13 : Lanes{} + 0x1p-22;
  p.usable &= (k == 0.0) | (magnitudeOf(first) >= least);
  const LanePair second = laneFastTwoSum(first, -(k * kStepPiece[1]));
  const LanePair t = laneFastTwoSum(second.hi, second.lo - k * kStepPiece[2]);
  addPolynomials(p, t.hi, t.lo, t.hi);
  return p;
}

// The steps where every lane is below 2^11 (pictures' arguments mostly are).
[[gnu::always_inline]] inline LaneReduction reduceAnyLanes(Lanes x, double tinyBelow) {
  if (allLanes(lanesBetween(x, 0.0, kStepReductionBelow))) [[likely]]
    return reduceLanesBySteps(x, tinyBelow);
  return reduceLanes(x, tinyBelow);
}

// The table's rows of four lanes, each row (sin hi, sin lo, cos hi, cos lo)
// loaded whole and the four transposed into columns: eight shuffles in
// registers, where filling the columns element by element went through the
// stack.
struct LaneRows {
  Lanes sineHi, sineLo, cosineHi, cosineLo;
};

[[gnu::always_inline]] inline LaneRows tableRows(const DoubleDouble (*table)[2], LaneBits row) {
  static_assert(sizeof table[0] == sizeof(Lanes));
  const Lanes r[4] = {loadLanes(&table[row[0]][0].hi), loadLanes(&table[row[1]][0].hi),
                      loadLanes(&table[row[2]][0].hi), loadLanes(&table[row[3]][0].hi)};
  const Lanes highs01 = __builtin_shufflevector(r[0], r[1], 0, 4, 2, 6);
  const Lanes lows01 = __builtin_shufflevector(r[0], r[1], 1, 5, 3, 7);
  const Lanes highs23 = __builtin_shufflevector(r[2], r[3], 0, 4, 2, 6);
  const Lanes lows23 = __builtin_shufflevector(r[2], r[3], 1, 5, 3, 7);
  return {__builtin_shufflevector(highs01, highs23, 0, 1, 4, 5),
          __builtin_shufflevector(lows01, lows23, 0, 1, 4, 5),
          __builtin_shufflevector(highs01, highs23, 2, 3, 6, 7),
          __builtin_shufflevector(lows01, lows23, 2, 3, 6, 7)};
}

// sin(r + quadrant pi/2) in the lanes, as sinOfQuarterTurns.
template <Products kProducts>
[[gnu::always_inline]] inline LanePair sinOfQuarterTurnsLanes(const LaneReduction& p,
                                                             const LaneRows& rows,
                                                             LaneBits quadrant) {
  const Lanes sineHi = flipSign(rows.sineHi, p.negative);
  const Lanes sineLo = flipSign(rows.sineLo, p.negative);
  const Lanes cosineHi = rows.cosineHi, cosineLo = rows.cosineLo;
  // (S, C) turned: swapped for odd quadrants, S' negated for quadrants 2 and
  // 3, C' for 1 and 2.
  const LaneBits swap = (quadrant & 1) != 0;
  const LaneBits negateS = (quadrant & 2) != 0;
  const LaneBits negateC = ((quadrant + 1) & 2) != 0;
  const Lanes sHi = flipSign(swap ? cosineHi : sineHi, negateS);
  const Lanes sLo = flipSign(swap ? cosineLo : sineLo, negateS);
  const Lanes cHi = flipSign(swap ? sineHi : cosineHi, negateC);
  const Lanes cLo = flipSign(swap ? sineLo : cosineLo, negateC);
  const LanePair product = laneTwoProduct<kProducts>(cHi, p.th);
  const LanePair lead = laneFastTwoSum(sHi, product.hi);
  const Lanes small = (product.lo + sLo) + ((cLo * p.th + cHi * p.sinTail) + sHi * p.cosMinusOne);
  return laneFastTwoSum(lead.hi, lead.lo + small);
}

// roundsSurely in the lanes.
[[gnu::always_inline]] inline LaneBits roundLanesSurely(LanePair y, double relativeBound) {
  const Lanes magnitude = magnitudeOf(y.hi);
  const Lanes awayFromZero = flipSign(y.lo, (LaneBits)y.hi);
  const LaneBits bits = (LaneBits)magnitude;
  const Lanes halfGapAway = (Lanes)((bits & 0x7ff0000000000000ll) - (53ll << 52));
  const LaneBits powerOfTwo = (bits & 0x000fffffffffffffll) == 0;
  const Lanes halfGapTowardsZero = powerOfTwo ? halfGapAway * 0.5 : halfGapAway;
  const Lanes bound = magnitude * relativeBound;
  return (awayFromZero + bound < halfGapAway) & (awayFromZero - bound > -halfGapTowardsZero);
}

// The lanes the short way left, one by one through the scalar function.
[[gnu::noinline]] void settleLanesOneByOne(const double* in, double* out, const double* fast,
                                           const std::int64_t* settled, double (*scalar)(double)) {
  for (int lane = 0; lane < 4; ++lane) out[lane] = settled[lane] ? fast[lane] : scalar(in[lane]);
}

[[gnu::always_inline]] inline void finishLanes(const double* in, double* out, LaneBits usable,
                                               LanePair y, double bound,
                                               double (*scalar)(double)) {
  const LaneBits settled = usable & roundLanesSurely(y, bound);
  if (allLanes(settled)) [[likely]] {
    storeLanes(out, y.hi);
    return;
  }
  double fast[4];
  std::int64_t settledLanes[4];
  std::memcpy(fast, &y.hi, sizeof fast);
  std::memcpy(settledLanes, &settled, sizeof settledLanes);
  settleLanesOneByOne(in, out, fast, settledLanes, scalar);
}

template <int kTurn, Products kProducts>
[[gnu::always_inline]] inline void sinTurnedLanes(const double* in, double* out,
                                                  double (*scalar)(double), double tinyBelow) {
  const Lanes x = loadArguments(in);
  const LaneReduction p = reduceAnyLanes(x, tinyBelow);
  const LanePair y = sinOfQuarterTurnsLanes<kProducts>(p, tableRows(p.table, p.row), p.quadrant + kTurn);
  finishLanes(in, out, p.usable, y, kSinCosBound, scalar);
}

template <Products kProducts>
[[gnu::always_inline]] inline void tanLanes(const double* in, double* out) {
  const Lanes x = loadArguments(in);
  const LaneReduction p = reduceAnyLanes(x, kTanTinyBelow);
  const LaneRows rows = tableRows(p.table, p.row);
  const LanePair sine = sinOfQuarterTurnsLanes<kProducts>(p, rows, p.quadrant);
  const LanePair cosine = sinOfQuarterTurnsLanes<kProducts>(p, rows, p.quadrant + 1);
  // divide() in the lanes.
  const Lanes q = sine.hi / cosine.hi;
  const Lanes reciprocal = 1.0 / cosine.hi;
  const LanePair qb = laneTwoProduct<kProducts>(q, cosine.hi);
  const Lanes remainder = (((sine.hi - qb.hi) - qb.lo) + sine.lo) - q * cosine.lo;
  const LanePair y = laneFastTwoSum(q, remainder * reciprocal);
  finishLanes(in, out, p.usable, y, kTanBound, crTan);
}

constexpr Products kSplit = Products::Split;
constexpr Products kFused = Products::Fused;
void sinLanesPlain(const double* in, double* out) {
  sinTurnedLanes<0, kSplit>(in, out, crSin, kSinTinyBelow);
}
void cosLanesPlain(const double* in, double* out) {
  sinTurnedLanes<1, kSplit>(in, out, crCos, kCosTinyBelow);
}
void tanLanesPlain(const double* in, double* out) { tanLanes<kSplit>(in, out); }
[[gnu::target("avx2,fma")]] void sinLanesAvx2Fma(const double* in, double* out) {
  sinTurnedLanes<0, kFused>(in, out, crSin, kSinTinyBelow);
}
[[gnu::target("avx2,fma")]] void cosLanesAvx2Fma(const double* in, double* out) {
  sinTurnedLanes<1, kFused>(in, out, crCos, kCosTinyBelow);
}
[[gnu::target("avx2,fma")]] void tanLanesAvx2Fma(const double* in, double* out) {
  tanLanes<kFused>(in, out);
}


}  // namespace

namespace trig_detail {

void lanesWithoutAvx2(Function function, const double in[4], double out[4]) {
  if (function == Function::Sin) sinLanesPlain(in, out);
  if (function == Function::Cos) cosLanesPlain(in, out);
  if (function == Function::Tan) tanLanesPlain(in, out);
}

}  // namespace trig_detail

void crSin4(const double in[4], double out[4]) {
  (cpuHasAvx2AndFma() ? sinLanesAvx2Fma : sinLanesPlain)(in, out);
}

void crCos4(const double in[4], double out[4]) {
  (cpuHasAvx2AndFma() ? cosLanesAvx2Fma : cosLanesPlain)(in, out);
}

void crTan4(const double in[4], double out[4]) {
  (cpuHasAvx2AndFma() ? tanLanesAvx2Fma : tanLanesPlain)(in, out);
}

}  // namespace plorvex
