// SPDX-License-Identifier: GPL-3.0-or-later
#include "joke.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Jolli::Params> Jolli::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Jolli::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z3 = p.zoom, B = p.brightness;
  const R u = K * (i / 200) * Z3;
  const R v = K * (j / 200) * Z3;
  // The zoom scales the whole quotient.
  const R w = (K * (i / 200)) / (0.000123 + K * (j / 200)) * Z3;
  const R a1 =
      sin(v - u - cos(u * cos(u - sin(v * sin(v)))) * cos(u * sin(v * sin(v - cos(u - v))))) + 0.2;
  const R a2 =
      cos(0.1 + w - sin((v + cos(a1 * cos(u - v))) + (cos(a1) + sin(v * sin(a1) - sin(a1 + u))))) -
      0.2;
  const R a3 =
      fabs(a2) * (sin(v * cos(u)) * cos(u / (a2 + 0.000123) * cos(u * sin(v * sin(v * cos(u))))));
  const R a4 = tan(u - v * cos(v / (u + 0.000123 + a2 * sin(v + u * cos(u + v) * cos(a2)))));
  const R a5 = sin(power(fabs(a2 / (a4 + K)), 0.5));
  const R a6 = tan(cos(w - sin(w * cos(a4 * a3 - cos(w * a5))) - sin(a5 * u) -
                            cos(w * a3 - sin(a4 - sin(w * v) * tan(w * a3)))));
  const R s1 = a3 * 0.07 + a4 * 0.08 + a5 * 0.2 + a1 * 0.13 + a6 * 0.03;
  const R s2 = a3 * 0.02 + a4 * 0.03 + a5 * 0.1 + a1 * 0.11 + a6 * 0.11;
  const R s3 = a3 * 0.19 + a4 * 0.13 + a5 * 0.3 + a1 * 0.19 + a6 * 0.06;
  ChannelsOf<R> out;
  out.red = 0 + B * s3 * 4;
  out.blue = 0 + B * s2 * 4;
  out.green = 0 + B * s1 * 4;
  return out;
}

Channels Jolli::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Jolli::at(const Params& p, Lanes i, Lanes j);

RenderOutcome joke(RenderHost& host) { return renderPattern<Jolli>(host); }

}  // namespace plorvex
