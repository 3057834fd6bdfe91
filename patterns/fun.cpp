// SPDX-License-Identifier: GPL-3.0-or-later
#include "fun.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Frazzle::Params> Frazzle::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = halfSizeCentredSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Frazzle::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan;
  const double Z = p.zoom, B = p.brightness;
  // Negated so that the row coordinate grows upwards.
  const R a1 = (K * (-1 * (j / 200))) * Z;
  const R a2 = (K * (i / 200)) * Z;
  const R t1 = tan(a2 - sin(a1) / (0.000123 + a2 * a1));
  const R t2 = sin(t1 * a2 - sin(a1 - t1 * cos(a2 * sin(t1 - (a1 + sin(a2 * t1))))));
  const R t3 =
      cos(t2 * sin(t2 * a2 - cos(a1 - (t2 - ((cos(t2) * t2) * a1) / (cos(t2 - a1) + 0.1)))));
  const R t4 =
      sin(t3) - cos(t3 - tan((a2 * (t1 + 0.000123)) * t3 - cos(((t1 - a1) - cos(t3)) - t1)));
  const R t5 =
      tan(t3 * a1 + cos(t4 * cos((a2 - a1) + cos(t4 - t3 * sin(a1 * sin((t3 * t4) * cos(t4 + a2)))))));
  const R t6 = sin((t5 - t4) + cos((t4 - t5 * tan(t5 + t4)) + tan(t4 + t5)));
  const R t7 = sin(t5 * (t4 + 0.000123)) / 4;
  const R c1 = t7 * 0.1 + t6 * 0.1 + t5 * 0.3;
  const R c2 = t7 * 0.4 + t6 * 0.2 + t5 * 0.1;
  const R c3 = t7 * 0.2 + t6 * 0.3 + t5 * 0.2;
  ChannelsOf<R> out;
  out.red = 100 + B * c1;
  out.blue = 100 + B * c2;
  out.green = 100 + B * c3;
  return out;
}

Channels Frazzle::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Frazzle::at(const Params& p, Lanes i, Lanes j);

RenderOutcome fun(RenderHost& host) { return renderPattern<Frazzle>(host); }

}  // namespace plorvex
