// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dada: offsets shifted by -333, zoom and brightness doubled; one term is carried
// from pixel to pixel down each column and on into the next.

#include "frame.h"

namespace plorvex {

struct Dada {
  // One value passes from pixel to pixel in sweep order.
  static constexpr bool kCarriesValue = true;
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  // The terms of a pixel that do not depend on the carried value.
  template <class R>
  struct PreparedAt {
    R t1, t2;
  };
  using Prepared = PreparedAt<double>;
  static Intake<Params> intake(const FieldReader& read);
  // For one sample (R = double) or four (R = Lanes).
  template <class R>
  static PreparedAt<R> prepare(const Params& p, R i, R j);
  // carried: t3 of the previous pixel.
  static Channels complete(const Params& p, const Prepared& x, double& carried);
};

RenderOutcome dune(RenderHost& host);

}  // namespace plorvex
