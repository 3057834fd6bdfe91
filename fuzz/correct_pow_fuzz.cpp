// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded pow, exp and log against MPFR, bit for bit, and pow's
// fault flags against the C library's, for any bytes.
//
// The first byte picks how the next 16 are read: as two doubles of any bit
// pattern; as a base of any bit pattern with an exponent aimed at a result in
// or just beyond the range; or as the powers the pictures take (bases 0..1000,
// exponents 0..5). With 24 more bytes, three more bases go with the first to
// the same exponent four at a time (with AVX2 where the CPU has it, and
// without): each lane must be the one-at-a-time bits, and the flags those of
// the four calls together. A property that fails prints the arguments and
// aborts, so libFuzzer keeps the input.

#include <mpfr.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "correct_math.h"
#include "correct_math_reference.h"
#include "fp.h"

namespace {

// pow, exp or ln (which = 0, 1, 2) as MPFR rounds it to a double.
double referenceOf(int which, double x, double y) {
  using namespace plorvex::testing;
  return which == 0 ? mpfrPowReference(x, y) : mpfrReference(which == 1 ? mpfr_exp : mpfr_log, x);
}

bool sameBits(double a, double b) {
  std::uint64_t ua, ub;
  std::memcpy(&ua, &a, 8);
  std::memcpy(&ub, &b, 8);
  return (std::isnan(a) && std::isnan(b)) || ua == ub;
}

[[noreturn]] void broken(const char* what, double x, double y, double got, double expected) {
  std::fprintf(stderr, "\n*** %s(%a, %a) = %a, expected %a\n", what, x, y, got, expected);
  std::abort();
}

int faultsOf(double (*f)(double, double), double x, double y, double& result) {
  plorvex::clearFaultFlags();
  double value = f(x, y);
  plorvex::launder(value);
  result = value;
  return std::fetestexcept(plorvex::kFaultFlags);
}

double ours(double x, double y) { return plorvex::crPow(x, y); }
// The C library's pow, the exponent laundered so that pow(x, 2.0) stays a call.
double library(double x, double y) {
  plorvex::launder(y);
  return std::pow(x, y);
}

// A fraction in [0, 1) from 52 bits.
double fraction(std::uint64_t bits) { return static_cast<double>(bits >> 12) * 0x1p-52; }

// A base as the mode of the first byte reads it.
double baseOf(std::uint8_t mode, std::uint64_t bits) {
  if (mode % 3 != 2) return std::bit_cast<double>(bits);
  return std::floor(fraction(bits) * 1001) + (mode & 8 ? fraction(bits << 10) : 0.0);
}

void checkFourBases(const double bases[4], double y) {
  double one[4];
  plorvex::clearFaultFlags();
  for (int lane = 0; lane < 4; ++lane) {
    one[lane] = plorvex::crPow(bases[lane], y);
    plorvex::launder(one[lane]);
  }
  const int oneFaults = std::fetestexcept(plorvex::kFaultFlags);
  for (int way = 0; way < 2; ++way) {
    double four[4];
    plorvex::clearFaultFlags();
    if (way == 0)
      plorvex::crPow4(bases, y, four);
    else
      plorvex::correct_pow_detail::powLanesWithoutAvx2(bases, y, four);
    for (double& lane : four) plorvex::launder(lane);
    const int fourFaults = std::fetestexcept(plorvex::kFaultFlags);
    for (int lane = 0; lane < 4; ++lane)
      if (!sameBits(four[lane], one[lane]))
        broken(way == 0 ? "pow four at a time" : "pow four at a time without AVX2", bases[lane], y,
               four[lane], one[lane]);
    if (fourFaults != oneFaults)
      broken("pow's fault flags four at a time", bases[0], y, fourFaults, oneFaults);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 17) return 0;
  std::uint64_t first, second;
  std::memcpy(&first, data + 1, 8);
  std::memcpy(&second, data + 9, 8);
  double x, y;
  std::memcpy(&x, &first, 8);
  std::memcpy(&y, &second, 8);
  switch (data[0] % 3) {
    case 1: {  // e^(y ln x) anywhere from below the subnormals to above the largest double
      const double logarithm = std::log(std::fabs(x));
      if (std::isfinite(logarithm) && logarithm != 0) y = (fraction(second) * 1500 - 760) / logarithm;
      break;
    }
    case 2:
      x = std::floor(fraction(first) * 1001) + (data[0] & 8 ? fraction(first << 10) : 0.0);
      y = data[0] & 16 ? fraction(second) * 5 : static_cast<double>(second % 11) * 0.5;
      break;
  }
  double result, expected;
  const int faults = faultsOf(ours, x, y, result);
  const int libraryFaults = faultsOf(library, x, y, expected);
  expected = std::isnan(expected) ? expected : referenceOf(0, x, y);
  if (!sameBits(result, expected)) broken("pow", x, y, result, expected);
  if (faults != libraryFaults) broken("pow's fault flags", x, y, faults, libraryFaults);
  if (!sameBits(plorvex::crExp(x), referenceOf(1, x, 0))) broken("exp", x, 0, plorvex::crExp(x), referenceOf(1, x, 0));
  if (!sameBits(plorvex::crLog(x), referenceOf(2, x, 0))) broken("log", x, 0, plorvex::crLog(x), referenceOf(2, x, 0));
  if (size >= 41) {
    double bases[4] = {x};
    for (int lane = 1; lane < 4; ++lane) {
      std::uint64_t bits;
      std::memcpy(&bits, data + 9 + 8 * lane, 8);
      bases[lane] = baseOf(data[0], bits);
    }
    checkFourBases(bases, y);
  }
  return 0;
}
