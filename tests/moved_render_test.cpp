// SPDX-License-Identifier: GPL-3.0-or-later
// A picture moved by whole pixels and completed by computing only what the
// move uncovered equals the full render of the new view, bit for bit, for
// every pattern without a carried value, in every direction, at density 1 and
// 2, with and without column workers.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <optional>
#include <string>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"
#include "move_step.h"
#include "view_geometry.h"

namespace plorvex {
namespace {

struct Move {
  double dx, dy;
};

SweepPlan planOf(const PatternEntry& pattern, const FieldTexts& texts, const HeadlessHost& host) {
  SweepOrigin sweep;
  EXPECT_EQ(pattern.sweep(texts, sweep), Fault::None);
  SweepPlan plan;
  EXPECT_EQ(planSweep(sweep, host.pictureLimits(), plan, host.sampling()), Fault::None);
  return plan;
}

// Paints on `host` the picture of `before` moved by (dx, dy) canvas pixels.
void paintMoved(HeadlessHost& host, const HeadlessHost& before, int dx, int dy, int density) {
  ASSERT_TRUE(host.beginPicture(before.pictureColumns(), before.pictureRows()));
  const int left = 161 * density, top = 51 * density;
  const int right = left + static_cast<int>(before.pictureColumns()) * density;
  const int bottom = top + static_cast<int>(before.pictureRows()) * density;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const int tx = x + dx * density, ty = y + dy * density;
      if (tx >= left && tx < right && ty >= top && ty < bottom) host.plot(tx, ty, before.pixel(x, y));
    }
}

void expectMovedEqualsFull(const PatternEntry& pattern, const FieldTexts& texts, Move move, int density,
                           ColumnPool* pool) {
  SCOPED_TRACE(std::string(pattern.caption) + " by " + std::to_string(move.dx) + ", " +
               std::to_string(move.dy) + " at density " + std::to_string(density) +
               (pool ? " with workers" : ""));
  ViewGeometry geometry;
  ASSERT_EQ(viewGeometryOf(pattern, texts, geometry), Fault::None);
  const ViewChange change = dragView(geometry, move.dx, move.dy);
  ASSERT_TRUE(change.changed);
  HeadlessHost before(texts), moved(change.texts), full(change.texts);
  for (HeadlessHost* host : {&before, &moved, &full}) {
    host->samplingToUse = Sampling{density, 1};
    host->pool = pool;
  }
  ASSERT_EQ(pattern.render(before).end, RenderEnd::Completed);
  ASSERT_EQ(pattern.render(full).end, RenderEnd::Completed);
  const bool whole = move.dx == static_cast<int>(move.dx) && move.dy == static_cast<int>(move.dy);
  const int dx = static_cast<int>(move.dx), dy = static_cast<int>(move.dy);
  paintMoved(moved, before, dx, dy, density);
  const std::size_t plotsBefore = moved.plots();
  ASSERT_EQ(pattern.moved(moved, planOf(pattern, texts, before), dx, dy).end, RenderEnd::Completed);
  const std::size_t n = before.pictureColumns(), m = before.pictureRows();
  const std::size_t uncovered = whole ? n * m - (n - std::abs(dx)) * (m - std::abs(dy)) : n * m;
  EXPECT_EQ(moved.plots() - plotsBefore, uncovered * density * density);
  for (int y = 51 * density; y < (51 + static_cast<int>(m)) * density; ++y)
    for (int x = 161 * density; x < (161 + static_cast<int>(n)) * density; ++x)
      ASSERT_EQ(moved.pixel(x, y), full.pixel(x, y)) << x << ", " << y;
}

// Every direction, a step across the picture's edge, and a move by a
// fraction of a pixel, which holds no pixel and computes them all.
const Move kMoves[] = {{7, 0}, {-7, 0}, {0, 5}, {0, -5}, {6, -4}, {-3, 9}, {-23, -2}, {2.5, 1}};

TEST(MovedRender, EqualsTheFullRenderForEveryPatternWithoutACarriedValue) {
  ColumnPool workers(2);
  int patterns = 0;
  for (const PatternEntry& pattern : patternCatalogue()) {
    if (!pattern.moved) continue;
    ++patterns;
    for (std::size_t k = 0; k < std::size(kMoves); ++k)
      for (const int density : {1, 2})  // with the workers and without, in turn
        expectMovedEqualsFull(pattern, FieldTexts{"-20.5", "13", "24", "0.7", "150"}, kMoves[k], density,
                              (k + density) % 2 ? &workers : nullptr);
  }
  EXPECT_EQ(patterns, 15);
}

TEST(MovedRender, AtSize768TheWidenedPictureMovesAsWell) {
  ColumnPool workers(2);
  expectMovedEqualsFull(*findPattern("atlas"), FieldTexts{"1", "1", "768", "0.15", "150"}, {16, -16}, 1, &workers);
}

}  // namespace
}  // namespace plorvex

namespace plorvex {
namespace {

// The step between two sweeps: whole pixels within the limit, or none.
TEST(WholePixelStep, IsTheOriginsDifferenceWhenWholeAndWithinTheLargestPicture) {
  struct Case {
    double fromX0, fromY0, toX0, toY0;
    std::optional<PixelStep> step;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {10, 20, 7, 25, PixelStep{3, -5}},
      {-4.5, 1.25, -6.5, 0.25, PixelStep{2, 1}},
      {0, 0, 0, 0, PixelStep{0, 0}},
      {0, 0, -1023, 1023, PixelStep{1023, -1023}},
      {0, 0, -1024, 0, std::nullopt},  // as far as the largest picture: nothing is kept
      {0, 0, 0.5, 0, std::nullopt},
      {1e300, 0, -1e300, 0, std::nullopt},
      {nan, 0, 0, 0, std::nullopt},
      {0, inf, 0, 0, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(wholePixelStep(c.fromX0, c.fromY0, c.toX0, c.toY0, 1024), c.step)
        << c.fromX0 << ", " << c.fromY0 << " to " << c.toX0 << ", " << c.toY0;
}

}  // namespace
}  // namespace plorvex
