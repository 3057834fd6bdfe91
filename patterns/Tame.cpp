// SPDX-License-Identifier: GPL-3.0-or-later
#include "Tame.h"

#include <cmath>

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

Channels Tracer::pixel(const Params& par, double i, double j, double&) {
  using maths::cos, maths::sin, maths::tan;
  const double Z2 = par.zoom, B = par.brightness;
  const double q = (K * (j / 200)) * Z2;
  const double p = (K * (i / 200)) * Z2;
  const double a1 = tan(sin((q - p) + cos(p - q)) + sin((p + q) + cos(q + p)));
  const double a2 = power(std::fabs(sin(q - p) * 12), 1.0 / 5);
  const double a3 =
      sin(q * cos(a2 - cos(a2 / (p + cos(a1 * sin(a1 * sin(p - cos(a2)))) * 0.000123))));
  const double a4 = sin(a2 * cos(q - cos((q - p) + cos(q + sin(p * sin(a2 * cos(a2)))))));
  const double a5 = sin((q * p) + cos((p / (q + 0.000123)) + sin(p + q * cos(q + p * tan(a2)))));
  const double a6 =
      sin(p) - cos(q - (cos(q / (p + 0.000123)) + cos(a1 * sin(a1 * sin(p - cos(q))))));
  const double a7 = sin(q - ((p * cos(p / (q + 0.000123))) * sin(p + q * cos(q + p))) * a6);
  const double a8 = power(std::fabs(a5 - (a4 + K)), 0.27);
  const double a9 = sin(a7) * cos(a6 - (cos(a8 / (a7 + 0.000123)) +
                                        cos(a7 + sin((a6 * a7) * sin(a8 - cos(a7))))));
  const double a10 = sin(a8 - ((p + 0.000123) - cos(((a4 - a6) + sin(a8 / (q + 0.000123))) +
                                                    cos(a8 / (a7 + 0.000123)))));
  const double a11 = sin((a6 / (a10 + 0.000123)) - cos(((a9 - a3) - sin(a10 * (q + 0.000123))) -
                                                       cos(q / (a8 + 0.000123))));
  const double a12 = power(std::fabs(a8 / ((a6 + a7) + 0.000123)), 1.0 / 3);
  const double s1 = a12 * 0.23131 + a11 * 0.2 + a6 * 0.13;
  const double s2 = a12 * 0.1 + a11 * 0.15131 + a6 * 0.36;
  const double s3 = a12 * 0.0152 + a11 * 0.1 + a6 * 0.591;
  Channels out;
  out.red = 100 + B * s3;
  out.blue = 100 + B * s1;
  out.green = 100 + B * s2;
  return out;
}

RenderOutcome Tame(RenderHost& host) { return renderPattern<Tracer>(host); }

}  // namespace plorvex
