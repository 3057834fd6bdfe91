// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pluck: coordinates shifted by 0.5, a zoom-free quotient d, and the value m
// carried from pixel to pixel.

#include "frame.h"

namespace plorvex {

struct Pluck {
  // One value passes from pixel to pixel in sweep order.
  static constexpr bool kCarriesValue = true;
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  // The terms of a pixel that do not depend on the carried value.
  template <class R>
  struct PreparedAt {
    R q, p, a5, a6, a7;
    // cos(q) * a5 + cos(p * (cos(a6 + sin(p * d)) * sin((a6 * a5) - cos(a6 * q))))
    R mInner;
  };
  using Prepared = PreparedAt<double>;
  static Intake<Params> intake(const FieldReader& read);
  // For one sample (R = double) or four (R = Lanes).
  template <class R>
  static PreparedAt<R> prepare(const Params& par, R i, R j);
  // carried: m of the previous pixel.
  static Channels complete(const Params& par, const Prepared& x, double& carried);
};

RenderOutcome Punk(RenderHost& host);

}  // namespace plorvex
