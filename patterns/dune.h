// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dada: offsets shifted by -333, zoom and brightness doubled; one term is carried
// from pixel to pixel down each column and on into the next.

#include "frame.h"

namespace plorvex {

struct Dada {
  // One value passes from pixel to pixel in sweep order.
  static constexpr bool kCarriesValue = true;
  struct Params {
    double zoom = 0;
    double brightness = 0;
  };
  static Intake<Params> intake(const FieldReader& read);
  static Channels pixel(const Params& p, double i, double j, double& carried);
};

RenderOutcome dune(RenderHost& host);

}  // namespace plorvex
