// SPDX-License-Identifier: GPL-3.0-or-later
#include "fun.h"

#include <cmath>

#include "renderer.h"

namespace plorvex {

Intake<Frazzle::Params> Frazzle::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = halfSizeCentredSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

Channels Frazzle::pixel(const Params& p, double i, double j, double&) {
  using maths::cos, maths::sin, maths::tan;
  const double Z = p.zoom, B = p.brightness;
  // Negated so that the row coordinate grows upwards.
  const double a1 = (K * (-1 * (j / 200))) * Z;
  const double a2 = (K * (i / 200)) * Z;
  const double t1 = tan(a2 - sin(a1) / (0.000123 + a2 * a1));
  const double t2 = sin(t1 * a2 - sin(a1 - t1 * cos(a2 * sin(t1 - (a1 + sin(a2 * t1))))));
  const double t3 =
      cos(t2 * sin(t2 * a2 - cos(a1 - (t2 - ((cos(t2) * t2) * a1) / (cos(t2 - a1) + 0.1)))));
  const double t4 =
      sin(t3) - cos(t3 - tan((a2 * (t1 + 0.000123)) * t3 - cos(((t1 - a1) - cos(t3)) - t1)));
  const double t5 =
      tan(t3 * a1 + cos(t4 * cos((a2 - a1) + cos(t4 - t3 * sin(a1 * sin((t3 * t4) * cos(t4 + a2)))))));
  const double t6 = sin((t5 - t4) + cos((t4 - t5 * tan(t5 + t4)) + tan(t4 + t5)));
  const double t7 = sin(t5 * (t4 + 0.000123)) / 4;
  const double c1 = t7 * 0.1 + t6 * 0.1 + t5 * 0.3;
  const double c2 = t7 * 0.4 + t6 * 0.2 + t5 * 0.1;
  const double c3 = t7 * 0.2 + t6 * 0.3 + t5 * 0.2;
  Channels out;
  out.red = 100 + B * c1;
  out.blue = 100 + B * c2;
  out.green = 100 + B * c3;
  return out;
}

RenderOutcome fun(RenderHost& host) { return renderPattern<Frazzle>(host); }

}  // namespace plorvex
