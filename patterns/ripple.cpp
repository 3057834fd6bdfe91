// SPDX-License-Identifier: GPL-3.0-or-later
#include "ripple.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Ripple::Params> Ripple::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Ripple::at(const Params& par, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z3 = par.zoom, B = par.brightness;
  const R q = (K * (j / 200)) * Z3;
  const R p = (K * (i / 200)) * Z3;
  const R a1 = tan(sin(p + cos(q * cos((q - p) + cos(q + sin(p * sin(p - cos(q))))))));
  const R a2 =
      tan(sin((q - p) + cos(p - q)) + sin((p + q) + cos(q + p)) + sin(q + 0.000123));
  const R a3 = power(fabs(a1 / (a2 + K)), 1.0 / 2);
  const R a4 = sin(a1 * sin(a2 * sin(a3 - q)) - sin(a1 * q)) * sin(a2 - sin(p - a3 * p));
  const R a5 = sin(a3 + cos(q * (cos(a1 - p) - cos(q * sin(a2 + sin(p + 0.000123) * 0.000123 +
                                                                   cos((a1 - a2) - a3))))));
  const R a6 = sin((a3 * p) / cos((p + 0.00000123) + q * sin((a1 * q) * cos(a4 * a2)))) *
                    sin(a2 + 0.000123);
  const R a7 = tan(power(fabs(a5 / (a6 + K)), 0.5));
  const R s1 = a6 * 0.13 + a5 * 0.11 + a7 * 0.02 + a4 * 0.11 + a1 * 0.01 + a2 * 0.04 + a3 * 0.01;
  const R s2 = a6 * 0.03 + a5 * 0.01 + a7 * 0.11 + a4 * 0.03 + a1 * 0.2 + a2 * 0.02 + a3 * 0.05;
  const R s3 = a6 * 0.15 + a5 * 0.82 + a7 * 0.01 + a4 * 0.02 + a1 * 0.04 + a2 * 0.1 + a3 * 0.03;
  ChannelsOf<R> out;
  out.red = 100 + B * s2;
  out.blue = 100 + B * s3;
  out.green = 100 + B * s1;
  return out;
}

Channels Ripple::pixel(const Params& par, double i, double j, double&) { return at(par, i, j); }

template ChannelsOf<Lanes> Ripple::at(const Params& par, Lanes i, Lanes j);

RenderOutcome ripple(RenderHost& host) { return renderPattern<Ripple>(host); }

}  // namespace plorvex
