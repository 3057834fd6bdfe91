// SPDX-License-Identifier: GPL-3.0-or-later
// Four samples side by side are four single samples: every pattern that
// computes four at a time gives, lane by lane, the bits of its one-sample
// formulas (the halves before the carried value, for the patterns that carry
// one), for ordinary views and for arguments far out (the long range
// reductions, overflows and invalid results included).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "Punk.h"
#include "Tame.h"
#include "aries.h"
#include "blood.h"
#include "celt.h"
#include "dune.h"
#include "eeee.h"
#include "fun.h"
#include "grin.h"
#include "headless.h"
#include "hix.h"
#include "ice.h"
#include "joke.h"
#include "kraken.h"
#include "lanes.h"
#include "limbo.h"
#include "numb.h"
#include "ooh.h"
#include "pixel_kernels.h"
#include "qwin.h"
#include "ripple.h"
#include "sizZle.h"

namespace plorvex {
namespace {

using PreparedFourAtATime = std::tuple<Dada, Lazy, Nitegale, Pluck>;

using FourAtATime = std::tuple<Atlas, Bobcat, Canut, Entropy, Frazzle, Griffin, Helios, Icey, Jolli, Kate,
                               Ombud, Quaff, Ripple, Sizzle, Tracer>;

bool sameBits(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// Whether two structs of doubles hold the same bits, field by field.
template <class T>
bool sameFields(const T& a, const T& b) {
  constexpr std::size_t fields = sizeof(T) / sizeof(double);
  const auto x = std::bit_cast<std::array<double, fields>>(a);
  const auto y = std::bit_cast<std::array<double, fields>>(b);
  for (std::size_t k = 0; k < fields; ++k)
    if (!sameBits(x[k], y[k])) return false;
  return true;
}

// The number of lanes, of `count` groups of four, whose result differs from
// the one-sample one: the pixel's channels, or for a pattern that carries a
// value, the prepared half. The first such sample in `first`.
template <class P>
int differingLanes(const FieldTexts& texts, double spread, int count, std::string& first) {
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
    for (int lane = 0; lane < 4; ++lane) {
      bool same;
      if constexpr (preparesLanes<P>()) {
        const auto four = P::prepare(intake.params, broadcast(i), j);
        same = sameFields(laneOf<typename P::Prepared>(four, lane), P::prepare(intake.params, i, j.v[lane]));
      } else {
        static_assert(computesLanes<P>());
        const ChannelsOf<Lanes> four = P::at(intake.params, broadcast(i), j);
        double carried = 0;
        same = sameFields(laneOf<Channels>(four, lane), P::pixel(intake.params, i, j.v[lane], carried));
      }
      if (!same && differing++ == 0) first = "i = " + std::to_string(i) + ", j = " + std::to_string(j.v[lane]);
    }
  }
  return differing;
}

// Calls check(P{}) for every pattern that computes four samples at a time,
// whole or up to its carried value.
template <class Check>
void forEveryPatternFourAtATime(Check&& check) {
  std::apply([&](auto... pattern) { (check(pattern), ...); }, std::tuple_cat(FourAtATime{}, PreparedFourAtATime{}));
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
    forEveryPatternFourAtATime([&](auto p) {
      using P = decltype(p);
      std::string first;
      EXPECT_EQ(differingLanes<P>(c.texts, c.spread, 2000, first), 0)
          << typeid(P).name() << ", " << c.what << ": first at " << first;
    });
  }
}

// With several samples a pixel, spans computed four samples at a time (groups
// that straddle pixels, and the last few one by one) are the same colours,
// carried values and faults as spans made sample by sample: for every pattern,
// at densities and smoothings whose sample counts are not multiples of four.
template <class P>
int differingSampledSpans(const FieldTexts& texts, Sampling sampling, bool preparedFirst,
                          std::string& first) {
  HeadlessHost host(texts);
  host.samplingToUse = sampling;
  Intake<typename P::Params> intake;
  SweepPlan plan;
  if (takeIntake<P>(host, intake) != Fault::None ||
      planSweep(intake.sweep, host.pictureLimits(), plan, host.sampling()) != Fault::None)
    return -1;
  const std::size_t pixels = plan.pixelsPerColumn();
  std::vector<Colour> byFour(pixels), oneByOne(pixels);
  std::vector<Prepared<P>> prepared(pixels * sampling.samplesPerPixel());
  double carriedByFour = 0.25, carriedOneByOne = 0.25;
  int differing = 0;
  for (std::size_t column = 0; column < plan.columns.size(); column += 7) {
    // A span from a row that no multiple of four reaches, to the column's end.
    const PixelSpan span{column, 3, pixels - 3};
    ColumnResult four;
    if (preparedFirst) {
      const bool clean = prepareSpan<P>(intake.params, plan, span, prepared.data());
      four = completeSpan<P>(intake.params, plan, span, prepared.data(), clean, carriedByFour, byFour.data());
    } else {
      four = computeSpan<P>(intake.params, plan, span, carriedByFour, byFour.data());
    }
    const ColumnResult one =
        computeSpanSampleBySample<P>(intake.params, plan, span, carriedOneByOne, oneByOne.data());
    const bool same = four.computed == one.computed && four.fault == one.fault &&
                      sameBits(four.faultI, one.faultI) && sameBits(four.faultJ, one.faultJ) &&
                      sameBits(carriedByFour, carriedOneByOne) &&
                      std::equal(byFour.begin(), byFour.begin() + static_cast<long>(one.computed), oneByOne.begin());
    if (!same && differing++ == 0) first = "column " + std::to_string(column);
  }
  return differing;
}

TEST(FourSamplesAtATime, SampledSpansAreTheSampleBySampleOnes) {
  struct Case {
    const char* what;
    FieldTexts texts;
    Sampling sampling;
  };
  const Case cases[] = {
      {"start-up view at size 24, density 2, smoothing 3", {"1", "1", "24", "1", "150"}, {2, 3}},
      {"size 30, density 3, smoothing 1", {"1", "1", "30", "0.15", "150"}, {3, 1}},
      {"zoomed far out, density 1, smoothing 5", {"-50", "20", "20", "40", "-90"}, {1, 5}},
      {"huge arguments, density 2, smoothing 2", {"1", "1", "20", "1E+200", "150"}, {2, 2}},
  };
  for (const Case& c : cases) {
    forEveryPatternFourAtATime([&](auto p) {
      using P = decltype(p);
      // The workers prepare the spans of the patterns that carry a value, then
      // complete them in order; one thread computes them as the others.
      for (const bool preparedFirst : {false, carriesValue<P>()}) {
        std::string first;
        EXPECT_EQ(differingSampledSpans<P>(c.texts, c.sampling, preparedFirst, first), 0)
            << typeid(P).name() << ", " << c.what << (preparedFirst ? ", prepared first" : "")
            << ": first at " << first;
      }
    });
  }
}

}  // namespace
}  // namespace plorvex
