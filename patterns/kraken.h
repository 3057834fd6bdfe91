// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Kate: offsets centred on the picture, zoom times 1.8, channels with no base.

#include "frame.h"

namespace plorvex {

struct Kate {
  struct Params {
    double zoom = 0;  // Zk
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  // The pixel's formulas, for one sample (R = double) or four (R = Lanes).
  template <class R>
  static ChannelsOf<R> at(const Params& p, R i, R j);
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome kraken(RenderHost& host);

}  // namespace plorvex
