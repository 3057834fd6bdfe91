// SPDX-License-Identifier: GPL-3.0-or-later
#include "numb.h"

#include <cmath>

#include "renderer.h"

namespace plorvex {

Intake<Nitegale::Params> Nitegale::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

Channels Nitegale::pixel(const Params& p, double i, double j, double& carried) {
  using std::cos, std::sin, std::tan;
  const double Z = p.zoom, B = p.brightness;
  const double v = 0.5 + K * (j / 200) * Z;
  const double u = 0.5 + K * (i / 200) * Z;
  const double w = ((K * (i / 200)) / ((0.000123 + K * (j / 200)) - 0.5)) * Z;
  const double a1 = sin(u * cos(v * cos(v / (u + 0.000123)) +
                                sin(v + sin(u * std::fabs(u - cos(sin(v)))))));
  const double a2 = sin(v - u + cos(u / (v + 0.000123) * sin(a1 + sin(u + v + cos(v + u)))));
  const double a3 = power(std::fabs(a2 + a1), 0.5);
  // a1 - a1 is evaluated as written (it is not 0 for an infinite a1).
  const double a4 = sin(a1 - a2) - cos(1.235 + w) + tan(v) * a1 -
                    cos(w * a1 * cos(a2 * a1 * sin(a1 * sin(a1 - a1))));
  const double a5old = carried;
  const double a5 =
      sin(a2 * cos(a1 + sin(a5old + sin(a1 * (cos(a4 + tan(a1 * a2)) - cos(a4 * a2))))));
  carried = a5;
  const double a6 = cos(sin(a4 - w + cos(w - sin(a4 + w + cos(a4)))));
  const double a7 = std::fabs(a4 / (a5 + 0.000123)) / 4;
  const double s1 = a5 * 0.1 + a7 * 0.05 + a6 * 0.03 + a4 * 0.4 + a3 * 0.01;
  const double s2 = a5 * 0.03 + a7 * 0.2 + a6 * 0.21 + a4 * 0.012 + a3 * 0.0035;
  const double s3 = a5 * 0.008 + a7 * 0.1 + a6 * 0.14 + a4 * 0.0007 + a3 * 0.05;
  Channels out;
  out.red = 100 + B * s2;
  out.blue = 100 + B * s1;
  out.green = 100 + B * s3;
  return out;
}

RenderOutcome numb(RenderHost& host) { return renderPattern<Nitegale>(host); }

}  // namespace plorvex
