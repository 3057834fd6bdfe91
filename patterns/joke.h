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
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome joke(RenderHost& host);

}  // namespace plorvex
