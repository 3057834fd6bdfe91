// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded maths against MPFR on any bytes: each 8-byte piece of
// the input is a double (every bit pattern: subnormals, infinities, NaNs).
// A result other than MPFR's correctly rounded one, or fault flags other than
// the C library's for the same argument, prints what it saw and aborts, so
// libFuzzer keeps the input.

#include <cfenv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "correct_math.h"
#include "correct_math_reference.h"

namespace {

using plorvex::testing::MpfrFunction;
using plorvex::testing::mpfrReference;
using plorvex::testing::sameResult;

constexpr int kFaultFlags = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

struct Unary {
  const char* name;
  double (*ours)(double);
  double (*library)(double);
  MpfrFunction mpfr;
};

const Unary kUnary[] = {
    {"sin", plorvex::crSin, ::sin, mpfr_sin},
    {"cos", plorvex::crCos, ::cos, mpfr_cos},
    {"tan", plorvex::crTan, ::tan, mpfr_tan},
};

int flagsOf(double (*function)(double), double x, double& value) {
  std::feclearexcept(FE_ALL_EXCEPT);
  volatile double argument = x;
  value = function(argument);
  return std::fetestexcept(kFaultFlags);
}

void check(const Unary& f, double x) {
  double ours, library;
  const int ourFlags = flagsOf(f.ours, x, ours);
  const int libraryFlags = flagsOf(f.library, x, library);
  const double expected = mpfrReference(f.mpfr, x);
  if (!sameResult(ours, expected)) {
    std::fprintf(stderr, "\n*** %s(%a) = %a, correctly rounded %a\n", f.name, x, ours, expected);
    std::abort();
  }
  if (ourFlags != libraryFlags) {
    std::fprintf(stderr, "\n*** %s(%a) raised flags %#x, the C library %#x\n", f.name, x,
                 ourFlags, libraryFlags);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t at = 0; at + sizeof(double) <= size; at += sizeof(double)) {
    double x;
    std::memcpy(&x, data + at, sizeof x);
    for (const Unary& f : kUnary) check(f, x);
  }
  return 0;
}
