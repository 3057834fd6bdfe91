// SPDX-License-Identifier: GPL-3.0-or-later
#include "limbo.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Lazy::Params> Lazy::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
Lazy::PreparedAt<R> Lazy::prepare(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan;
  const double Z = p.zoom;
  PreparedAt<R> x;
  const R v = 0.5 + K * (j / 200) * Z;
  const R u = 0.5 + K * (i / 200) * Z;
  const R w = K * cos(i / 200) * sin(0.000123 + K * (j / 200) - 0.5) * Z;
  const R a1 =
      cos(w - sin(w * cos(v * u)) - sin(u * v) - cos(w * v)) - sin(u - sin(w * u) * tan(w));
  const R a2 = sin(w - 1.5) - cos(1.235 + w) + tan(v) * w -
                    sin(w * a1) * cos((v - u) * cos(a1 * w * sin(u * sin(w)) - cos(w * a1)));
  x.v = v;
  x.u = u;
  x.a1 = a1;
  x.a2 = a2;
  x.a4 = cos(a1 + sin(a2 - w + cos(w - a2 * a1 + sin(a2 + w + cos(w * a1 + a2)))));
  x.cosV = cos(v);
  x.tanU = tan(u);
  x.a3Factor = sin(a2 * a1 - cos(a2 * v)) * cos(a2 + sin(u * w));
  return x;
}

template Lazy::PreparedAt<double> Lazy::prepare(const Params& p, double i, double j);
template Lazy::PreparedAt<Lanes> Lazy::prepare(const Params& p, Lanes i, Lanes j);

double Lazy::chain(const Params&, const Prepared& x, double& carried) {
  using maths::cos, maths::tan;
  // a3 = sin(a2 * a1 - cos(a2 * v)) * cos(a2 + sin(u * w)) *
  //      tan(v * cos(u + tan(a3old * cos(v)) * a1 + tan(u))) - 0.1
  const double a3old = carried;
  const double a3 = x.a3Factor * tan(x.v * cos(x.u + tan(a3old * x.cosV) * x.a1 + x.tanU)) - 0.1;
  carried = a3;
  return a3;
}

template <class R>
ChannelsOf<R> Lazy::finish(const Params& p, const PreparedAt<R>& x, R a3) {
  using std::fabs;
  const double B = p.brightness;
  const R a1 = x.a1, a2 = x.a2, a4 = x.a4;
  const R a5 = power(fabs(a2 / (a3 + 0.000123)), 1.0 / 3);
  const R s1 = a3 * 0.31 + a5 * 0.53 + a4 * 0.91 + a1 * 0.15;
  const R s2 = a3 * 0.11 + a5 * 0.21 + a4 * 0.41 + a1 * 0.81;
  const R s3 = a3 * 0.08 + a5 * 0.12 + a4 * 0.04 + a1 * 1.11;
  ChannelsOf<R> out;
  out.red = 100 + B * s1 / 2;
  out.blue = 100 + B * s3 / 2;
  out.green = 100 + B * s2 / 2;
  return out;
}

template ChannelsOf<double> Lazy::finish(const Params& p, const PreparedAt<double>& x, double a3);
template ChannelsOf<Lanes> Lazy::finish(const Params& p, const PreparedAt<Lanes>& x, Lanes a3);

Channels Lazy::complete(const Params& p, const Prepared& x, double& carried) {
  const double a3 = chain(p, x, carried);
  return finish<double>(p, x, a3);
}

RenderOutcome limbo(RenderHost& host) { return renderPattern<Lazy>(host); }

}  // namespace plorvex
