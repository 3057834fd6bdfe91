// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Quaff: size read first, offsets centred, zoom tripled, and channels with no
// base, so negative sums are black.

#include "frame.h"

namespace plorvex {

struct Quaff {
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

RenderOutcome qwin(RenderHost& host);

}  // namespace plorvex
