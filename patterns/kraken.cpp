// SPDX-License-Identifier: GPL-3.0-or-later
#include "kraken.h"

#include <cmath>

#include "renderer.h"

namespace plorvex {

Intake<Kate::Params> Kate::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) * 1.8;
  in.params.brightness = read(Field::Five);
  return in;
}

Channels Kate::pixel(const Params& p, double i, double j, double&) {
  using maths::cos, maths::sin, maths::tan;
  const double Zk = p.zoom, B = p.brightness;
  const double u = (K * (i / 200)) * Zk;
  const double v = (K * (j / 200)) * Zk;
  const double w = ((K * (i / 200)) / (0.000123 + K * (j / 200))) * Zk;
  const double a1 = cos(w * sin((u - v) * (v + u)));
  const double a2 = std::fabs(a1 - tan(sin(v * u + cos(u - cos(u * a1)) / (w + 0.001))));
  const double a3 = cos(a1 * sin(v + cos(u * cos(u / (a2 + 0.000123)) +
                                         cos(a1 + sin(v - sin(a1 - cos(u)))))));
  const double a4 =
      sin(u - v) * cos(v / (a2 + a3 + 0.000123) * (a2 * sin(v) * u * cos(u + v * cos(a3))));
  const double s1 = a4 * 0.3 + a3 * 0.4 + a2 * 0.5 + a1 * 0.3;
  const double s2 = a4 * 0.1 + a3 * 0.2 + a2 * 0.1 + a1 * 0.2;
  const double s3 = a4 * 0.5 + a3 * 0.1 + a2 * 0.2 + a1 * 0.1;
  Channels out;
  out.red = 0 + B * s1;
  out.blue = 0 + B * s3;
  out.green = 0 + B * s2;
  return out;
}

RenderOutcome kraken(RenderHost& host) { return renderPattern<Kate>(host); }

}  // namespace plorvex
