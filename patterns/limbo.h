// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Lazy: coordinates shifted by 0.5, a term carried from pixel to pixel, and
// half the brightness on each channel.

#include "frame.h"

namespace plorvex {

struct Lazy {
  // One value passes from pixel to pixel in sweep order.
  static constexpr bool kCarriesValue = true;
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  // carried: a3 of the previous pixel.
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome limbo(RenderHost& host);

}  // namespace plorvex
