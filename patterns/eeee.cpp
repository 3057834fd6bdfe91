// SPDX-License-Identifier: GPL-3.0-or-later
#include "eeee.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Entropy::Params> Entropy::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = halfSizeCentredSweep(read);
  const double zoomFirst = read(Field::Four);
  in.params.zoom = zoomFirst + read(Field::Four);
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Entropy::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Z = p.zoom, B = p.brightness;
  const R a1 = (K * (j / 200)) * Z;
  const R a2 = (K * (i / 200)) * Z;
  const R a3 = (K * ((i / 200) / (0.000123 + K * (j / 200)))) * Z;
  const R t1 = sin(a2 * cos(a1 * cos(a1 / (a2 + 0.000123))));
  const R t2 = cos(a1 / (a2 + 0.000123));
  const R t3 = sin(a1 * a2 + cos(a2 / (a1 + 0.000123))) + sin((a2 + a1) + cos(a1 + a2));
  const R t4 = sin(a2) + cos(a3 * tan(a3 * sin(a2 - cos(a1))));
  const R t5 = sin(a2 / (a1 + 0.000123));
  const R t6 = fabs(t2 * sin(a1 * tan(cos(a2 * sin(power(a2 * a1, 2))))));
  const R t7 = sin(t2 * sin(a1 - a2 * fabs(a2 * sin(a1 * sin((a2 * a1) * fabs(a1 + a2))))));
  const R t8 =
      fabs(t5 * (a2 + 0.000123 * fabs((t2 - t5) + sin(t5 / (a1 + 0.000123)) + (t4 + 0.000123))));
  const R t9 = sin((t5 / (t8 + 0.000123)) *
                        cos(((t7 * t1) * sin(t7 / (a1 + 0.000123))) * cos(a1 / (t8 + 0.000123))));
  // The third term of each sum is always t2, but its quotient t2 / t3 is still
  // divided out, so a pixel with t3 = 0 faults.
  const R c1 = t6 * 0.3131 + t9 * 0.52 + t2 * cos(0 * (cos(t2) * cos(t2 / t3))) * 0.613;
  const R c2 = t6 * 0.1 + t9 * 0.25131 + t2 * cos(0 * (cos(t2) * cos(t2 / t3))) * 0.49251;
  const R c3 = t6 * 0.7152 + t9 * 0.305 + t2 * cos(0 * (cos(t2) * cos(t2 / t3))) * 0.308;
  ChannelsOf<R> out;
  out.red = 100 + B * c3;
  out.blue = 100 + B * c2;
  out.green = 100 + B * c1;
  return out;
}

Channels Entropy::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Entropy::at(const Params& p, Lanes i, Lanes j);

RenderOutcome eeee(RenderHost& host) { return renderPattern<Entropy>(host); }

}  // namespace plorvex
