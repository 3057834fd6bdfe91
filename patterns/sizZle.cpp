// SPDX-License-Identifier: GPL-3.0-or-later
#include "sizZle.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Sizzle::Params> Sizzle::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five) / 2;
  return in;
}

template <class R>
ChannelsOf<R> Sizzle::at(const Params& par, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z3 = par.zoom, Bh = par.brightness;
  const R p = (K * (i / 200)) * Z3;
  const R q = (K * (j / 200)) * Z3;
  const R d = (K * (i / 200)) / (0.000123 + K * (j / 200));
  const R a1 = tan(sin((p - q) + cos(q - p)) + sin((q + p) + cos(p + q)));
  const R a2 = sin((q - p) - cos(p * cos(p - sin(q * sin(q)))) *
                                      cos(p * sin(q * sin(q - cos(p - q))))) +
                    0.2;
  const R a3 = cos((0.1 + d) - sin((q + cos(a2 * cos(p - q))) +
                                        (cos(a2) + sin(q - sin(a1 + p))))) -
                    0.2;
  const R a4 = tan(a3) * (cos((p / (a3 + 0.000123)) * cos(p * sin(q * sin(q * cos(p))))) *
                               sin(q * cos(p)));
  const R a5 = fabs(
      sin(p - q * cos(q / ((p + 0.000123) + ((a3 * sin(q + p)) * cos(p + q)) * cos(a3)))) + a1);
  const R a6 = sin(power(fabs(a3 / (a5 + K)), 0.5));
  const R a7 = tan(cos(((d - sin(d * cos((a5 * a4) - cos(d * a6)))) - sin(a6 * p)) -
                            cos((d * a4) - sin(a5 - sin(d * q) * tan(d * a4)))));
  const R s1 = a4 * 0.07 + a5 * 0.08 + a6 * 0.2 + a2 * 0.13 + a7 * 0.21;
  const R s2 = a4 * 0.25 + a5 * 0.03 + a6 * 0.1 + a2 * 0.11 + a7 * 0.31;
  const R s3 = a4 * 0.02 + a5 * 0.13 + a6 * 0.3 + a2 * 0.19 + a7 * 0.11;
  ChannelsOf<R> out;
  out.red = 0 + (Bh * s2) * 4;
  out.blue = 0 + (Bh * s3) * 4;
  out.green = 0 + (Bh * s1) * 4;
  return out;
}

Channels Sizzle::pixel(const Params& par, double i, double j, double&) { return at(par, i, j); }

template ChannelsOf<Lanes> Sizzle::at(const Params& par, Lanes i, Lanes j);

RenderOutcome sizZle(RenderHost& host) { return renderPattern<Sizzle>(host); }

}  // namespace plorvex
