// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded pow, exp and log against MPFR, bit for bit, and pow's
// fault flags against the C library's, for any bytes.
//
// The first byte picks how the next 16 are read: as two doubles of any bit
// pattern; as a base of any bit pattern with an exponent aimed at a result in
// or just beyond the range; or as the powers the pictures take (bases 0..1000,
// exponents 0..5). A property that fails prints the arguments and aborts, so
// libFuzzer keeps the input.

#include <mpfr.h>

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
  return 0;
}
