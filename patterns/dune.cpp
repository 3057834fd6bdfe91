// SPDX-License-Identifier: GPL-3.0-or-later
#include "dune.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Dada::Params> Dada::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read, -333, -333);
  // The zoom and brightness fields are each read twice and added to themselves.
  const double zoomFirst = read(Field::Four);
  in.params.zoom = zoomFirst + read(Field::Four);
  const double brightnessFirst = read(Field::Five);
  in.params.brightness = brightnessFirst + read(Field::Five);
  return in;
}

template <class R>
Dada::PreparedAt<R> Dada::prepare(const Params& p, R i, R j) {
  using maths::cos, maths::tan;
  const double Z = p.zoom;
  const R a1 = (K * (j / 200)) * Z;
  const R a2 = (K * (i / 200)) * Z;
  const R a3 = (K * ((i / 200) / (0.000123 + K * (j / 200)))) * Z;
  const R q = cos(a1 / (a2 + 0.000123)) / 0.1 + cos(a3 * tan(a3 * tan(a2 - cos(a1))));
  PreparedAt<R> x;
  x.t1 = tan(a3 * a2) * cos(a1 - q);
  x.t2 = tan(a1 - (a2 * cos(a2 - (a1 + 0.000123))) * tan(a2 + a1 * cos(a1 + a2)));
  return x;
}

template Dada::PreparedAt<double> Dada::prepare(const Params& p, double i, double j);
template Dada::PreparedAt<Lanes> Dada::prepare(const Params& p, Lanes i, Lanes j);

Channels Dada::complete(const Params& p, const Prepared& x, double& carried) {
  const double B = p.brightness;
  const double t1 = x.t1, t2 = x.t2;
  // The previous pixel's t3 (0 at the first pixel of a render) feeds this one's.
  const double t3 = power(std::fabs(t1 - (carried + K)), 0.27);
  carried = t3;
  const double c1 = t1 * 0.2 + t2 * 0.000001 + t3 * 0.03;
  const double c2 = t1 * 0.1 + t2 * 0.2 + t3 * 0.00000004;
  const double c3 = t1 * 0.000005 + t2 * 0.6 + t3 * 0.05;
  Channels out;
  out.red = 100 + B * c1;
  out.blue = 100 + B * c3;
  out.green = 100 + B * c2;
  return out;
}

RenderOutcome dune(RenderHost& host) { return renderPattern<Dada>(host); }

}  // namespace plorvex
