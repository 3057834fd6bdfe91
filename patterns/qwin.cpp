// SPDX-License-Identifier: GPL-3.0-or-later
#include "qwin.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Quaff::Params> Quaff::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Quaff::at(const Params& par, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z3 = par.zoom, B = par.brightness;
  const R p = (K * (i / 200)) * Z3;
  const R q = (K * (j / 200)) * Z3;
  const R d = ((K * (i / 200)) / (0.000123 + K * (j / 200))) * Z3;
  const R a1 = sin((q - p) - cos(p * cos(p - sin(q * sin(q)))) *
                                      cos(p * sin(q * sin(q - cos(p - q))))) +
                    0.2;
  const R a2 = cos((0.1 + d) - sin((q + cos(a1 * cos(p - q))) +
                                        (cos(a1) + sin((q * sin(a1)) - sin(a1 + p))))) -
                    0.2;
  const R a3 = fabs(a2) * (sin(q * cos(p)) * cos((p / (a2 + 0.000123)) *
                                                           cos(p * sin(q * sin(q * cos(p))))));
  const R a4 = tan(p - q * cos(q / ((p + 0.000123) + a2 * sin(q + (p * cos(p + q)) * cos(a2)))));
  const R a5 = sin(power(fabs(a2 / (a4 + K)), 0.5));
  const R s1 = a3 * 0.07 + a4 * 0.08 + a5 * 0.2 + a1 * 0.13;
  const R s2 = a3 * 0.02 + a4 * 0.03 + a5 * 0.1 + a1 * 0.11;
  const R s3 = a3 * 0.19 + a4 * 0.13 + a5 * 0.3 + a1 * 0.19;
  ChannelsOf<R> out;
  out.red = 0 + (B * s3) * 4;
  out.blue = 0 + (B * s2) * 4;
  out.green = 0 + (B * s1) * 4;
  return out;
}

Channels Quaff::pixel(const Params& par, double i, double j, double&) { return at(par, i, j); }

template ChannelsOf<Lanes> Quaff::at(const Params& par, Lanes i, Lanes j);

RenderOutcome qwin(RenderHost& host) { return renderPattern<Quaff>(host); }

}  // namespace plorvex
