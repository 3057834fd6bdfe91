// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Four samples computed side by side: a pattern's formulas written once as a
// template over the number type run on `double` (one sample) and on `Lanes`
// (four samples of a column). Every operation is the same IEEE operation on
// each lane, and the maths is the correctly rounded one, so each lane holds
// the very bits the one-sample formula gives. Faults are not told apart by
// lane: the frame tests the flags after a span and, when one was raised, makes
// the span again one sample at a time.

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>

#include "correct_math.h"

namespace plorvex {

struct Lanes {
  double v[4];
};

inline Lanes broadcast(double x) { return {{x, x, x, x}}; }

// Lane `lane` of a struct of Lanes as the same struct of doubles: both are the
// one template's fields in one order, so field k of the one sample is double
// 4k + lane of the four.
template <class One, class Four>
One laneOf(const Four& four, int lane) {
  constexpr std::size_t fields = sizeof(One) / sizeof(double);
  static_assert(sizeof(One) == fields * sizeof(double) && sizeof(Four) == 4 * sizeof(One));
  const auto all = std::bit_cast<std::array<double, 4 * fields>>(four);
  std::array<double, fields> one;
  for (std::size_t k = 0; k < fields; ++k) one[k] = all[4 * k + static_cast<std::size_t>(lane)];
  return std::bit_cast<One>(one);
}

// Four structs of doubles as the one struct of Lanes whose lane `lane` is
// ones[lane]: the inverse of laneOf.
template <class Four, class One>
Four lanesOf(const One* ones) {
  constexpr std::size_t fields = sizeof(One) / sizeof(double);
  static_assert(sizeof(One) == fields * sizeof(double) && sizeof(Four) == 4 * sizeof(One));
  std::array<double, 4 * fields> all;
  for (std::size_t lane = 0; lane < 4; ++lane) {
    const auto one = std::bit_cast<std::array<double, fields>>(ones[lane]);
    for (std::size_t k = 0; k < fields; ++k) all[4 * k + lane] = one[k];
  }
  return std::bit_cast<Four>(all);
}

#define PLORVEX_LANES_OPERATOR(op)                                                         \
  inline Lanes operator op(const Lanes& a, const Lanes& b) {                               \
    return {{a.v[0] op b.v[0], a.v[1] op b.v[1], a.v[2] op b.v[2], a.v[3] op b.v[3]}};     \
  }                                                                                        \
  inline Lanes operator op(const Lanes& a, double b) {                                     \
    return {{a.v[0] op b, a.v[1] op b, a.v[2] op b, a.v[3] op b}};                         \
  }                                                                                        \
  inline Lanes operator op(double a, const Lanes& b) {                                     \
    return {{a op b.v[0], a op b.v[1], a op b.v[2], a op b.v[3]}};                         \
  }
PLORVEX_LANES_OPERATOR(+)
PLORVEX_LANES_OPERATOR(-)
PLORVEX_LANES_OPERATOR(*)
PLORVEX_LANES_OPERATOR(/)
#undef PLORVEX_LANES_OPERATOR

inline Lanes operator-(const Lanes& a) { return {{-a.v[0], -a.v[1], -a.v[2], -a.v[3]}}; }

inline Lanes fabs(const Lanes& a) {
  return {{std::fabs(a.v[0]), std::fabs(a.v[1]), std::fabs(a.v[2]), std::fabs(a.v[3])}};
}

#ifndef PLORVEX_BENCH_LIBRARY_MATHS
inline Lanes power(const Lanes& base, double exponent) {
  Lanes out;
  crPow4(base.v, exponent, out.v);
  return out;
}
#else
inline Lanes power(const Lanes& base, double exponent) {
  return {{power(base.v[0], exponent), power(base.v[1], exponent), power(base.v[2], exponent),
           power(base.v[3], exponent)}};
}
#endif

namespace maths {
#ifndef PLORVEX_BENCH_LIBRARY_MATHS
inline Lanes sin(const Lanes& x) {
  Lanes out;
  crSin4(x.v, out.v);
  return out;
}
inline Lanes cos(const Lanes& x) {
  Lanes out;
  crCos4(x.v, out.v);
  return out;
}
inline Lanes tan(const Lanes& x) {
  Lanes out;
  crTan4(x.v, out.v);
  return out;
}
#else
// The benchmark's build with the C library's maths (render/correct_math.h).
inline Lanes sin(const Lanes& x) { return {{sin(x.v[0]), sin(x.v[1]), sin(x.v[2]), sin(x.v[3])}}; }
inline Lanes cos(const Lanes& x) { return {{cos(x.v[0]), cos(x.v[1]), cos(x.v[2]), cos(x.v[3])}}; }
inline Lanes tan(const Lanes& x) { return {{tan(x.v[0]), tan(x.v[1]), tan(x.v[2]), tan(x.v[3])}}; }
#endif
}  // namespace maths

}  // namespace plorvex
