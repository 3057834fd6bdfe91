// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Jolli: offsets as typed, the zoom tripled, channels scaled from black.

#include "frame.h"

namespace plorvex {

struct Jolli {
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  // The pixel's formulas, for one sample (R = double) or four (R = Lanes).
  template <class R>
  static ChannelsOf<R> at(const Params& p, R i, R j);
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome joke(RenderHost& host);

}  // namespace plorvex
