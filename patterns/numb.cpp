// SPDX-License-Identifier: GPL-3.0-or-later
#include "numb.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Nitegale::Params> Nitegale::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
Nitegale::PreparedAt<R> Nitegale::prepare(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = p.zoom;
  const R v = 0.5 + K * (j / 200) * Z;
  const R u = 0.5 + K * (i / 200) * Z;
  const R w = ((K * (i / 200)) / ((0.000123 + K * (j / 200)) - 0.5)) * Z;
  const R a1 = sin(u * cos(v * cos(v / (u + 0.000123)) +
                                sin(v + sin(u * fabs(u - cos(sin(v)))))));
  const R a2 = sin(v - u + cos(u / (v + 0.000123) * sin(a1 + sin(u + v + cos(v + u)))));
  // a1 - a1 is evaluated as written (it is not 0 for an infinite a1).
  const R a4 = sin(a1 - a2) - cos(1.235 + w) + tan(v) * a1 -
                    cos(w * a1 * cos(a2 * a1 * sin(a1 * sin(a1 - a1))));
  PreparedAt<R> x;
  x.a1 = a1;
  x.a2 = a2;
  x.a3 = power(fabs(a2 + a1), 0.5);
  x.a4 = a4;
  x.a5Inner = sin(a1 * (cos(a4 + tan(a1 * a2)) - cos(a4 * a2)));
  x.a6 = cos(sin(a4 - w + cos(w - sin(a4 + w + cos(a4)))));
  return x;
}

template Nitegale::PreparedAt<double> Nitegale::prepare(const Params& p, double i, double j);
template Nitegale::PreparedAt<Lanes> Nitegale::prepare(const Params& p, Lanes i, Lanes j);

Channels Nitegale::complete(const Params& p, const Prepared& x, double& carried) {
  using maths::cos, maths::sin;
  const double B = p.brightness;
  const double a3 = x.a3, a4 = x.a4, a6 = x.a6;
  // a5 = sin(a2 * cos(a1 + sin(a5old + sin(a1 * (cos(a4 + tan(a1 * a2)) - cos(a4 * a2))))))
  const double a5old = carried;
  const double a5 = sin(x.a2 * cos(x.a1 + sin(a5old + x.a5Inner)));
  carried = a5;
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
