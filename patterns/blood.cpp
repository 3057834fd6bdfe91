// SPDX-License-Identifier: GPL-3.0-or-later
#include "blood.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Bobcat::Params> Bobcat::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read, -500);
  in.params.zoom = read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Bobcat::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = p.zoom, B = p.brightness;
  const R a1 = (K * (j / 200)) * Z;
  const R a2 = (K * (i / 200)) * Z;
  const R t1 =
      cos(a1 * cos(a1 - ((a2 * (cos(a1) + sin((a2 / 0.1) + tan(a2)))) * sin(a1 - cos(a1 * a2)))));
  const R t2 = sin(a1 - ((a2 * cos(a2 - (a1 * sin(a2 + a1)))) * (cos(a1 + a2) + 0.000123)));
  const R t3 =
      tan((a2 - ((sin(t1 + cos(t2 * tan(t1 - t2))) * (cos(t2) + (sin(t2) * t1))) * tan(t1 * t1))) -
          tan(t1 - t2));
  const R t4 = tan(a2 * sin((t1 - a2) + cos(((a2 - t2) + sin(t2 + a1)) + cos(a1 + t1))));
  const R t5 = sin(power(fabs(t3 + (t4 / (t4 + 0.000123))), 1.0 / 17));
  const R c1 = t4 * 0.063 + t3 * 0.1 + t5 * 0.072 + t2 * 0.03 + t1 * 0.052;
  const R c2 = t4 * 0.2932 + t3 * 0.216143 + t5 * 0.321 + t2 * 0.15 + t1 * 0.6;
  const R c3 = t4 * 0.21 + t3 * 0.12 + t5 * 0.15 + t2 * 0.1 + t1 * 0.3;
  ChannelsOf<R> out;
  out.red = 100 + B * c2;
  out.blue = 100 + B * c1;
  out.green = 100 + B * c3;
  return out;
}

Channels Bobcat::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Bobcat::at(const Params& p, Lanes i, Lanes j);

RenderOutcome blood(RenderHost& host) { return renderPattern<Bobcat>(host); }

}  // namespace plorvex
