// SPDX-License-Identifier: GPL-3.0-or-later
#include "celt.h"

#include <cmath>

#include "renderer.h"

namespace plorvex {

Intake<Canut::Params> Canut::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five) * 3;
  return in;
}

Channels Canut::pixel(const Params& p, double i, double j, double&) {
  using maths::cos, maths::sin, maths::tan;
  const double Z = p.zoom, B = p.brightness;
  const double a1 = (K * (j / 200)) * Z;
  const double a2 = (K * (i / 200)) * Z;
  const double t1 = power(tan(a1 * sin(a2 - (a1 / 3))), 2);
  const double t2 = sin(a2 + cos((a1 / 2) * cos((a1 - t1) + cos(a1 + sin(a2 * sin(a2 - cos(t1 / 17)))))));
  const double t3 = sin((a1 - t1) + (cos(((a2 - a1) + sin((a2 + t1) + cos(a1 + a2))) - sin(t2)) /
                                     sin((t2 + t1) + 0.000123)));
  const double t4 = power(std::fabs(t3 * (t2 + K)), 1.0 / 2);
  const double t5 =
      sin(t2 * cos(t3 * cos((t4 - t3) + cos(t3 - sin(((t3 * t4) * sin(t3)) / cos(t2 + 0.000123))))));
  const double t6 = sin(t3 - (t2 * cos(((a2 - t4) + sin(t4 + a1)) + cos(a1 + t2))));
  const double t7 = power(std::fabs(t1), 0.5);
  const double c1 = t4 * 0.041 + t7 * 0.03 + t6 * 0.02 + t5 * 0.11 + t3 * 0.21 + t2 * 0.0241;
  const double c2 =
      t4 * 0.000025 + t7 * 0.07 + t6 * 0.0015 + t5 * 0.0003 + t3 * 0.07121 + t2 * 0.04221;
  const double c3 = t4 * 0.034 + t7 * 0.1 + t6 * 0.05 + t5 * 0.4012 + t3 * 0.0181 + t2 * 0.021;
  Channels out;
  out.red = 100 + B * c3;
  out.blue = 100 + B * c1;
  out.green = 100 + B * c2;
  return out;
}

RenderOutcome celt(RenderHost& host) { return renderPattern<Canut>(host); }

}  // namespace plorvex
