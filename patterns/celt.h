// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Canut: offsets as typed, zoom and brightness tripled.

#include "frame.h"

namespace plorvex {

struct Canut {
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome celt(RenderHost& host);

}  // namespace plorvex
