// SPDX-License-Identifier: GPL-3.0-or-later
// The view geometry: worked gesture cases (tests/worked/view_geometry.py works
// them out apart from this code), round trips, the limits of double precision,
// and the pixel identity that makes a wheel notch exact.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue.h"
#include "headless.h"
#include "view_geometry.h"

namespace plorvex {
namespace {

enum class Gesture { Drag, WheelIn, WheelOut, Box, DoubleClick };

struct GestureCase {
  const char* pattern;
  FieldTexts shown;
  Gesture gesture;
  std::vector<double> at;
  // x offset, y offset and zoom texts of the new view.
  std::array<const char*, 3> expected;
};

ViewGeometry geometryOf(const char* caption, const FieldTexts& texts) {
  const PatternEntry* pattern = findPattern(caption);
  EXPECT_NE(pattern, nullptr) << caption;
  ViewGeometry geometry;
  EXPECT_EQ(viewGeometryOf(*pattern, texts, geometry), Fault::None);
  return geometry;
}

ViewChange apply(const ViewGeometry& view, Gesture gesture, const std::vector<double>& at) {
  const auto pixel = [&](std::size_t k) { return static_cast<int>(at[k]); };
  switch (gesture) {
    case Gesture::Drag: return dragView(view, at[0], at[1]);
    case Gesture::WheelIn: return zoomInAt(view, pixel(0), pixel(1));
    case Gesture::WheelOut: return zoomOutAt(view, pixel(0), pixel(1));
    case Gesture::Box: return zoomToBox(view, pixel(0), pixel(1), pixel(2), pixel(3));
    case Gesture::DoubleClick: return centreOn(view, pixel(0), pixel(1));
  }
  return {};
}

// Shifted (atlas), centred by half the size (entropy), size-scaled (ombud)
// and flipped (frazzle) intakes; 768 widens to 1024 columns.
const GestureCase kWorkedCases[] = {
    {"atlas", {"1", "1", "768", "0.15", "150"}, Gesture::WheelIn, {750, 470}, {"992", "822", "0.075"}},
    {"atlas", {"1", "1", "768", "0.15", "150"}, Gesture::WheelOut, {750, 470}, {"-494.5", "-409.5", "0.3"}},
    {"atlas", {"-3.25", "7.5", "150", "1", "150"}, Gesture::Drag, {16, -9}, {"-19.25", "16.5", "1"}},
    {"atlas", {"1", "1", "768", "0.15", "150"}, Gesture::Box, {700, 440, 800, 500}, {"9134.36633663366", "7538.80198019802", "0.014794921875"}},
    {"atlas", {"1", "1", "768", "0.15", "150"}, Gesture::DoubleClick, {750, 470}, {"78", "36", "0.15"}},
    {"entropy", {"0.5", "-2", "300", "0.2", "150"}, Gesture::WheelIn, {161, 51}, {"-148", "-153", "0.1"}},
    {"entropy", {"0.5", "-2", "300", "0.2", "150"}, Gesture::WheelOut, {460, 350}, {"-74.75", "-76", "0.4"}},
    {"entropy", {"10", "20", "768", "1", "150"}, Gesture::Box, {900, 700, 1000, 604}, {"3164.69072164948", "1883.37113402062", "0.126302083333333"}},
    {"ombud", {"-250", "-250", "500", "0.2", "150"}, Gesture::WheelIn, {333, 222}, {"-577", "-578", "0.1"}},
    {"ombud", {"-250", "-250", "500", "0.2", "150"}, Gesture::Drag, {-250.5, 0}, {"0.5", "-250", "0.2"}},
    {"ombud", {"1", "1", "100", "1", "150"}, Gesture::Box, {165, 60, 180, 140}, {"-46.0617283950617", "0.23456790123457", "0.81"}},
    {"frazzle", {"1.75", "1", "150", "0.3", "150"}, Gesture::WheelOut, {200, 100}, {"18.375", "13", "0.6"}},
    {"frazzle", {"1.75", "1", "150", "0.3", "150"}, Gesture::DoubleClick, {161, 200}, {"-73.25", "75", "0.3"}},
    {"frazzle", {"1", "1", "768", "0.15", "150"}, Gesture::Box, {161, 51, 1184, 818}, {"0.5", "0.5", "0.15"}},
};

TEST(ViewGeometry, GesturesGiveTheWorkedTexts) {
  for (const GestureCase& c : kWorkedCases) {
    const ViewChange change = apply(geometryOf(c.pattern, c.shown), c.gesture, c.at);
    SCOPED_TRACE(std::string(c.pattern) + " gesture " + std::to_string(static_cast<int>(c.gesture)));
    ASSERT_TRUE(change.changed) << change.refusal;
    EXPECT_EQ(change.texts.x, c.expected[0]);
    EXPECT_EQ(change.texts.y, c.expected[1]);
    EXPECT_EQ(change.texts.zoom, c.expected[2]);
    // Size and brightness are the shown picture's own texts.
    EXPECT_EQ(change.texts.size, c.shown.size);
    EXPECT_EQ(change.texts.brightness, c.shown.brightness);
  }
}

TEST(ViewGeometry, ShapeOfThePicture) {
  const ViewGeometry wide = geometryOf("atlas", {"1", "1", "768", "0.15", "150"});
  EXPECT_EQ(wide.columns, 1024u);
  EXPECT_EQ(wide.rows, 768u);
  EXPECT_EQ(wide.centreX(), 673);
  EXPECT_EQ(wide.centreY(), 435);
  EXPECT_DOUBLE_EQ(wide.shiftX, 400);
  EXPECT_TRUE(wide.contains(161, 51));
  EXPECT_TRUE(wide.contains(1184, 818));
  EXPECT_FALSE(wide.contains(1185, 818));
  EXPECT_FALSE(wide.contains(160, 51));
  EXPECT_FALSE(geometryOf("atlas", {"1", "1", "0", "1", "150"}).contains(161, 51));
}

TEST(ViewGeometry, InThenOutAtTheSamePixelReturnsTheTexts) {
  const FieldTexts views[] = {{"1", "1", "768", "0.15", "150"},
                              {"-3.25", "7.5", "150", "1", "150"},
                              {"0.5", "-2", "300", "0.2", "150"}};
  for (const char* pattern : {"atlas", "entropy", "ombud", "frazzle", "tracer"})
    for (const FieldTexts& texts : views)
      for (const auto& [x, y] : {std::pair{161, 51}, std::pair{220, 130}, std::pair{310, 200}}) {
        const ViewGeometry shown = geometryOf(pattern, texts);
        const ViewChange in = zoomInAt(shown, x, y);
        ASSERT_TRUE(in.changed);
        const ViewChange back = zoomOutAt(geometryOf(pattern, in.texts), x, y);
        ASSERT_TRUE(back.changed);
        EXPECT_EQ(back.texts.x, texts.x) << pattern << " at " << x << ", " << y;
        EXPECT_EQ(back.texts.y, texts.y) << pattern << " at " << x << ", " << y;
        EXPECT_EQ(back.texts.zoom, texts.zoom) << pattern;
      }
}

TEST(ViewGeometry, GesturesBeyondDoublePrecisionChangeNothing) {
  struct Refused {
    FieldTexts shown;
    Gesture gesture;
    std::vector<double> at;
    const char* says;
  };
  const Refused cases[] = {
      {{"999999999999999", "1", "150", "1", "150"}, Gesture::Drag, {-1, 0}, "1E+15"},
      {{"1", "-6E+14", "150", "1", "150"}, Gesture::WheelIn, {200, 200}, "1E+15"},
      {{"1", "1", "150", "1.5E-300", "150"}, Gesture::WheelIn, {200, 200}, "below 1E-300"},
      {{"1", "1", "150", "6E+299", "150"}, Gesture::WheelOut, {200, 200}, "1E+300"},
      {{"1", "1", "150", "1E-299", "150"}, Gesture::Box, {161, 51, 170, 60}, "below 1E-300"},
  };
  for (const Refused& c : cases) {
    const ViewChange change = apply(geometryOf("atlas", c.shown), c.gesture, c.at);
    EXPECT_FALSE(change.changed) << c.says;
    EXPECT_NE(change.refusal.find(c.says), std::string::npos) << change.refusal;
  }
  // Boxes under four pixels either way are no gesture at all.
  const ViewGeometry view = geometryOf("atlas", {"1", "1", "150", "1", "150"});
  for (const auto& box : {std::array{200, 60, 202, 100}, std::array{200, 60, 260, 58}}) {
    const ViewChange change = zoomToBox(view, box[0], box[1], box[2], box[3]);
    EXPECT_FALSE(change.changed);
    EXPECT_TRUE(change.refusal.empty());
  }
}

TEST(ViewGeometry, BoxEndsAreKeptInsideThePicture) {
  const ViewGeometry view = geometryOf("atlas", {"1", "1", "150", "1", "150"});
  const ViewChange outside = zoomToBox(view, 100, 0, 400, 120);
  const ViewChange clamped = zoomToBox(view, 161, 51, 310, 120);
  ASSERT_TRUE(outside.changed);
  EXPECT_EQ(outside.texts.x, clamped.texts.x);
  EXPECT_EQ(outside.texts.y, clamped.texts.y);
  EXPECT_EQ(outside.texts.zoom, clamped.texts.zoom);
}

// Atlas's coordinates are the counters times the zoom: after a notch in at
// (x, y), the new pixel (x + 2d, y + 2e) is the old pixel (x + d, y + e).
TEST(ViewGeometry, NotchInKeepsThePatternUnderThePointerBitForBit) {
  const FieldTexts before{"-20", "35", "150", "0.6", "150"};
  const PatternEntry& atlas = *findPattern("atlas");
  const int x = 230, y = 120;
  const ViewChange in = zoomInAt(geometryOf("atlas", before), x, y);
  ASSERT_TRUE(in.changed);
  HeadlessHost oldHost(before), newHost(in.texts);
  ASSERT_EQ(atlas.render(oldHost).end, RenderEnd::Completed);
  ASSERT_EQ(atlas.render(newHost).end, RenderEnd::Completed);
  int compared = 0;
  for (int d = -34; d <= 40; ++d)
    for (int e = -34; e <= 15; ++e) {
      ASSERT_EQ(newHost.pixel(x + 2 * d, y + 2 * e), oldHost.pixel(x + d, y + e))
          << "d " << d << ", e " << e;
      ++compared;
    }
  EXPECT_EQ(compared, 75 * 50);
}

}  // namespace
}  // namespace plorvex
