// SPDX-License-Identifier: GPL-3.0-or-later
// Columns computed ahead by worker threads give exactly the pictures, yields,
// halts and faults of the frame that computes every column itself.

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <random>
#include <string>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"
#include "renderer.h"
#include "val.h"

namespace plorvex {
namespace {

struct RenderRun {
  RenderOutcome outcome;
  std::vector<Colour> canvas;
  std::size_t yields = 0;
};

// Renders with or without workers; haltAt > 0 sets "p" at that yield, and
// nestAt > 0 starts a second pattern's render inside that yield.
RenderRun render(const PatternEntry& pattern, const FieldTexts& fields, ColumnPool* pool,
           std::size_t haltAt = 0, std::size_t nestAt = 0, const PatternEntry* nested = nullptr,
           Sampling sampling = {}) {
  HeadlessHost host(fields);
  host.pool = pool;
  host.samplingToUse = sampling;
  bool nestedDone = false;
  host.onYield = [&](std::size_t yields) {
    if (yields == haltAt) host.halt = "p";
    if (yields == nestAt && !nestedDone) {
      nestedDone = true;
      host.halt.clear();
      nested->render(host);
    }
  };
  RenderRun run;
  run.outcome = pattern.render(host);
  run.yields = host.yields();
  for (int y = 0; y < host.height(); ++y)
    for (int x = 0; x < host.width(); ++x) run.canvas.push_back(host.pixel(x, y));
  return run;
}

void expectSame(const RenderRun& single, const RenderRun& pooled, const std::string& what) {
  EXPECT_EQ(single.outcome.end, pooled.outcome.end) << what;
  EXPECT_EQ(single.outcome.fault, pooled.outcome.fault) << what;
  EXPECT_EQ(single.outcome.columnsPainted, pooled.outcome.columnsPainted) << what;
  EXPECT_EQ(single.outcome.faultColumn, pooled.outcome.faultColumn) << what;
  EXPECT_EQ(single.outcome.faultRow, pooled.outcome.faultRow) << what;
  EXPECT_EQ(single.yields, pooled.yields) << what;
  EXPECT_TRUE(single.canvas == pooled.canvas) << what << ": pictures differ";
}

std::vector<FieldTexts> parameterSets() {
  std::vector<FieldTexts> sets{
      {"1", "1", "40", "1", "150"},      {"0", "0", "33", "0.3", "37"},
      {"-250", "-250", "25", "0.2", "150"}, {"123.5", "-7.25", "31", "2.7", "400"},
      {"0", "0", "24", "0", "150"},      {"1", "1", "20", "1", "1E306"},  // overflows somewhere
      {"1", "1", "20", "1E305", "150"},  {"0", "0", "17", "1", "-80"},
  };
  std::mt19937 random(8);
  std::uniform_real_distribution<double> offset(-600, 600), zoom(0.01, 4), brightness(-300, 600);
  std::uniform_int_distribution<int> size(1, 40);
  for (int n = 0; n < 6; ++n)
    sets.push_back({numberText(offset(random)), numberText(offset(random)),
                    std::to_string(size(random)), numberText(zoom(random)),
                    numberText(brightness(random))});
  return sets;
}

std::string describe(const PatternEntry& p, const FieldTexts& f) {
  return std::string(p.caption) + " [" + f.x + ", " + f.y + ", " + f.size + ", " + f.zoom + ", " +
         f.brightness + "]";
}

TEST(ParallelColumns, GiveTheSinglethreadedPictureForEveryPattern) {
  ColumnPool pool(3);
  for (const PatternEntry& pattern : patternCatalogue())
    for (const FieldTexts& fields : parameterSets())
      expectSame(render(pattern, fields, nullptr), render(pattern, fields, &pool),
                 describe(pattern, fields));
}

TEST(ParallelColumns, HaltAfterAnyColumnLeavesTheSameColumns) {
  ColumnPool pool(2);
  const FieldTexts fields{"3", "-2", "30", "0.7", "150"};
  for (const PatternEntry& pattern : patternCatalogue())
    for (std::size_t haltAt : {1u, 2u, 9u, 29u}) {
      const RenderRun pooled = render(pattern, fields, &pool, haltAt);
      EXPECT_EQ(pooled.outcome.columnsPainted, haltAt);
      expectSame(render(pattern, fields, nullptr, haltAt), pooled,
                 describe(pattern, fields) + " halted at " + std::to_string(haltAt));
    }
}

TEST(ParallelColumns, ANestedRenderGetsTheWorkersAndTheOuterOneResumes) {
  ColumnPool pool(2);
  const FieldTexts fields{"1", "1", "36", "1", "150"};
  const auto catalogue = patternCatalogue();
  for (std::size_t k = 0; k < catalogue.size(); ++k) {
    const PatternEntry& outer = catalogue[k];
    const PatternEntry& inner = catalogue[(k + 3) % catalogue.size()];
    expectSame(render(outer, fields, nullptr, 0, 5, &inner), render(outer, fields, &pool, 0, 5, &inner),
               std::string(outer.caption) + " around " + inner.caption);
  }
}

TEST(ParallelColumns, AWorkersFaultIsRaisedAtItsExactPixel) {
  ColumnPool pool(2);
  std::size_t faultsInLaterColumns = 0;
  for (const PatternEntry& pattern : patternCatalogue())
    for (const char* brightness : {"3E307", "1E308", "1.7E308"}) {
      const FieldTexts fields{"0", "0", "40", "1.3", brightness};
      const RenderRun single = render(pattern, fields, nullptr);
      expectSame(single, render(pattern, fields, &pool), describe(pattern, fields));
      if (single.outcome.faultInSweep && single.outcome.faultColumn > 0) ++faultsInLaterColumns;
    }
  // The table must reach faults found by workers ahead of the frame.
  EXPECT_GT(faultsInLaterColumns, 3u);
}

TEST(ParallelColumns, OneWorkerAndManyWorkersAgree) {
  const FieldTexts fields{"-17", "4", "48", "1.1", "150"};
  ColumnPool one(1), many(7);
  for (const PatternEntry& pattern : patternCatalogue()) {
    const RenderRun single = render(pattern, fields, nullptr);
    expectSame(single, render(pattern, fields, &one), describe(pattern, fields) + " x1");
    expectSame(single, render(pattern, fields, &many), describe(pattern, fields) + " x7");
  }
}

// The four patterns that carry a value: their samples are prepared by any
// worker and completed in order; at every density and smoothing, halted after
// any column, faulting anywhere, nested in each other, the picture is the one
// of a single thread.
TEST(CarriedValueInParallel, GivesTheSinglethreadedPictureAtAnySampling) {
  ColumnPool pool(2);
  const Sampling samplings[] = {{1, 1}, {2, 1}, {1, 3}, {3, 2}};
  for (const char* caption : {"dada", "lazy", "nitegale", "pluck"}) {
    const PatternEntry& pattern = *findPattern(caption);
    const auto sets = parameterSets();
    for (std::size_t n = 0; n < sets.size(); ++n) {
      const Sampling sampling = samplings[n % std::size(samplings)];
      const std::size_t haltAt = n % 3 == 0 ? 1 + n : 0;
      const PatternEntry& nested = *findPattern(n % 2 ? "pluck" : "dada");
      const std::size_t nestAt = n % 4 == 1 ? 2 : 0;
      expectSame(render(pattern, sets[n], nullptr, haltAt, nestAt, &nested, sampling),
                 render(pattern, sets[n], &pool, haltAt, nestAt, &nested, sampling),
                 describe(pattern, sets[n]) + " at density " + std::to_string(sampling.density) +
                     ", smoothing " + std::to_string(sampling.smooth));
    }
  }
}

// Counts samples through its carried value and divides by zero at one chosen
// sample (i, j) = (|zoom|, brightness): while preparing it for a positive zoom,
// while completing it for a negative one.
struct StageFaultProbe {
  static constexpr bool kCarriesValue = true;
  struct Params {
    double faultI = 0;
    double faultJ = 0;
    bool whileCompleting = false;
  };
  struct Prepared {
    double i, j, quotient;
  };
  static Intake<Params> intake(const FieldReader& read) {
    Intake<Params> in;
    in.sweep = shiftedSweep(read);
    in.params.faultI = std::fabs(read(Field::Four));
    in.params.whileCompleting = read(Field::Four) < 0;
    in.params.faultJ = read(Field::Five);
    return in;
  }
  static double quotient(const Params& p, double i, double j) {
    return 1 / ((i - p.faultI) + (j - p.faultJ) * 1000);
  }
  static Prepared prepare(const Params& p, double i, double j) {
    return {i, j, p.whileCompleting ? 1 : quotient(p, i, j)};
  }
  static Channels complete(const Params& p, const Prepared& x, double& carried) {
    carried = carried + 1;
    const double q = p.whileCompleting ? quotient(p, x.i, x.j) : x.quotient;
    return {std::fmod(carried, 256), 0 * q + 9, 7};
  }
};

TEST(CarriedValueInParallel, AFaultInEitherStageIsRaisedAtItsSample) {
  ColumnPool pool(2);
  const PatternEntry probe{0, "probe", "probe", &renderPattern<StageFaultProbe>, nullptr};
  struct Case {
    const char* zoom;        // the faulting sample's i; negative: while completing
    const char* brightness;  // its j
    Sampling sampling;
  };
  for (const Case& c : {Case{"7", "12", {1, 1}}, Case{"-7", "12", {1, 1}},
                        Case{"15.625", "3.375", {2, 2}}, Case{"-15.625", "3.375", {2, 2}},
                        Case{"2.125", "30.875", {2, 2}}, Case{"-31.25", "29.25", {1, 2}}}) {
    const FieldTexts fields{"0", "0", "32", c.zoom, c.brightness};
    const RenderRun single = render(probe, fields, nullptr, 0, 0, nullptr, c.sampling);
    ASSERT_EQ(single.outcome.fault, Fault::DivisionByZero) << c.zoom << ", " << c.brightness;
    EXPECT_EQ(single.outcome.faultI, std::fabs(val(c.zoom)));
    EXPECT_EQ(single.outcome.faultJ, val(c.brightness));
    expectSame(single, render(probe, fields, &pool, 0, 0, nullptr, c.sampling),
               std::string("fault at ") + c.zoom + ", " + c.brightness);
  }
}

}  // namespace
}  // namespace plorvex
