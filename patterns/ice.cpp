// SPDX-License-Identifier: GPL-3.0-or-later
#include "ice.h"

#include <cmath>

#include "renderer.h"

namespace plorvex {

Intake<Icey::Params> Icey::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) / 2;
  in.params.brightness = read(Field::Five);
  return in;
}

Channels Icey::pixel(const Params& p, double i, double j, double&) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Zh = p.zoom, B = p.brightness;
  const double u = K * (i / 200) * Zh;
  const double v = K * (j / 200) * Zh;
  // Unzoomed: the picture keeps varying even at zoom 0.
  const double w = (K * (i / 200)) / (0.000123 + K * (j / 200));
  const double a1 =
      sin(v - u - cos(u * cos(u - sin(v * sin(v)))) * cos(u * sin(v * sin(v - cos(u - v))))) + 0.2;
  const double a2 =
      cos(0.1 + w - sin((v + cos(a1 * cos(u - v))) + (cos(a1) + sin(v * sin(a1) - sin(a1 + u))))) -
      0.2;
  const double a3 =
      tan(a2) * (cos(u / (a2 + 0.000123) * cos(u * sin(v * sin(v * cos(u))))) * sin(v * cos(u)));
  const double a4 =
      fabs(sin(u - v * cos(v / (u + 0.000123 + a2 * sin(v + u) * cos(u + v) * cos(a2)))));
  const double a5 = sin(power(fabs(a2 / (a4 + K)), 0.5));
  const double a6 = tan(cos(w - sin(w * cos(a4 * a3 - cos(w * a5))) - sin(a5 * u) -
                            cos(w * a3 - sin(a4 - sin(w * v) * tan(w * a3)))));
  const double a7 =
      sin(tan(a5 + cos(a1 * (cos(a5 - a3) + (sin(a3 * sin(a5) - cos(a3 + a5)) + cos(a4))))));
  const double a8 = fabs(a4 / (a6 + 0.000123));
  const double a9 =
      sin(v * a3 + tan(u)) * cos(a1 - a2 + cos(u) + sin(a4 * sin(a5) - cos(a8)));
  const double a10 =
      sin(tan(a5 + cos(a9 * (cos(a6 - v) + (sin(a2 * sin(a9) - cos(a1 + a8)) + cos(a1))))));
  const double a11 = cos(tan(a4 - a9 + cos(a1 - a4 + sin(a7 + a8) + cos(a8 + a7))));
  const double a12 = tan(a10) * ((sin(a11) + cos(u)) * sin(v) +
                                 cos(a10 / (a11 + 0.000123)) * sin(v + cos(u)) - cos(a11));
  const double a13 = fabs(sin(a9 - a10) * cos(v / (a11 + 0.000123)) +
                          a7 * sin(v + u) * cos(a8 + a6) * tan(a11));
  const double a14 = sin(power(fabs(a13 / (a12 + K)), 0.5));
  const double mR = a13 * 0.13 + a12 * 0.1 + a14 * 0.12 + a9 * 0.01 + a10 * 0.1 + a11 * 0.23;
  const double mG = a13 * 0.03 + a12 * 0.03 + a14 * 0.02 + a9 * 0.05 + a10 * 0.02 + a11 * 0.15;
  const double mB = a13 * 0.19 + a12 * 0.18 + a14 * 0.213 + a9 * 0.07 + a10 * 0.19 + a11 * 0.05;
  Channels out;
  out.red = B * mR * 3;
  out.blue = B * mB * 3;
  out.green = B * mG * 3;
  return out;
}

RenderOutcome ice(RenderHost& host) { return renderPattern<Icey>(host); }

}  // namespace plorvex
