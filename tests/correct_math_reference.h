// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the correctly rounded maths is checked against: MPFR's result rounded
// to a double (subnormals included), and arguments drawn over every binade.

#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <random>

namespace plorvex::testing {

using MpfrFunction = int (*)(mpfr_ptr, mpfr_srcptr, mpfr_rnd_t);

// The double nearest to f(x), ties to even: MPFR with the double's exponent
// range, so that results in the subnormals are rounded once, as a double is.
inline double mpfrReference(MpfrFunction function, double x) {
  const mpfr_exp_t oldMin = mpfr_get_emin(), oldMax = mpfr_get_emax();
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  mpfr_t argument, result;
  mpfr_init2(argument, 53);
  mpfr_init2(result, 53);
  mpfr_set_d(argument, x, MPFR_RNDN);
  const int ternary = function(result, argument, MPFR_RNDN);
  mpfr_subnormalize(result, ternary, MPFR_RNDN);
  const double rounded = mpfr_get_d(result, MPFR_RNDN);
  mpfr_clear(argument);
  mpfr_clear(result);
  mpfr_set_emin(oldMin);
  mpfr_set_emax(oldMax);
  return rounded;
}

// The double nearest to x^y, as above.
inline double mpfrPowReference(double x, double y) {
  const mpfr_exp_t oldMin = mpfr_get_emin(), oldMax = mpfr_get_emax();
  mpfr_set_emin(-1073);
  mpfr_set_emax(1024);
  mpfr_t base, exponent, result;
  mpfr_inits2(53, base, exponent, result, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_d(base, x, MPFR_RNDN);
  mpfr_set_d(exponent, y, MPFR_RNDN);
  mpfr_subnormalize(result, mpfr_pow(result, base, exponent, MPFR_RNDN), MPFR_RNDN);
  const double rounded = mpfr_get_d(result, MPFR_RNDN);
  mpfr_clears(base, exponent, result, static_cast<mpfr_ptr>(nullptr));
  mpfr_set_emin(oldMin);
  mpfr_set_emax(oldMax);
  return rounded;
}

// The same double, or both NaN.
inline bool sameResult(double a, double b) {
  return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b) ||
         (std::isnan(a) && std::isnan(b));
}

// Arguments drawn in kinds: half over the magnitudes pictures use (2^-30 to
// 2^12), a quarter over every finite binade, an eighth a few ulps from a
// multiple of pi/2 of any size, an eighth any bit pattern (subnormals,
// infinities, NaNs).
class ArgumentSource {
 public:
  explicit ArgumentSource(std::uint64_t seed) : random_(seed) {}

  double next() {
    const std::uint64_t bits = random_();
    const std::uint64_t mantissa = bits & 0x000fffffffffffffull;
    const std::uint64_t sign = (bits >> 63) << 63;
    const unsigned kind = random_() % 8;
    std::uint64_t exponent;
    if (kind < 4) {
      exponent = 1023 - 30 + random_() % 42;
    } else if (kind < 6) {
      exponent = 1 + random_() % 2046;
    } else if (kind == 6) {
      return nearMultipleOfHalfPi() * (sign ? -1.0 : 1.0);
    } else {
      return std::bit_cast<double>(bits);
    }
    return std::bit_cast<double>(sign | (exponent << 52) | mantissa);
  }

  // Below 2^11 in magnitude, where the four lanes reduce by steps of pi/1024:
  // a quarter of them within a few ulps of such a step (k up to 651, the steps
  // below 2^11), the others from 2^-30 up.
  double nextBelow2048() {
    const std::uint64_t bits = random_();
    const std::uint64_t sign = (bits >> 63) << 63;
    if (random_() % 4 == 0) return nearMultipleOfPi(random_() % 652, 10) * (sign ? -1.0 : 1.0);
    const std::uint64_t exponent = 1023 - 30 + random_() % 41;
    return std::bit_cast<double>(sign | (exponent << 52) | (bits & 0x000fffffffffffffull));
  }

 private:
  // The double nearest to k pi/2 for k up to 2^62, and its neighbours.
  double nearMultipleOfHalfPi() { return nearMultipleOfPi(random_() >> (2 + random_() % 62), 1); }

  // The double nearest to k pi / 2^halvings, and its neighbours.
  double nearMultipleOfPi(std::uint64_t k, unsigned long halvings) {
    mpfr_t multiple;
    mpfr_init2(multiple, 256);
    mpfr_const_pi(multiple, MPFR_RNDN);
    mpfr_mul_ui(multiple, multiple, static_cast<unsigned long>(k), MPFR_RNDN);
    mpfr_div_2ui(multiple, multiple, halvings, MPFR_RNDN);
    double x = mpfr_get_d(multiple, MPFR_RNDN);
    mpfr_clear(multiple);
    const int steps = static_cast<int>(random_() % 9) - 4;
    for (int i = 0; i < std::abs(steps); ++i) x = std::nextafter(x, steps < 0 ? 0.0 : INFINITY);
    return x;
  }

  std::mt19937_64 random_;
};

}  // namespace plorvex::testing
