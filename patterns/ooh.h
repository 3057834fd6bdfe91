// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Ombud: offsets less half the size, coordinates scaled by the picture's own
// extent, zoom times 10 and the brightness factor 11 * B - 1200.

#include "frame.h"

namespace plorvex {

struct Ombud {
  struct Params {
    double size = 0;    // S: rows divide by it
    double extent = 0;  // E: columns divide by it
    double zoom = 0;    // Z10
    double brightness = 0;  // F
  };
  static Intake<Params> intake(const FieldReader& read);
  // The pixel's formulas, for one sample (R = double) or four (R = Lanes).
  template <class R>
  static ChannelsOf<R> at(const Params& p, R i, R j);
  static Channels pixel(const Params& par, double i, double j, double& carried);
};

RenderOutcome ooh(RenderHost& host);

}  // namespace plorvex
