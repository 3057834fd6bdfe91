// SPDX-License-Identifier: GPL-3.0-or-later
#include "kraken.h"

#include <cmath>

#include "lanes.h"
#include "renderer.h"

namespace plorvex {

Intake<Kate::Params> Kate::intake(const FieldReader& read) {
  Intake<Params> in;
  in.sweep = centredSweep(read);
  in.params.zoom = read(Field::Four) * 1.8;
  in.params.brightness = read(Field::Five);
  return in;
}

template <class R>
ChannelsOf<R> Kate::at(const Params& p, R i, R j) {
  using maths::cos, maths::sin, maths::tan, std::fabs;
  const double Zk = p.zoom, B = p.brightness;
  const R u = (K * (i / 200)) * Zk;
  const R v = (K * (j / 200)) * Zk;
  const R w = ((K * (i / 200)) / (0.000123 + K * (j / 200))) * Zk;
  const R a1 = cos(w * sin((u - v) * (v + u)));
  const R a2 = fabs(a1 - tan(sin(v * u + cos(u - cos(u * a1)) / (w + 0.001))));
  const R a3 = cos(a1 * sin(v + cos(u * cos(u / (a2 + 0.000123)) +
                                         cos(a1 + sin(v - sin(a1 - cos(u)))))));
  const R a4 =
      sin(u - v) * cos(v / (a2 + a3 + 0.000123) * (a2 * sin(v) * u * cos(u + v * cos(a3))));
  const R s1 = a4 * 0.3 + a3 * 0.4 + a2 * 0.5 + a1 * 0.3;
  const R s2 = a4 * 0.1 + a3 * 0.2 + a2 * 0.1 + a1 * 0.2;
  const R s3 = a4 * 0.5 + a3 * 0.1 + a2 * 0.2 + a1 * 0.1;
  ChannelsOf<R> out;
  out.red = 0 + B * s1;
  out.blue = 0 + B * s3;
  out.green = 0 + B * s2;
  return out;
}

Channels Kate::pixel(const Params& p, double i, double j, double&) { return at(p, i, j); }

template ChannelsOf<Lanes> Kate::at(const Params& p, Lanes i, Lanes j);

RenderOutcome kraken(RenderHost& host) { return renderPattern<Kate>(host); }

}  // namespace plorvex
