// SPDX-License-Identifier: GPL-3.0-or-later
#include "ooh.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Ombud::Params> Ombud::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = halfSizeCentredSweep(read);
  in.params.size = in.sweep.size;
  in.params.extent = in.sweep.extent;
  in.params.zoom = read(Field::Four) * 10;
  in.params.brightness = read(Field::Five) * 11 - 1200;
  return in;
}

template <class R>
ChannelsOf<R> Ombud::at(const Params& par, R i, R j) {
  using maths::cos, maths::sin, std::fabs;
  const double S = par.size, E = par.extent, Z10 = par.zoom, F = par.brightness;
  const R q = (K * (j / S)) * Z10;
  const R p = (K * (i / E)) * Z10;
  const R a1 = sin(p * cos(q * cos(q / (p + 0.000123)) +
                                 cos(q + sin(p * cos(p - cos(cos(q)))))));
  const R a2 =
      sin((q - p) * cos((p / (q + 0.000123)) * sin(a1 + sin((p + q) + cos(q + p)))));
  const R a3 = power(fabs(a2 + a1), 0.2);
  const R a4 =
      sin(a1) + cos(a2 * cos(((a3 - sin(a2)) + (cos(a2) + sin(a2) * a3) * sin(a2)) - cos(a1)));
  const R a5 = sin((a2 - (p + 0.000123)) +
                        cos(((p - a3) + sin(a3 * (q + 0.000123))) + cos(q * (a1 + 0.000123))));
  const R a6 = power(fabs(sin(a4 * a5)), 0.4);
  // a3 enters every sum twice, with zero weights where the term has no say.
  const R s1 = a6 * 0.02 + a5 * 0.01 + a4 * 0.03 + a3 * 0 + a1 * 0.03 + a2 * 0 + a3 * 0.73;
  const R s2 = a6 * 0 + a5 * 0 + a4 * 0.13 + a3 * 0.03 + a1 * 0 + a2 * 0.04 + a3 * 0;
  const R s3 = a6 * 0.06 + a5 * 0.11 + a4 * 0 + a3 * 0 + a1 * 0.1 + a2 * 0.09 + a3 * 0;
  ChannelsOf<R> out;
  out.red = 100 + F * s3;
  out.blue = 100 + F * s1;
  out.green = 100 + F * s2;
  return out;
}

Channels Ombud::pixel(const Params& par, double i, double j, double&) { return at(par, i, j); }

template ChannelsOf<Lanes> Ombud::at(const Params& par, Lanes i, Lanes j);

RenderOutcome ooh(RenderHost& host) { return renderPattern<Ombud>(host); }

}  // namespace plorvex
