// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Nitegale: coordinates shifted by 0.5 and a term carried from pixel to pixel.

#include "frame.h"

namespace plorvex {

struct Nitegale {
  // One value passes from pixel to pixel in sweep order.
  static constexpr bool kCarriesValue = true;
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  // The terms of a pixel that do not depend on the carried value.
  template <class R>
  struct PreparedAt {
    R a1, a2, a3, a4, a6;
    R a5Inner;  // sin(a1 * (cos(a4 + tan(a1 * a2)) - cos(a4 * a2)))
  };
  using Prepared = PreparedAt<double>;
  static Intake<Params> intake(const FieldReader& read);
  // For one sample (R = double) or four (R = Lanes).
  template <class R>
  static PreparedAt<R> prepare(const Params& p, R i, R j);
  // carried: a5 of the previous pixel.
  static Channels complete(const Params& p, const Prepared& x, double& carried);
};

RenderOutcome numb(RenderHost& host);

}  // namespace plorvex
