// SPDX-License-Identifier: GPL-3.0-or-later
// Denser and smoothed pictures against pictures worked out independently of
// this code, from the sampling rule and the patterns' formulas alone: sample
// positions, fractional offsets, half-step offsets for even smoothing, the
// linear-light mean, the carried value running through the samples in order,
// and a fault in the middle of a smoothed column.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"

namespace plorvex {
namespace {

struct SampledCase {
  const char* name;
  const char* pattern;
  FieldTexts fields;
  Sampling sampling;
  int width, height;
  std::vector<std::uint32_t> rows;  // 0xRRGGBB, row by row
};

// Written as 0xRRGGBB; the canvas packs red in the lowest byte.
Colour fromHex(std::uint32_t hex) { return rgb(hex >> 16, (hex >> 8) & 0xFF, hex & 0xFF); }

const std::vector<SampledCase>& sampledCases() {
  static const std::vector<SampledCase> cases{
      {"AtlasSmoothedTwo", "atlas", {"1", "1", "2", "25", "150"}, {1, 2}, 2, 2,
       {0x686586, 0xd19e7d,
        0xabbe8b, 0xbca982}},
      {"AtlasDensityThreeFractionalOffsets", "atlas", {"0.5", "-1.25", "3", "25", "150"}, {3, 1}, 9, 9,
       {0x94607b, 0x7a9e87, 0xb8d381, 0x755353, 0x82cdad, 0x790040, 0x82948e, 0x000038, 0x14006c,
        0x00017b, 0x94b087, 0xba8b7e, 0x00008f, 0xffd543, 0x566875, 0xffbc3a, 0x800024, 0xffcb30,
        0xa1958d, 0x00248b, 0xa7616f, 0xffffbf, 0x000019, 0x56ebcf, 0x002d91, 0x72586a, 0xd0fba7,
        0x86a096, 0xab7b88, 0xae7b81, 0x434b71, 0x00004f, 0xae8545, 0xb3e398, 0xa4b08c, 0x4e1143,
        0x707c8c, 0x38778c, 0xa6a16f, 0x773e61, 0x14004e, 0x000026, 0x2d8eac, 0x001c69, 0xaf8f78,
        0xe4e36e, 0x272576, 0x2b3c7e, 0x94896c, 0xafb46a, 0xd7b26a, 0x000053, 0x7e8f80, 0xded27f,
        0xffcb58, 0x544868, 0x4b2961, 0xd79f64, 0x7d4e3b, 0x8ac2bf, 0x740347, 0x00529b, 0x92948a,
        0x5d4c7f, 0x85595f, 0xf7382c, 0xa6f0bb, 0xea893f, 0x2c5471, 0x6b8874, 0x14004a, 0x4e546d,
        0xffff80, 0xeecd7e, 0xb0a884, 0x801b4b, 0x403165, 0xec702b, 0x9cff9a, 0x00003c, 0x8c8464}},
      {"AtlasDensityTwoSmoothedThree", "atlas", {"1", "1", "2", "25", "150"}, {2, 3}, 4, 4,
       {0x928f6e, 0x79766c, 0x9b8b77, 0xa67378,
        0xa49f83, 0x7a7f72, 0xa29373, 0xa77e67,
        0x8b9f8d, 0xb0ac90, 0xcbbb7b, 0x907371,
        0xa89c7d, 0xd0ae77, 0xa99d92, 0xa29f85}},
      {"AtlasSmoothedFour", "atlas", {"1", "1", "3", "25", "150"}, {1, 4}, 3, 3,
       {0x757779, 0xa28b7a, 0x81897e,
        0x8f9084, 0x9b958c, 0x92837c,
        0xb1ac84, 0x9ba88a, 0xb7b88e}},
      // Lazy carries a value from sample to sample: any other order of the
      // samples changes these pictures.
      {"LazyDensityTwoSmoothedTwo", "lazy", {"1", "1", "2", "25", "150"}, {2, 2}, 4, 4,
       {0xff672d, 0xffa163, 0xeea370, 0xffe9d5,
        0xfce6c8, 0xffcbb8, 0xeea46e, 0xffc593,
        0xe6af7d, 0xeedbb4, 0xffdac0, 0xffdec0,
        0xcb592d, 0xc88c75, 0xe57e4a, 0xd2a588}},
      {"LazySmoothedThreeFractionalOffset", "lazy", {"0.5", "1", "3", "7", "150"}, {1, 3}, 3, 3,
       {0xffd29d, 0xffc083, 0xfbc17f,
        0xffdcac, 0xfcceb5, 0xf4d1bb,
        0xffc271, 0xe86823, 0xfa8c46}},
  };
  return cases;
}

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

TEST_P(SampledPicture, IsThePictureWorkedOutFromTheRule) {
  expectPicture(GetParam(), nullptr, "one thread");
  ColumnPool pool(3);
  expectPicture(GetParam(), &pool, "three workers");
}

INSTANTIATE_TEST_SUITE_P(Rule, SampledPicture, testing::ValuesIn(sampledCases()),
                         [](const testing::TestParamInfo<SampledCase>& info) {
                           return std::string(info.param.name);
                         });

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
