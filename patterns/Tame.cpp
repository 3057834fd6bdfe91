// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tame.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Tracer::Params> Tracer::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  const double zoom = read(Field::Four);  // one reading, added to itself
  in.params.zoom = zoom + zoom;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Tracer::at(const Params& par, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z2 = par.zoom, B = par.brightness;
  const R q = (K * (j / 200)) * Z2;
  const R p = (K * (i / 200)) * Z2;
  const R a1 = tan(sin((q - p) + cos(p - q)) + sin((p + q) + cos(q + p)));
  const R a2 = power(fabs(sin(q - p) * 12), 1.0 / 5);
  const R a3 =
      sin(q * cos(a2 - cos(a2 / (p + cos(a1 * sin(a1 * sin(p - cos(a2)))) * 0.000123))));
  const R a4 = sin(a2 * cos(q - cos((q - p) + cos(q + sin(p * sin(a2 * cos(a2)))))));
  const R a5 = sin((q * p) + cos((p / (q + 0.000123)) + sin(p + q * cos(q + p * tan(a2)))));
  const R a6 =
      sin(p) - cos(q - (cos(q / (p + 0.000123)) + cos(a1 * sin(a1 * sin(p - cos(q))))));
  const R a7 = sin(q - ((p * cos(p / (q + 0.000123))) * sin(p + q * cos(q + p))) * a6);
  const R a8 = power(fabs(a5 - (a4 + K)), 0.27);
  const R a9 = sin(a7) * cos(a6 - (cos(a8 / (a7 + 0.000123)) +
                                        cos(a7 + sin((a6 * a7) * sin(a8 - cos(a7))))));
  const R a10 = sin(a8 - ((p + 0.000123) - cos(((a4 - a6) + sin(a8 / (q + 0.000123))) +
                                                    cos(a8 / (a7 + 0.000123)))));
  const R a11 = sin((a6 / (a10 + 0.000123)) - cos(((a9 - a3) - sin(a10 * (q + 0.000123))) -
                                                       cos(q / (a8 + 0.000123))));
  const R a12 = power(fabs(a8 / ((a6 + a7) + 0.000123)), 1.0 / 3);
  const R s1 = a12 * 0.23131 + a11 * 0.2 + a6 * 0.13;
  const R s2 = a12 * 0.1 + a11 * 0.15131 + a6 * 0.36;
  const R s3 = a12 * 0.0152 + a11 * 0.1 + a6 * 0.591;
  ChannelsOf<R> out;
  out.red = 100 + B * s3;
  out.blue = 100 + B * s1;
  out.green = 100 + B * s2;
  return out;
}

Channels Tracer::pixel(const Params& par, double i, double j, double&) { return at(par, i, j); }

template ChannelsOf<Lanes> Tracer::at(const Params& par, Lanes i, Lanes j);

RenderOutcome Tame(RenderHost& host) { return renderPattern<Tracer>(host); }

}  // namespace plorvex
