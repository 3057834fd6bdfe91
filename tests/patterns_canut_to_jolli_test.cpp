// SPDX-License-Identifier: GPL-3.0-or-later
// Canut, Dada, Entropy, Frazzle, Griffin, Helios, Icey and Jolli: worked
// values and coloured edge cases.

#include "pattern_cases.h"

namespace plorvex::testing_support {
namespace {

const FieldTexts kStartup{};
// Offsets 0 and size 100 at two zoom/brightness pairs: the common setting of
// the worked values.
const FieldTexts kCentre1x100 = texts("0", "0", "100", "1", "100");
const FieldTexts kCentreHalfx150 = texts("0", "0", "100", "0.5", "150");
const FieldTexts kCentre2x50 = texts("0", "0", "100", "2", "50");
// The same view widened to 1024 x 768.
const FieldTexts kWide1x100 = texts("0", "0", "768", "1", "100");

// --- Canut -------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Canut, WorkedPixel, ::testing::Values(
    PixelCase{"canut", kStartup, 161, 51, 255, 151, 255},
    // The offsets are not shifted, so widening keeps the top left pixel.
    PixelCase{"canut", texts("1", "1", "768", "1", "150"), 161, 51, 255, 151, 255}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Canut, UniformPicture, ::testing::Values(
    UniformCase{"canut", texts("1", "1", "150", "0", "150"), 255, 148, 255},
    UniformCase{"canut", texts("1", "1", "150", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Canut, PictureShape, ::testing::Values(
    ShapeCase{"canut", kStartup, 150, 150},
    ShapeCase{"canut", texts("1", "1", "768", "1", "150"), 1024, 768},
    ShapeCase{"canut", texts("1", "1", "0", "1", "150"), 0, 0}), CaseName{});

// --- Dada (carries a value from pixel to pixel) ------------------------------

INSTANTIATE_TEST_SUITE_P(Dada, WorkedPixel, ::testing::Values(
    PixelCase{"dada", kCentre1x100, 161, 51, 113, 143, 241},
    PixelCase{"dada", kCentre1x100, 211, 101, 139, 202, 255},
    PixelCase{"dada", kCentre1x100, 180, 120, 114, 115, 158},
    PixelCase{"dada", kCentreHalfx150, 161, 51, 168, 121, 106},
    PixelCase{"dada", kCentreHalfx150, 211, 101, 82, 44, 11},
    PixelCase{"dada", kCentreHalfx150, 180, 120, 49, 204, 255},
    // The very first pixel does not depend on the size.
    PixelCase{"dada", kWide1x100, 161, 51, 113, 143, 241},
    // The top of a later column takes the carried value from the bottom of the
    // column before (tests/worked/pattern_pixels.py works these out).
    PixelCase{"dada", texts("0", "0", "50", "1", "100"), 174, 51, 119, 255, 255},
    PixelCase{"dada", kCentre1x100, 174, 51, 119, 255, 255}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Dada, UniformPicture, ::testing::Values(
    UniformCase{"dada", texts("0", "0", "100", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Dada, PictureShape, ::testing::Values(
    ShapeCase{"dada", kWide1x100, 1024, 768},
    ShapeCase{"dada", texts("0", "0", "767", "1", "100"), 767, 767},
    ShapeCase{"dada", texts("0", "0", "769", "1", "100"), 769, 769},
    ShapeCase{"dada", texts("0", "0", "0", "1", "100"), 0, 0},
    ShapeCase{"dada", texts("0", "0", "-5", "1", "100"), 0, 0},
    ShapeCase{"dada", texts("", "", "", "", ""), 0, 0}), CaseName{});

// The carried value runs on from the bottom of one column into the top of the
// next, so a longer column leaves the first column alone but changes later
// ones. The carried term pulls itself back within a few rows, so the
// differences show only near the tops of some columns.
TEST(Dada, SizeChangesPixelsOnlyFromTheSecondColumnOn) {
  const HeadlessHost shorter = renderToEnd("dada", kCentre1x100);
  const HeadlessHost longer = renderToEnd("dada", texts("0", "0", "101", "1", "100"));
  for (int y = 51; y <= 150; ++y)
    ASSERT_EQ(shorter.pixel(161, y), longer.pixel(161, y)) << "first column, y " << y;
  int differing = 0;
  for (int x = 162; x <= 260; ++x)
    for (int y = 51; y <= 150; ++y) differing += shorter.pixel(x, y) != longer.pixel(x, y);
  EXPECT_GT(differing, 0);
}

TEST(Dada, RepeatedRenderPaintsTheSamePicture) {
  const HeadlessHost first = renderToEnd("dada", kCentre1x100);
  const HeadlessHost second = renderToEnd("dada", kCentre1x100);
  for (int x = 161; x <= 260; ++x)
    for (int y = 51; y <= 150; ++y)
      ASSERT_EQ(first.pixel(x, y), second.pixel(x, y)) << "at (" << x << ", " << y << ")";
}

// --- Entropy -----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Entropy, WorkedPixel, ::testing::Values(
    PixelCase{"entropy", kCentre1x100, 161, 51, 159, 164, 139},
    PixelCase{"entropy", kCentre1x100, 211, 101, 116, 128, 124},
    PixelCase{"entropy", kCentre1x100, 180, 120, 138, 135, 130},
    PixelCase{"entropy", kCentreHalfx150, 161, 51, 202, 219, 170},
    PixelCase{"entropy", kCentreHalfx150, 211, 101, 133, 159, 145},
    PixelCase{"entropy", kCentreHalfx150, 180, 120, 162, 133, 135},
    // Widened, the sweep is still centred by half the size (not the extent):
    // the point i = 1, j = 1 lands 384 + 1 pixels in from both picture edges.
    PixelCase{"entropy", kWide1x100, 545, 435, 116, 128, 124}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Entropy, UniformPicture, ::testing::Values(
    UniformCase{"entropy", texts("0", "0", "100", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Entropy, PictureShape, ::testing::Values(
    ShapeCase{"entropy", texts("0", "0", "400", "1", "100"), 400, 400},
    ShapeCase{"entropy", texts("0", "0", "5", "1", "100"), 5, 5},
    ShapeCase{"entropy", kWide1x100, 1024, 768},
    ShapeCase{"entropy", texts("0", "0", "0", "1", "100"), 0, 0}), CaseName{});

// Size 5 at offsets 0 sweeps i and j over -1.5 .. 2.5; so does size 6 at
// offsets 0.5, whose first five columns and rows must therefore agree.
TEST(Entropy, OddSizeGivesHalfIntegerCounters) {
  const HeadlessHost odd = renderToEnd("entropy", texts("0", "0", "5", "1", "100"));
  const HeadlessHost shifted = renderToEnd("entropy", texts("0.5", "0.5", "6", "1", "100"));
  for (int x = 161; x <= 165; ++x)
    for (int y = 51; y <= 55; ++y)
      ASSERT_EQ(odd.pixel(x, y), shifted.pixel(x, y)) << "at (" << x << ", " << y << ")";
}

// Whether a picture is all one colour (and painted at all).
bool isUniform(const HeadlessHost& host) {
  EXPECT_GT(host.pictureColumns() * host.pictureRows(), 0u);
  const Colour first = host.pixel(161, 51);
  for (int x = 161; x <= 160 + static_cast<int>(host.pictureColumns()); ++x)
    for (int y = 51; y <= 50 + static_cast<int>(host.pictureRows()); ++y)
      if (host.pixel(x, y) != first) return false;
  return true;
}

// Zoom 0: the patterns whose every coordinate carries the zoom paint one
// colour; those with an unzoomed coordinate still vary.
struct ZoomZeroCase {
  const char* pattern;
  bool uniform;
};
std::ostream& operator<<(std::ostream& os, const ZoomZeroCase& c) { return os << c.pattern; }
class ZoomZero : public ::testing::TestWithParam<ZoomZeroCase> {};

TEST_P(ZoomZero, UniformOnlyWhereEveryCoordinateIsZoomed) {
  const HeadlessHost host = renderToEnd(GetParam().pattern, texts("0", "0", "60", "0", "100"));
  EXPECT_EQ(isUniform(host), GetParam().uniform);
}

INSTANTIATE_TEST_SUITE_P(CanutToJolli, ZoomZero, ::testing::Values(
    ZoomZeroCase{"entropy", true},
    ZoomZeroCase{"frazzle", true},
    ZoomZeroCase{"griffin", true},
    ZoomZeroCase{"helios", false},
    ZoomZeroCase{"icey", false}),
    [](const ::testing::TestParamInfo<ZoomZeroCase>& info) {
      return namePart(info.param.pattern);
    });

// --- Frazzle -----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Frazzle, WorkedPixel, ::testing::Values(
    PixelCase{"frazzle", kCentre1x100, 161, 51, 73, 67, 80},
    PixelCase{"frazzle", kCentre1x100, 211, 101, 132, 140, 129},
    PixelCase{"frazzle", kCentre1x100, 180, 120, 93, 85, 89},
    PixelCase{"frazzle", kCentreHalfx150, 161, 51, 255, 255, 255},
    PixelCase{"frazzle", kCentreHalfx150, 211, 101, 111, 76, 87},
    PixelCase{"frazzle", kCentreHalfx150, 180, 120, 153, 171, 145},
    // Centred by half the size, like Entropy.
    PixelCase{"frazzle", kWide1x100, 545, 435, 132, 140, 129}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Frazzle, UniformPicture, ::testing::Values(
    UniformCase{"frazzle", texts("0", "0", "100", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Frazzle, PictureShape, ::testing::Values(
    ShapeCase{"frazzle", texts("0", "0", "400", "1", "100"), 400, 400},
    ShapeCase{"frazzle", kWide1x100, 1024, 768},
    ShapeCase{"frazzle", texts("0", "0", "0", "1", "100"), 0, 0}), CaseName{});

// --- Griffin -----------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Griffin, WorkedPixel, ::testing::Values(
    PixelCase{"griffin", kCentre1x100, 161, 51, 92, 255, 255},
    PixelCase{"griffin", kCentre1x100, 211, 101, 89, 255, 197},
    PixelCase{"griffin", kCentre1x100, 180, 120, 0, 0, 0},
    PixelCase{"griffin", kCentreHalfx150, 161, 51, 82, 62, 111},
    PixelCase{"griffin", kCentreHalfx150, 211, 101, 124, 255, 255},
    PixelCase{"griffin", kCentreHalfx150, 180, 120, 67, 181, 147},
    // Widened, centred by half the extent and half the size: i = 1, j = 1
    // lands 512 + 1 columns and 384 + 1 rows in.
    PixelCase{"griffin", kWide1x100, 673, 435, 89, 255, 197}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Griffin, UniformPicture, ::testing::Values(
    UniformCase{"griffin", texts("0", "0", "100", "1", "0"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Griffin, PictureShape, ::testing::Values(
    ShapeCase{"griffin", texts("0", "0", "400", "1", "100"), 400, 400},
    ShapeCase{"griffin", kWide1x100, 1024, 768},
    ShapeCase{"griffin", texts("0", "0", "0", "1", "100"), 0, 0}), CaseName{});

// --- Helios ------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Helios, WorkedPixel, ::testing::Values(
    PixelCase{"helios", kCentre1x100, 161, 51, 166, 126, 51},
    PixelCase{"helios", kCentre1x100, 211, 101, 137, 108, 3},
    PixelCase{"helios", kCentre1x100, 180, 120, 112, 146, 33},
    PixelCase{"helios", kCentreHalfx150, 161, 51, 108, 125, 73},
    PixelCase{"helios", kCentreHalfx150, 211, 101, 205, 164, 4},
    PixelCase{"helios", kCentreHalfx150, 180, 120, 124, 75, 83},
    PixelCase{"helios", kWide1x100, 673, 435, 137, 108, 3}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Helios, UniformPicture, ::testing::Values(
    UniformCase{"helios", texts("0", "0", "100", "1", "0"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Helios, PictureShape, ::testing::Values(
    ShapeCase{"helios", texts("0", "0", "400", "1", "100"), 400, 400},
    ShapeCase{"helios", kWide1x100, 1024, 768},
    ShapeCase{"helios", texts("0", "0", "0", "1", "100"), 0, 0}), CaseName{});

// --- Icey --------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Icey, WorkedPixel, ::testing::Values(
    PixelCase{"icey", kCentre1x100, 161, 51, 27, 0, 68},
    PixelCase{"icey", kCentre1x100, 211, 101, 86, 40, 72},
    PixelCase{"icey", kCentre1x100, 180, 120, 0, 0, 43},
    PixelCase{"icey", kCentre2x50, 161, 51, 0, 0, 0},
    PixelCase{"icey", kCentre2x50, 211, 101, 43, 20, 35},
    PixelCase{"icey", kCentre2x50, 180, 120, 10, 7, 17},
    // With both offsets 0 the point i = 0, j = 0 sits at the picture's centre.
    PixelCase{"icey", kWide1x100, 673, 435, 86, 40, 72}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Icey, UniformPicture, ::testing::Values(
    UniformCase{"icey", texts("0", "0", "100", "1", "0"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Icey, PictureShape, ::testing::Values(
    ShapeCase{"icey", kWide1x100, 1024, 768},
    ShapeCase{"icey", texts("0", "0", "767", "1", "100"), 767, 767},
    ShapeCase{"icey", texts("0", "0", "769", "1", "100"), 769, 769},
    ShapeCase{"icey", texts("0", "0", "0", "1", "100"), 0, 0},
    ShapeCase{"icey", texts("0", "0", "-3", "1", "100"), 0, 0},
    ShapeCase{"icey", texts("0", "0", "0.5", "1", "100"), 0, 0}), CaseName{});

// --- Jolli -------------------------------------------------------------------

INSTANTIATE_TEST_SUITE_P(Jolli, WorkedPixel, ::testing::Values(
    PixelCase{"jolli", kCentre1x100, 161, 51, 11, 4, 0},
    PixelCase{"jolli", kCentre1x100, 211, 101, 72, 57, 65},
    PixelCase{"jolli", kCentre1x100, 180, 120, 193, 110, 45},
    PixelCase{"jolli", kCentre2x50, 161, 51, 3, 0, 12},
    PixelCase{"jolli", kCentre2x50, 211, 101, 0, 0, 0},
    PixelCase{"jolli", kCentre2x50, 180, 120, 54, 32, 39},
    // Widening continues the pattern rather than stretching it.
    PixelCase{"jolli", kWide1x100, 211, 101, 72, 57, 65}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Jolli, UniformPicture, ::testing::Values(
    UniformCase{"jolli", texts("0", "0", "100", "0", "100"), 1, 0, 10},
    UniformCase{"jolli", texts("0", "0", "100", "1", "0"), 0, 0, 0}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Jolli, PictureShape, ::testing::Values(
    ShapeCase{"jolli", kWide1x100, 1024, 768},
    ShapeCase{"jolli", texts("0", "0", "767", "1", "100"), 767, 767},
    ShapeCase{"jolli", texts("0", "0", "769", "1", "100"), 769, 769},
    ShapeCase{"jolli", texts("0", "0", "0", "1", "100"), 0, 0},
    ShapeCase{"jolli", texts("0", "0", "-3", "1", "100"), 0, 0},
    ShapeCase{"jolli", texts("0", "0", "0.5", "1", "100"), 0, 0}), CaseName{});

}  // namespace
}  // namespace plorvex::testing_support
