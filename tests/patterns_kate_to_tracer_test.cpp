// SPDX-License-Identifier: GPL-3.0-or-later
// Kate, Lazy, Nitegale, Ombud, Pluck, Quaff, Ripple, Sizzle and Tracer:
// worked values and coloured edge cases.

#include <set>

#include "pattern_cases.h"

namespace plorvex::testing_support {
namespace {

// ---- Kate -----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Kate, WorkedPixel, ::testing::Values(
    PixelCase{"kate", texts("0", "0", "100", "1", "100"), 161, 51, 89, 44, 28},
    PixelCase{"kate", texts("0", "0", "100", "1", "100"), 211, 101, 91, 41, 30},
    PixelCase{"kate", texts("0", "0", "100", "1", "100"), 180, 120, 29, 4, 0},
    PixelCase{"kate", texts("0", "0", "100", "2", "150"), 161, 51, 211, 81, 72},
    PixelCase{"kate", texts("0", "0", "100", "2", "150"), 211, 101, 147, 63, 49},
    PixelCase{"kate", texts("0", "0", "100", "2", "150"), 180, 120, 244, 81, 64},
    // The offsets are centred, so the point i = 1, j = 1 sits just below and
    // right of the middle whatever the size (768: 512 and 384 off the offsets).
    PixelCase{"kate", texts("0", "0", "50", "1", "100"), 186, 76, 91, 41, 30},
    PixelCase{"kate", texts("0", "0", "768", "1", "100"), 673, 435, 91, 41, 30}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Kate, UniformPicture, ::testing::Values(
    UniformCase{"kate", texts("0", "0", "100", "0", "100"), 112, 45, 38},
    UniformCase{"kate", texts("1", "1", "150", "1", "0"), 0, 0, 0},
    // Zoom 0 has positive sums, which a negative brightness turns black.
    UniformCase{"kate", texts("0", "0", "100", "0", "-100"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Kate, PictureShape, ::testing::Values(
    ShapeCase{"kate", texts("0", "0", "100", "1", "100"), 100, 100},
    ShapeCase{"kate", texts("1", "1", "768", "1", "150"), 1024, 768},
    ShapeCase{"kate", texts("1", "1", "767", "1", "150"), 767, 767},
    ShapeCase{"kate", texts("1", "1", "769", "1", "150"), 769, 769},
    ShapeCase{"kate", texts("0", "0", "101", "1", "150"), 101, 101},
    ShapeCase{"kate", texts("1", "1", "0", "1", "150"), 0, 0},
    ShapeCase{"kate", texts("1", "1", "-20", "1", "150"), 0, 0},
    ShapeCase{"kate", texts("1", "1", "0.5", "1", "150"), 0, 0}), CaseName{});

// ---- Lazy -----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Lazy, WorkedPixel, ::testing::Values(
    PixelCase{"lazy", texts("0", "0", "100", "1", "100"), 161, 51, 141, 55, 13},
    PixelCase{"lazy", texts("0", "0", "100", "1", "100"), 161, 52, 139, 56, 14},
    PixelCase{"lazy", texts("0", "0", "100", "1", "100"), 161, 53, 171, 72, 27},
    // The top of a later column takes the carried value from the bottom of the
    // column before, so it depends on the size (tests/worked/pattern_pixels.py).
    PixelCase{"lazy", texts("0", "0", "50", "1", "100"), 176, 51, 138, 48, 6},
    PixelCase{"lazy", texts("0", "0", "100", "1", "100"), 176, 51, 132, 46, 4}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Lazy, UniformPicture, ::testing::Values(
    UniformCase{"lazy", texts("1", "1", "150", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Lazy, PictureShape, ::testing::Values(
    ShapeCase{"lazy", texts("1", "1", "768", "1", "150"), 1024, 768},
    ShapeCase{"lazy", texts("1", "1", "767", "1", "150"), 767, 767},
    ShapeCase{"lazy", texts("1", "1", "769", "1", "150"), 769, 769},
    ShapeCase{"lazy", texts("1", "1", "0", "1", "150"), 0, 0},
    ShapeCase{"lazy", texts("1", "1", "-3", "1", "150"), 0, 0},
    ShapeCase{"lazy", texts("1", "1", "0.9", "1", "150"), 0, 0}), CaseName{});

// ---- Nitegale -------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Nitegale, WorkedPixel, ::testing::Values(
    PixelCase{"nitegale", texts("0", "0", "100", "1", "100"), 161, 51, 131, 123, 54},
    PixelCase{"nitegale", texts("0", "0", "100", "1", "100"), 161, 52, 132, 124, 52},
    PixelCase{"nitegale", texts("0", "0", "100", "1", "100"), 161, 53, 131, 123, 50},
    // Tops of a later column, as for lazy.
    PixelCase{"nitegale", texts("0", "0", "50", "1", "100"), 175, 51, 117, 113, 71},
    PixelCase{"nitegale", texts("0", "0", "100", "1", "100"), 175, 51, 115, 112, 70}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Nitegale, UniformPicture, ::testing::Values(
    UniformCase{"nitegale", texts("1", "1", "150", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Nitegale, PictureShape, ::testing::Values(
    ShapeCase{"nitegale", texts("1", "1", "768", "1", "150"), 1024, 768},
    ShapeCase{"nitegale", texts("1", "1", "767", "1", "150"), 767, 767},
    ShapeCase{"nitegale", texts("1", "1", "769", "1", "150"), 769, 769},
    ShapeCase{"nitegale", texts("1", "1", "0", "1", "150"), 0, 0},
    ShapeCase{"nitegale", texts("1", "1", "-3", "1", "150"), 0, 0},
    ShapeCase{"nitegale", texts("1", "1", "0.9", "1", "150"), 0, 0}), CaseName{});

// ---- Ombud ----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Ombud, WorkedPixel, ::testing::Values(
    PixelCase{"ombud", texts("0", "0", "100", "1", "150"), 161, 51, 117, 163, 255},
    PixelCase{"ombud", texts("0", "0", "100", "1", "150"), 210, 100, 146, 158, 123},
    PixelCase{"ombud", texts("0", "0", "100", "1", "110"), 210, 100, 101, 101, 101},
    PixelCase{"ombud", texts("0", "0", "100", "0.1", "150"), 190, 120, 117, 124, 255},
    // Half of 768 comes off the horizontal offset too, so the last column is i = 640.
    PixelCase{"ombud", texts("0", "0", "768", "1", "150"), 1184, 818, 147, 157, 255}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Ombud, UniformPicture, ::testing::Values(
    // Green is exactly 158.5 here and goes to the even 158.
    UniformCase{"ombud", texts("0", "0", "100", "0", "150"), 146, 158, 123},
    // 1200 / 11 as typed: the brightness factor all but vanishes.
    UniformCase{"ombud", texts("0", "0", "100", "1", "109.09090909090909"), 100, 100, 100}),
    CaseName{});

INSTANTIATE_TEST_SUITE_P(Ombud, PictureShape, ::testing::Values(
    ShapeCase{"ombud", texts("0", "0", "100", "1", "150"), 100, 100},
    ShapeCase{"ombud", texts("0", "0", "768", "1", "150"), 1024, 768},
    ShapeCase{"ombud", texts("0", "0", "101", "1", "150"), 101, 101},
    ShapeCase{"ombud", texts("0", "0", "0", "1", "150"), 0, 0},
    ShapeCase{"ombud", texts("0", "0", "0.5", "1", "150"), 0, 0}), CaseName{});

// ---- Pluck ----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Pluck, WorkedPixel, ::testing::Values(
    PixelCase{"pluck", texts("0", "0", "100", "1", "150"), 161, 51, 166, 182, 209},
    PixelCase{"pluck", texts("0", "0", "100", "1", "150"), 161, 52, 162, 180, 209},
    PixelCase{"pluck", texts("0", "0", "100", "1", "150"), 161, 53, 158, 178, 210},
    PixelCase{"pluck", texts("0", "0", "100", "1", "150"), 162, 51, 168, 184, 209},
    // Zoom 0 still varies (the quotient d ignores the zoom).
    PixelCase{"pluck", texts("0", "0", "100", "0", "150"), 161, 51, 167, 183, 209},
    PixelCase{"pluck", texts("0", "0", "100", "0", "150"), 161, 52, 167, 183, 208},
    // Tops of a later column, as for lazy.
    PixelCase{"pluck", texts("0", "0", "50", "1", "150"), 174, 51, 188, 194, 202},
    PixelCase{"pluck", texts("0", "0", "100", "1", "150"), 182, 51, 191, 168, 136}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Pluck, PictureShape, ::testing::Values(
    ShapeCase{"pluck", texts("0", "0", "768", "1", "150"), 1024, 768},
    ShapeCase{"pluck", texts("0", "0", "0", "1", "150"), 0, 0},
    ShapeCase{"pluck", texts("0", "0", "0.5", "1", "150"), 0, 0}), CaseName{});

// ---- Quaff ----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Quaff, WorkedPixel, ::testing::Values(
    PixelCase{"quaff", texts("0", "0", "100", "1", "150"), 161, 51, 206, 130, 69},
    PixelCase{"quaff", texts("0", "0", "100", "1", "150"), 210, 100, 0, 0, 0},
    PixelCase{"quaff", texts("0", "0", "100", "0.3", "150"), 190, 120, 0, 0, 18},
    PixelCase{"quaff", texts("0", "0", "768", "1", "150"), 1184, 818, 104, 50, 18},
    // The point i = j = 0 is black for every zoom and any brightness from 0 up;
    // with size 768 it sits in the middle of the 1024 by 768 picture.
    PixelCase{"quaff", texts("0", "0", "100", "3", "150"), 210, 100, 0, 0, 0},
    PixelCase{"quaff", texts("0", "0", "100", "0.1", "1000"), 210, 100, 0, 0, 0},
    PixelCase{"quaff", texts("0", "0", "768", "1", "150"), 672, 434, 0, 0, 0},
    // All three sums are positive at the first pixel: a negative brightness darkens it.
    PixelCase{"quaff", texts("0", "0", "100", "1", "-150"), 161, 51, 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Quaff, UniformPicture, ::testing::Values(
    UniformCase{"quaff", texts("0", "0", "100", "0", "150"), 0, 0, 0},
    UniformCase{"quaff", texts("0", "0", "100", "1", "0"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Quaff, PictureShape, ::testing::Values(
    ShapeCase{"quaff", texts("0", "0", "768", "1", "150"), 1024, 768},
    ShapeCase{"quaff", texts("0", "0", "101", "1", "150"), 101, 101},
    ShapeCase{"quaff", texts("0", "0", "0", "1", "150"), 0, 0},
    ShapeCase{"quaff", texts("0", "0", "0.5", "1", "150"), 0, 0}), CaseName{});

// ---- Ripple ---------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Ripple, WorkedPixel, ::testing::Values(
    PixelCase{"ripple", texts("0", "0", "100", "1", "100"), 161, 51, 126, 97, 155},
    PixelCase{"ripple", texts("0", "0", "150", "1", "150"), 211, 151, 88, 91, 54}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Ripple, UniformPicture, ::testing::Values(
    UniformCase{"ripple", texts("0", "0", "100", "0", "100"), 112, 74, 99},
    UniformCase{"ripple", texts("0", "0", "100", "0", "150"), 119, 61, 99},
    UniformCase{"ripple", texts("1", "1", "150", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Ripple, PictureShape, ::testing::Values(
    ShapeCase{"ripple", texts("1", "1", "768", "1", "150"), 1024, 768},
    ShapeCase{"ripple", texts("1", "1", "767", "1", "150"), 767, 767},
    ShapeCase{"ripple", texts("1", "1", "769", "1", "150"), 769, 769},
    ShapeCase{"ripple", texts("1", "1", "0", "1", "150"), 0, 0},
    ShapeCase{"ripple", texts("1", "1", "-3", "1", "150"), 0, 0},
    ShapeCase{"ripple", texts("1", "1", "0.9", "1", "150"), 0, 0}), CaseName{});

// ---- Sizzle ---------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Sizzle, WorkedPixel, ::testing::Values(
    PixelCase{"sizzle", texts("0", "0", "100", "1", "150"), 161, 51, 255, 255, 255},
    PixelCase{"sizzle", texts("0", "0", "100", "1", "150"), 210, 100, 134, 247, 255},
    PixelCase{"sizzle", texts("0", "0", "100", "1", "150"), 220, 90, 26, 58, 84},
    PixelCase{"sizzle", texts("0", "0", "100", "0", "150"), 161, 51, 188, 255, 255},
    PixelCase{"sizzle", texts("0", "0", "100", "0.3", "150"), 190, 120, 83, 80, 87},
    PixelCase{"sizzle", texts("0", "0", "768", "1", "150"), 1184, 818, 101, 148, 198},
    // All three sums are positive at the first pixel: a negative brightness darkens it.
    PixelCase{"sizzle", texts("0", "0", "100", "1", "-150"), 161, 51, 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Sizzle, UniformPicture, ::testing::Values(
    UniformCase{"sizzle", texts("0", "0", "100", "1", "0"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Sizzle, PictureShape, ::testing::Values(
    ShapeCase{"sizzle", texts("0", "0", "768", "1", "150"), 1024, 768},
    ShapeCase{"sizzle", texts("0", "0", "101", "1", "150"), 101, 101},
    ShapeCase{"sizzle", texts("0", "0", "0", "1", "150"), 0, 0},
    ShapeCase{"sizzle", texts("0", "0", "0.5", "1", "150"), 0, 0}), CaseName{});

// ---- Tracer ---------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Tracer, WorkedPixel, ::testing::Values(
    PixelCase{"tracer", texts("0", "0", "100", "1", "150"), 161, 51, 124, 128, 146},
    PixelCase{"tracer", texts("0", "0", "100", "1", "150"), 210, 100, 16, 53, 98},
    PixelCase{"tracer", texts("0", "0", "100", "1", "150"), 220, 90, 199, 173, 158},
    PixelCase{"tracer", texts("0", "0", "100", "0.3", "150"), 190, 120, 0, 31, 95},
    PixelCase{"tracer", texts("0", "0", "768", "1", "150"), 1184, 818, 255, 223, 191},
    // The point i = j = 0 has the zoom-0 colour; with size 768 it is the middle pixel.
    PixelCase{"tracer", texts("0", "0", "768", "1", "150"), 672, 434, 16, 53, 98}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Tracer, UniformPicture, ::testing::Values(
    UniformCase{"tracer", texts("0", "0", "100", "0", "150"), 16, 53, 98},
    UniformCase{"tracer", texts("0", "0", "100", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Tracer, PictureShape, ::testing::Values(
    ShapeCase{"tracer", texts("0", "0", "768", "1", "150"), 1024, 768},
    ShapeCase{"tracer", texts("0", "0", "101", "1", "150"), 101, 101},
    ShapeCase{"tracer", texts("0", "0", "0", "1", "150"), 0, 0},
    ShapeCase{"tracer", texts("0", "0", "0.5", "1", "150"), 0, 0}), CaseName{});

// ---- Behaviour the shared suites cannot express -----------------------------

// The first pixel in sweep order (column by column) at which two pictures
// differ, within the rectangle both paint; {0, 0} when none does.
struct Position {
  int x = 0, y = 0;
};
Position firstDifference(const HeadlessHost& a, const HeadlessHost& b, int columns, int rows) {
  for (int x = 161; x <= 160 + columns; ++x)
    for (int y = 51; y <= 50 + rows; ++y)
      if (a.pixel(x, y) != b.pixel(x, y)) return {x, y};
  return {};
}

// A carried value runs through every row of a column, so a taller picture
// starts its second column from a different value: the first column agrees,
// later ones need not.
TEST(CarriedValue, SizeChangesPicturesOnlyFromTheSecondColumn) {
  for (const char* pattern : {"lazy", "nitegale", "pluck"}) {
    SCOPED_TRACE(pattern);
    const HeadlessHost small = renderToEnd(pattern, texts("0", "0", "50", "1", "150"));
    const HeadlessHost large = renderToEnd(pattern, texts("0", "0", "100", "1", "150"));
    const Position first = firstDifference(small, large, 50, 50);
    EXPECT_NE(first.x, 0) << "no pixel differs";
    EXPECT_NE(first.x, 161) << "the first column differs at y " << first.y;
  }
}

TEST(PluckCarried, SizesFiftyAndHundredFirstDifferAt174And51) {
  const HeadlessHost small = renderToEnd("pluck", texts("0", "0", "50", "1", "150"));
  const HeadlessHost large = renderToEnd("pluck", texts("0", "0", "100", "1", "150"));
  const Position first = firstDifference(small, large, 50, 50);
  EXPECT_EQ(first.x, 174);
  EXPECT_EQ(first.y, 51);
}

TEST(PluckCarried, EveryRenderStartsWithTheCarriedValueAtZero) {
  // A render that leaves a value behind, then the worked one on the same canvas.
  HeadlessHost host(texts("3", "7", "60", "2.5", "150"));
  const PatternEntry* pluck = findPattern("pluck");
  ASSERT_NE(pluck, nullptr);
  ASSERT_EQ(pluck->render(host).end, RenderEnd::Completed);
  host.fields = texts("0", "0", "100", "1", "150");
  ASSERT_EQ(pluck->render(host).end, RenderEnd::Completed);
  EXPECT_EQ(host.pixel(161, 51), rgb(166, 182, 209));
  EXPECT_EQ(host.pixel(162, 51), rgb(168, 184, 209));
}

// d ignores the zoom, so zoom 0 does not flatten these two.
TEST(ZoomFreeQuotient, PluckAndSizzleStillVary) {
  for (const char* pattern : {"pluck", "sizzle"}) {
    SCOPED_TRACE(pattern);
    const HeadlessHost host = renderToEnd(pattern, texts("0", "0", "100", "0", "150"));
    std::set<Colour> colours;
    for (int x = 161; x <= 260; ++x)
      for (int y = 51; y <= 150; ++y) colours.insert(host.pixel(x, y));
    EXPECT_GT(colours.size(), 1u);
  }
}

// The point i = j = 0 is black at any brightness of 0 or more; a negative
// brightness lights it.
TEST(QuaffOrigin, NegativeBrightnessLightsTheOrigin) {
  const HeadlessHost host = renderToEnd("quaff", texts("0", "0", "100", "1", "-150"));
  EXPECT_NE(host.pixel(210, 100), rgb(0, 0, 0));
}

}  // namespace
}  // namespace plorvex::testing_support

namespace plorvex::testing_support {
namespace {

// Pixels reached only after whole columns, where the carried value has passed
// through thousands of pixels. The colours come from a separate evaluation of
// the formulas written independently of this code.
INSTANTIATE_TEST_SUITE_P(CarriedAfterColumns, WorkedPixel, ::testing::Values(
    PixelCase{"lazy", texts("0", "0", "60", "1", "150"), 191, 68, 131, 66, 30},
    PixelCase{"lazy", texts("0", "0", "60", "1", "150"), 220, 110, 255, 177, 134},
    PixelCase{"nitegale", texts("0", "0", "60", "1", "150"), 191, 68, 187, 147, 195},
    PixelCase{"nitegale", texts("0", "0", "60", "1", "150"), 220, 110, 144, 131, 150},
    PixelCase{"pluck", texts("0", "0", "60", "1", "150"), 191, 68, 207, 227, 255},
    PixelCase{"pluck", texts("0", "0", "60", "1", "150"), 220, 110, 160, 158, 137}), CaseName{});

}  // namespace
}  // namespace plorvex::testing_support
