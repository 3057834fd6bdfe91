// SPDX-License-Identifier: GPL-3.0-or-later
#include "celt.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Canut::Params> Canut::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = shiftedSweep(read);
  in.params.zoom = read(Field::Four) * 3;
  in.params.brightness = read(Field::Five) * 3;
  return in;
}

template <class R>
ChannelsOf<R> Canut::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = p.zoom, B = p.brightness;
  const R a1 = (K * (j / 200)) * Z;
  const R a2 = (K * (i / 200)) * Z;
  const R t1 = power(tan(a1 * sin(a2 - (a1 / 3))), 2);
  const R t2 = sin(a2 + cos((a1 / 2) * cos((a1 - t1) + cos(a1 + sin(a2 * sin(a2 - cos(t1 / 17)))))));
  const R t3 = sin((a1 - t1) + (cos(((a2 - a1) + sin((a2 + t1) + cos(a1 + a2))) - sin(t2)) /
                                     sin((t2 + t1) + 0.000123)));
  const R t4 = power(fabs(t3 * (t2 + K)), 1.0 / 2);
  const R t5 =
      sin(t2 * cos(t3 * cos((t4 - t3) + cos(t3 - sin(((t3 * t4) * sin(t3)) / cos(t2 + 0.000123))))));
  const R t6 = sin(t3 - (t2 * cos(((a2 - t4) + sin(t4 + a1)) + cos(a1 + t2))));
  const R t7 = power(fabs(t1), 0.5);
  const R c1 = t4 * 0.041 + t7 * 0.03 + t6 * 0.02 + t5 * 0.11 + t3 * 0.21 + t2 * 0.0241;
  const R c2 =
      t4 * 0.000025 + t7 * 0.07 + t6 * 0.0015 + t5 * 0.0003 + t3 * 0.07121 + t2 * 0.04221;
  const R c3 = t4 * 0.034 + t7 * 0.1 + t6 * 0.05 + t5 * 0.4012 + t3 * 0.0181 + t2 * 0.021;
  ChannelsOf<R> out;
  out.red = 100 + B * c3;
  out.blue = 100 + B * c1;
  out.green = 100 + B * c2;
  return out;
}

Channels Canut::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Canut::at(const Params& p, Lanes i, Lanes j);

RenderOutcome celt(RenderHost& host) { return renderPattern<Canut>(host); }

}  // namespace plorvex
