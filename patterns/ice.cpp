// SPDX-License-Identifier: GPL-3.0-or-later
#include "ice.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Icey::Params> Icey::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) / 2;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Icey::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Zh = p.zoom, B = p.brightness;
  const R u = K * (i / 200) * Zh;
  const R v = K * (j / 200) * Zh;
  // Unzoomed: the picture keeps varying even at zoom 0.
  const R w = (K * (i / 200)) / (0.000123 + K * (j / 200));
  const R a1 =
      sin(v - u - cos(u * cos(u - sin(v * sin(v)))) * cos(u * sin(v * sin(v - cos(u - v))))) + 0.2;
  const R a2 =
      cos(0.1 + w - sin((v + cos(a1 * cos(u - v))) + (cos(a1) + sin(v * sin(a1) - sin(a1 + u))))) -
      0.2;
  const R a3 =
      tan(a2) * (cos(u / (a2 + 0.000123) * cos(u * sin(v * sin(v * cos(u))))) * sin(v * cos(u)));
  const R a4 =
      fabs(sin(u - v * cos(v / (u + 0.000123 + a2 * sin(v + u) * cos(u + v) * cos(a2)))));
  const R a5 = sin(power(fabs(a2 / (a4 + K)), 0.5));
  const R a6 = tan(cos(w - sin(w * cos(a4 * a3 - cos(w * a5))) - sin(a5 * u) -
                            cos(w * a3 - sin(a4 - sin(w * v) * tan(w * a3)))));
  const R a7 =
      sin(tan(a5 + cos(a1 * (cos(a5 - a3) + (sin(a3 * sin(a5) - cos(a3 + a5)) + cos(a4))))));
  const R a8 = fabs(a4 / (a6 + 0.000123));
  const R a9 =
      sin(v * a3 + tan(u)) * cos(a1 - a2 + cos(u) + sin(a4 * sin(a5) - cos(a8)));
  const R a10 =
      sin(tan(a5 + cos(a9 * (cos(a6 - v) + (sin(a2 * sin(a9) - cos(a1 + a8)) + cos(a1))))));
  const R a11 = cos(tan(a4 - a9 + cos(a1 - a4 + sin(a7 + a8) + cos(a8 + a7))));
  const R a12 = tan(a10) * ((sin(a11) + cos(u)) * sin(v) +
                                 cos(a10 / (a11 + 0.000123)) * sin(v + cos(u)) - cos(a11));
  const R a13 = fabs(sin(a9 - a10) * cos(v / (a11 + 0.000123)) +
                          a7 * sin(v + u) * cos(a8 + a6) * tan(a11));
  const R a14 = sin(power(fabs(a13 / (a12 + K)), 0.5));
  const R mR = a13 * 0.13 + a12 * 0.1 + a14 * 0.12 + a9 * 0.01 + a10 * 0.1 + a11 * 0.23;
  const R mG = a13 * 0.03 + a12 * 0.03 + a14 * 0.02 + a9 * 0.05 + a10 * 0.02 + a11 * 0.15;
  const R mB = a13 * 0.19 + a12 * 0.18 + a14 * 0.213 + a9 * 0.07 + a10 * 0.19 + a11 * 0.05;
  ChannelsOf<R> out;
  out.red = B * mR * 3;
  out.blue = B * mB * 3;
  out.green = B * mG * 3;
  return out;
}

Channels Icey::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Icey::at(const Params& p, Lanes i, Lanes j);

RenderOutcome ice(RenderHost& host) { return renderPattern<Icey>(host); }

}  // namespace plorvex
