// SPDX-License-Identifier: GPL-3.0-or-later
#include "grin.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Griffin::Params> Griffin::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Griffin::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = p.zoom, B = p.brightness;
  const R a2 = ((K * (i / 200)) * Z) * 2;
  const R a1 = ((K * (j / 200)) * Z) * 2;
  const R a3 = (((K * (i / 200)) / (0.000123 + K * (j / 200))) * Z) * 2;
  const R t1 =
      sin(a3 * a2 - sin(a1 - (a3 + 0.000456) * cos(a2 * sin(a3 - (a1 + 0.000123) * sin(a2 * a3)))));
  const R t2 = cos(a2 - (0.000123 + a1) * sin(a3 * cos((((t1 - a2 * 3) - a1) - 3) - a3)));
  const R t3 = sin(t1 * sin(t2 * cos(a1 * t1 - cos(t2 * a2))));
  const R t4 =
      tan(a2 - a1 * cos(a1 - (((t1 + t2) - sin((a1 + a2) - cos(a2 + a1))) - sin(0 - t2))));
  const R t5 = sin(power(fabs(t2 - (t3 + K)), 0.25));
  const R c1 = t4 * 0.17 + t3 * 0.1 + t5 * 0.12 + t2 * 0.13 + t1 * 0.2;
  const R c2 = t4 * 0.2 + t3 * 0.3 + t5 * 0.1 + t2 * 0.125 + t1 * 0.3;
  const R c3 = t4 * 0.1 + t3 * 0.12 + t5 * 0.01413 + t2 * 0.14 + t1 * 0;
  ChannelsOf<R> out;
  out.red = 0 + (B * c3) * 4;
  out.blue = 0 + (B * c1) * 4;
  out.green = 0 + (B * c2) * 4;
  return out;
}

Channels Griffin::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Griffin::at(const Params& p, Lanes i, Lanes j);

RenderOutcome grin(RenderHost& host) { return renderPattern<Griffin>(host); }

}  // namespace plorvex
