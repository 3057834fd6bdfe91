// SPDX-License-Identifier: GPL-3.0-or-later
#include "Punk.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Pluck::Params> Pluck::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
Pluck::PreparedAt<R> Pluck::prepare(const Params& par, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = par.zoom;
  const R q = 0.5 + (K * (j / 200)) * Z;
  const R p = 0.5 + (K * (i / 200)) * Z;
  const R d = (K * (i / 200)) / ((0.000123 + K * (j / 200)) - 0.5);
  const R a1 = sin((q * cos(p)) * sin(p * q));
  const R a2 = sin((p - a1) - sin(q - p * cos(q * sin(p * cos(p * q)))));
  const R a3 = sin(a2 - sin(((p * q) + cos(q)) - cos(q * a2)));
  const R a4 =
      fabs(tan(q - p)) * cos(p / ((a3 + 0.000123) + (a3 * sin(p + q)) * cos(q + p)));
  const R a5 =
      cos((a1 - sin(a2 * cos(a3 - cos(a4)))) + cos(a1 - sin(a2 - sin(a3) * cos(a4))));
  const R a6 = ((sin(d - 1.5) - cos(1.235 + d)) + cos(q) * d) -
                    sin(d * a5) * cos((q - p) * cos(((a5 * d) * sin(p * sin(d))) - cos(d * a5)));
  PreparedAt<R> x;
  x.q = q;
  x.p = p;
  x.a5 = a5;
  x.a6 = a6;
  x.mInner = cos(q) * a5 + cos(p * (cos(a6 + sin(p * d)) * sin((a6 * a5) - cos(a6 * q))));
  x.a7 = cos(a5 + sin((a6 - d) + cos((d - a6 * a5) + sin((a6 + d) + cos((d * a5) + a6)))));
  return x;
}

template Pluck::PreparedAt<double> Pluck::prepare(const Params& par, double i, double j);
template Pluck::PreparedAt<Lanes> Pluck::prepare(const Params& par, Lanes i, Lanes j);

Channels Pluck::complete(const Params& par, const Prepared& x, double& carried) {
  using maths::cos;
  const double B = par.brightness;
  const double a5 = x.a5, a6 = x.a6, a7 = x.a7;
  // m = cos(q * cos(p + cos(mOld * (cos(q) * a5 + cos(p * (...)))))) - 0.1
  const double mOld = carried;
  const double m = cos(x.q * cos(x.p + cos(mOld * x.mInner))) - 0.1;
  carried = m;
  const double a8 = std::fabs(a6 / (m + 0.000123)) / 4;
  const double s1 = m * 0.31 + a8 * 0.53 + a7 * 0.91 + a5 * 0.15;
  const double s2 = m * 0.11 + a8 * 0.21 + a7 * 0.41 + a5 * 0.81;
  const double s3 = m * 0.08 + a8 * 0.12 + a7 * 0.04 + a5 * 1.11;
  Channels out;
  out.red = 100 + (B * s3) / 2;
  out.blue = 100 + (B * s1) / 2;
  out.green = 100 + (B * s2) / 2;
  return out;
}

RenderOutcome Punk(RenderHost& host) { return renderPattern<Pluck>(host); }

}  // namespace plorvex
