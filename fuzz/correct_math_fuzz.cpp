// SPDX-License-Identifier: GPL-3.0-or-later
// The correctly rounded maths against MPFR on any bytes: each 8-byte piece of
// the input is a double (every bit pattern: subnormals, infinities, NaNs).
// A result other than MPFR's correctly rounded one, fault flags other than
// the C library's for the same argument, or four-at-a-time results other than
// one-at-a-time ones print what they saw and abort, so libFuzzer keeps the
// input.

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
  void (*lanes)(const double*, double*);  // four at a time, or null
};

const Unary kUnary[] = {
    {"sin", plorvex::crSin, ::sin, mpfr_sin, plorvex::crSin4},
    {"cos", plorvex::crCos, ::cos, mpfr_cos, plorvex::crCos4},
    {"tan", plorvex::crTan, ::tan, mpfr_tan, plorvex::crTan4},
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

// Four consecutive arguments at once: the same bits as one at a time.
void checkLanes(const Unary& f, const double* x) {
  double lanes[4];
  f.lanes(x, lanes);
  for (int lane = 0; lane < 4; ++lane) {
    const double one = f.ours(x[lane]);
    if (!sameResult(lanes[lane], one)) {
      std::fprintf(stderr, "\n*** %s(%a) four at a time %a, one at a time %a\n", f.name, x[lane],
                   lanes[lane], one);
      std::abort();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (std::size_t at = 0; at + sizeof(double) <= size; at += sizeof(double)) {
    double x;
    std::memcpy(&x, data + at, sizeof x);
    for (const Unary& f : kUnary) check(f, x);
  }
  for (std::size_t at = 0; at + 4 * sizeof(double) <= size; at += 4 * sizeof(double)) {
    double x[4];
    std::memcpy(x, data + at, sizeof x);
    for (const Unary& f : kUnary)
      if (f.lanes) checkLanes(f, x);
  }
  return 0;
}
