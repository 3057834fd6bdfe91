// SPDX-License-Identifier: GPL-3.0-or-later
// Denser and smoothed pictures against pictures worked out independently of
// this code (sampled_cases.h), on the headless canvas and as the picture
// module's image: sample positions, fractional offsets, half-step offsets for
// even smoothing, the linear-light mean, the carried value running through the
// samples in order, and a fault in the middle of a smoothed column.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"
#include "picture_render.h"
#include "sampled_cases.h"

namespace plorvex {
namespace {

using testing_support::fromHex;
using testing_support::SampledCase;

class SampledPicture : public testing::TestWithParam<SampledCase> {};

void expectPicture(const SampledCase& c, ColumnPool* pool, const char* how) {
  HeadlessHost host(c.fields);
  host.samplingToUse = c.sampling;
  host.pool = pool;
  const RenderOutcome outcome = findPattern(c.pattern)->render(host);
  ASSERT_EQ(outcome.end, RenderEnd::Completed) << how;
  // One yield per picture column, whatever the density.
  EXPECT_EQ(host.yields(), static_cast<std::size_t>(c.width / c.sampling.density)) << how;
  const int left = 161 * c.sampling.density, top = 51 * c.sampling.density;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      EXPECT_EQ(host.pixel(left + x, top + y), fromHex(c.rows[static_cast<std::size_t>(y * c.width + x)]))
          << how << " at (" << x << ", " << y << ")";
  EXPECT_EQ(host.pixel(left + c.width, top), kBackground) << how;
  EXPECT_EQ(host.pixel(left, top + c.height), kBackground) << how;
  EXPECT_EQ(host.plots(), static_cast<std::size_t>(c.width * c.height)) << how;
}

// The image the command line writes and the window saves at a larger size.
void expectPictureImage(const SampledCase& c, ColumnPool* pool, const char* how) {
  picture::PictureHost host(c.fields, c.sampling, pool);
  ASSERT_EQ(findPattern(c.pattern)->render(host).end, RenderEnd::Completed) << how;
  testing_support::expectImage(c, host.image(), std::string("picture module, ") + how);
}

TEST_P(SampledPicture, IsThePictureWorkedOutFromTheRule) {
  ColumnPool pool(3);
  expectPicture(GetParam(), nullptr, "one thread");
  expectPicture(GetParam(), &pool, "three workers");
  expectPictureImage(GetParam(), nullptr, "one thread");
  expectPictureImage(GetParam(), &pool, "three workers");
}

INSTANTIATE_TEST_SUITE_P(Rule, SampledPicture, testing::ValuesIn(testing_support::sampledCases()),
                         testing_support::SampledCaseName{});

// Atlas multiplies the brightness by 1.5: the green channel's B * term
// overflows at sample (q, t) = (1, 2) of output pixel (2, 3), i = 428 and
// j = 403.666..., inside the second picture column.
TEST(SampledFault, StopsAtTheOutputPixelOfItsSampleAndKeepsThoseBefore) {
  const std::vector<std::uint32_t> paintedBefore{
      0xb2b2c5, 0xb282b2, 0xd58282, 0x9cc5d5, 0xd5e4d5, 0xb29c9c,  // output column 0
      0xd5d5d5, 0xe4d5e4, 0x9cb2d5, 0xd5e4e4, 0xf2d59c, 0xb2c5b2,  // output column 1
      0xe4c5c5, 0xb2b2d5, 0xc5b2b2};                               // column 2, above the fault
  ColumnPool pool(2);
  for (ColumnPool* workers : {static_cast<ColumnPool*>(nullptr), &pool}) {
    HeadlessHost host({"26", "1", "3", "3", "1e308"});
    host.samplingToUse = {2, 3};
    host.pool = workers;
    const RenderOutcome outcome = findPattern("atlas")->render(host);
    EXPECT_EQ(outcome.end, RenderEnd::Faulted);
    EXPECT_EQ(outcome.fault, Fault::Overflow);
    EXPECT_EQ(outcome.faultColumn, 2u);
    EXPECT_EQ(outcome.faultRow, 3u);
    EXPECT_EQ(outcome.faultI, 428);
    EXPECT_EQ(outcome.faultJ, 403 + 2.0 / 3);
    EXPECT_EQ(outcome.columnsPainted, 1u);
    EXPECT_EQ(host.plots(), paintedBefore.size());
    for (std::size_t p = 0; p < paintedBefore.size(); ++p)
      EXPECT_EQ(host.pixel(322 + static_cast<int>(p / 6), 102 + static_cast<int>(p % 6)),
                fromHex(paintedBefore[p]))
          << "pixel " << p;
    EXPECT_EQ(host.pixel(324, 105), kBackground);
  }
}

}  // namespace
}  // namespace plorvex
