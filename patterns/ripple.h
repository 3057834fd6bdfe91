// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ripple: zoom tripled; otherwise the plain frame.

#include "frame.h"

namespace plorvex {

struct Ripple {
  struct Params {
    double zoom = 0;  // Z3
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  // The pixel's formulas, for one sample (R = double) or four (R = Lanes).
  template <class R>
  static ChannelsOf<R> at(const Params& p, R i, R j);
  static Channels pixel(const Params& par, double i, double j, double& carried);
};

RenderOutcome ripple(RenderHost& host);

}  // namespace plorvex
