// SPDX-License-Identifier: GPL-3.0-or-later
#include "hix.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Helios::Params> Helios::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Helios::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z3 = p.zoom, B = p.brightness;
  const R a2 = (K * (i / 200)) * Z3;
  const R a1 = (K * (j / 200)) * Z3;
  // Unzoomed: the picture keeps varying even at zoom 0.
  const R a3 = (K * (i / 200)) / (0.000123 + K * (j / 200));
  const R t1 = sin((a1 - a2) - cos(a2 * cos(a2 - sin(a1 * sin(a1)))) *
                                        cos(a2 * sin(a1 * sin(a1 - cos(a2 - a1))))) +
                    0.2;
  const R t2 = cos((0.1 + a3) - sin((a1 + cos(t1 * cos(a2 - a1))) +
                                         (cos(t1) + sin(a1 * sin(t1) - sin(t1 + a2))))) -
                    0.2;
  const R t3 = tan(t2) * (cos((a2 / (t2 + 0.000123)) * cos(a2 * sin(a1 * sin(a1 * cos(a2))))) *
                               sin(a1 * cos(a2)));
  const R t4 = fabs(
      sin(a2 - a1 * cos(a1 / ((a2 + 0.000123) + ((t2 * sin(a1 + a2)) * cos(a2 + a1)) * cos(t2)))));
  const R t5 = sin(power(fabs(t2 / (t4 + K)), 0.5));
  const R t6 = tan(cos(((a3 - sin(a3 * cos(t4 * t3 - cos(a3 * t5)))) - sin(t5 * a2)) -
                            cos(a3 * t3 - sin(t4 - sin(a3 * a1) * tan(a3 * t3)))));
  const R c1 = t4 * 0.08 + t5 * 0.021 + t6 * 0.21 + t2 * 0.04;
  const R c2 = t4 * 0.23 + t5 * 0.101 + t6 * 0.11 + t2 * 0.24;
  const R c3 = t4 * 0.11 + t5 * 0.013 + t1 * 0.04 + t6 * 0.01 + t2 * 0.02;
  ChannelsOf<R> out;
  out.red = 0 + (B * c2) * 4;
  out.blue = 0 + (B * c3) * 4;
  out.green = 0 + (B * c1) * 4;
  return out;
}

Channels Helios::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Helios::at(const Params& p, Lanes i, Lanes j);

RenderOutcome hix(RenderHost& host) { return renderPattern<Helios>(host); }

}  // namespace plorvex
