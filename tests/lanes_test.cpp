// SPDX-License-Identifier: GPL-3.0-or-later
// Four samples side by side are four single samples: every pattern that
// computes four at a time gives, lane by lane, the bits of its one-sample
// formulas, for ordinary views and for arguments far out (the long range
// reductions, overflows and invalid results included).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>

#include "Tame.h"
#include "aries.h"
#include "blood.h"
#include "celt.h"
#include "eeee.h"
#include "fun.h"
#include "grin.h"
#include "headless.h"
#include "hix.h"
#include "ice.h"
#include "joke.h"
#include "kraken.h"
#include "lanes.h"
#include "ooh.h"
#include "pixel_kernels.h"
#include "qwin.h"
#include "ripple.h"
#include "sizZle.h"

namespace plorvex {
namespace {

using FourAtATime = std::tuple<Atlas, Bobcat, Canut, Entropy, Frazzle, Griffin, Helios, Icey, Jolli, Kate,
                               Ombud, Quaff, Ripple, Sizzle, Tracer>;

bool sameBits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// The number of lanes, of `count` groups of four, whose channels differ from
// the one-sample pixel's; the first such sample in `first`.
template <class P>
int differingLanes(const FieldTexts& texts, double spread, int count, std::string& first) {
  static_assert(computesLanes<P>());
  HeadlessHost host(texts);
  Intake<typename P::Params> intake;
  if (takeIntake<P>(host, intake) != Fault::None) return 0;
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> coordinate(-spread, spread);
  int differing = 0;
  for (int group = 0; group < count; ++group) {
    const double i = coordinate(random);
    Lanes j;
    for (double& row : j.v) row = coordinate(random);
    const ChannelsOf<Lanes> four = P::at(intake.params, broadcast(i), j);
    for (int lane = 0; lane < 4; ++lane) {
      double carried = 0;
      const Channels one = P::pixel(intake.params, i, j.v[lane], carried);
      if (sameBits(one.red, four.red.v[lane]) && sameBits(one.green, four.green.v[lane]) &&
          sameBits(one.blue, four.blue.v[lane]))
        continue;
      if (differing++ == 0) first = "i = " + std::to_string(i) + ", j = " + std::to_string(j.v[lane]);
    }
  }
  return differing;
}

TEST(FourSamplesAtATime, AreFourSingleSamplesForEveryPatternThatComputesThem) {
  struct Case {
    const char* what;
    FieldTexts texts;
    double spread;  // the counters drawn from -spread .. spread
  };
  const Case cases[] = {
      {"start-up view", {"1", "1", "150", "1", "150"}, 800},
      {"size 768, zoom 0.15", {"1", "1", "768", "0.15", "150"}, 1200},
      {"zoomed far out, negative brightness", {"-50", "20", "300", "40", "-90"}, 1e5},
      {"huge arguments", {"1", "1", "150", "1E+200", "150"}, 1e9},
  };
  for (const Case& c : cases) {
    std::apply(
        [&](auto... pattern) {
          (
              [&](auto p) {
                using P = decltype(p);
                std::string first;
                EXPECT_EQ(differingLanes<P>(c.texts, c.spread, 2000, first), 0)
                    << typeid(P).name() << ", " << c.what << ": first at " << first;
              }(pattern),
              ...);
        },
        FourAtATime{});
  }
}

}  // namespace
}  // namespace plorvex
