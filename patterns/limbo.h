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
  // The terms of a pixel that do not depend on the carried value.
  template <class R>
  struct PreparedAt {
    R v, u, a1, a2, a4;
    R cosV, tanU;
    R a3Factor;  // sin(a2 * a1 - cos(a2 * v)) * cos(a2 + sin(u * w))
  };
  using Prepared = PreparedAt<double>;
  static Intake<Params> intake(const FieldReader& read);
  // For one sample (R = double) or four (R = Lanes).
  template <class R>
  static PreparedAt<R> prepare(const Params& p, R i, R j);
  // carried: a3 of the previous pixel. The chain through it gives this
  // pixel's a3 (and carries it on); finish computes the rest from a3, for one
  // sample or four; complete is the two in turn.
  static double chain(const Params& p, const Prepared& x, double& carried);
  template <class R>
  static ChannelsOf<R> finish(const Params& p, const PreparedAt<R>& x, R a3);
  static Channels complete(const Params& p, const Prepared& x, double& carried);
};

RenderOutcome limbo(RenderHost& host);

}  // namespace plorvex
