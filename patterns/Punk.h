// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Pluck: coordinates shifted by 0.5, a zoom-free quotient d, and the value m
// carried from pixel to pixel.

#include "frame.h"

namespace plorvex {

struct Pluck {
  // One value passes from pixel to pixel in sweep order.
  static constexpr bool kCarriesValue = true;
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  // carried: m of the previous pixel.
  static Channels pixel(const Params& par, double i, double j, double& carried);
};

RenderOutcome Punk(RenderHost& host);

}  // namespace plorvex
