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
  static Intake<Params> intake(const FieldReader& read);
  // carried: a5 of the previous pixel.
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome numb(RenderHost& host);

}  // namespace plorvex
