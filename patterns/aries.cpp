// SPDX-License-Identifier: GPL-3.0-or-later
#include "aries.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Atlas::Params> Atlas::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read, 400, 400);
  in.params.zoom = read(Field::Four) * 1.5;
  in.params.brightness = read(Field::Five) * 1.5;
  return in;
}

template <class R>
ChannelsOf<R> Atlas::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = p.zoom, B = p.brightness;
  const R a1 = (K * (j / 200)) * Z;
  const R a2 = (K * (i / 200)) * Z;
  const R t1 = sin((a1 - sin(a2 - a1)) - cos(a1 - a2));
  const R t2 = tan(t1) * (cos((a1 / (t1 + 0.000123)) * cos(a1 * sin(a2 * sin(a2 * cos(a1))))) *
                               sin(a2 * cos(a1)));
  const R t3 = cos(t1) * sin(sin(a2 / (K + sin(a1 * a2))));
  const R t4 = sin(t1 * a2) + sin(a1 * t2);
  const R t5 =
      sin(((a1 * t2) / 5) * cos((a2 + 0.000123) - (a1 * sin((a2 * a1) * cos((3 * t4) * t2))))) *
      (t2 + 0.000123);
  const R t6 =
      cos(t1 + sin((t5 - t2) + cos((t2 - (t5 * t1)) + sin((t5 + t2) + cos((t2 * t1) + t5)))));
  const R t7 = power(fabs((t2 * t6) * (K / 100)), 1.0 / 5);
  const R c1 = t3 * 0.0036 + t5 * 0.14 + t2 * 0.24 + t6 * 0.2;
  const R c2 = t3 * 0.21 + t2 * 0.51 + t7 * 0.11 + t4 * 0.35 + t6 * 0.1;
  const R c3 = t2 * 0.05 + t5 * 0.032 + t7 * 0.32 + t4 * 0.46;
  ChannelsOf<R> out;
  out.red = 100 + B * c3;
  out.blue = 100 + B * c1;
  out.green = 100 + B * c2;
  return out;
}

Channels Atlas::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Atlas::at(const Params& p, Lanes i, Lanes j);

RenderOutcome aries(RenderHost& host) { return renderPattern<Atlas>(host); }

}  // namespace plorvex
