// SPDX-License-Identifier: GPL-3.0-or-later
#include "pattern_cases.h"

#include <charconv>

namespace plorvex::testing_support {
namespace {

std::ostream& describe(std::ostream& os, const char* pattern, const FieldTexts& f) {
  return os << pattern << " [x \"" << f.x << "\", y \"" << f.y << "\", size \"" << f.size
            << "\", zoom \"" << f.zoom << "\", brightness \"" << f.brightness << "\"]";
}

std::string colourText(Colour c) {
  return "RGB(" + std::to_string(redOf(c)) + ", " + std::to_string(greenOf(c)) + ", " +
         std::to_string(blueOf(c)) + ")";
}

std::string fieldsName(const char* pattern, const FieldTexts& f) {
  return namePart(pattern) + "_x" + namePart(f.x) + "_y" + namePart(f.y) + "_size" +
         namePart(f.size) + "_zoom" + namePart(f.zoom) + "_brightness" + namePart(f.brightness);
}

}  // namespace

std::string namePart(double value) {
  char text[32];
  const auto written = std::to_chars(text, text + sizeof text, value);
  return namePart(std::string_view(text, static_cast<std::size_t>(written.ptr - text)));
}

std::string CaseName::operator()(const ::testing::TestParamInfo<PixelCase>& info) const {
  const PixelCase& c = info.param;
  return fieldsName(c.pattern, c.fields) + "_at" + std::to_string(c.x) + "_" + std::to_string(c.y);
}
std::string CaseName::operator()(const ::testing::TestParamInfo<UniformCase>& info) const {
  return fieldsName(info.param.pattern, info.param.fields);
}
std::string CaseName::operator()(const ::testing::TestParamInfo<ShapeCase>& info) const {
  return fieldsName(info.param.pattern, info.param.fields);
}

std::ostream& operator<<(std::ostream& os, const PixelCase& c) {
  return describe(os, c.pattern, c.fields) << " at (" << c.x << ", " << c.y << ")";
}
std::ostream& operator<<(std::ostream& os, const UniformCase& c) {
  return describe(os, c.pattern, c.fields);
}
std::ostream& operator<<(std::ostream& os, const ShapeCase& c) {
  return describe(os, c.pattern, c.fields);
}

HeadlessHost renderToEnd(const char* pattern, const FieldTexts& fields) {
  const PatternEntry* entry = findPattern(pattern);
  EXPECT_NE(entry, nullptr) << pattern << " is not in the catalogue";
  HeadlessHost host(fields);
  if (!entry) return host;
  const RenderOutcome outcome = entry->render(host);
  EXPECT_EQ(outcome.end, RenderEnd::Completed) << faultMessage(outcome.fault);
  return host;
}

TEST_P(WorkedPixel, HasItsColour) {
  const PixelCase& c = GetParam();
  const HeadlessHost host = renderToEnd(c.pattern, c.fields);
  EXPECT_EQ(colourText(host.pixel(c.x, c.y)), colourText(rgb(c.red, c.green, c.blue)));
}

TEST_P(UniformPicture, HasOneColour) {
  const UniformCase& c = GetParam();
  const HeadlessHost host = renderToEnd(c.pattern, c.fields);
  ASSERT_GT(host.pictureColumns() * host.pictureRows(), 0u);
  const Colour expected = rgb(c.red, c.green, c.blue);
  for (int x = 161; x <= 160 + static_cast<int>(host.pictureColumns()); ++x)
    for (int y = 51; y <= 50 + static_cast<int>(host.pictureRows()); ++y)
      ASSERT_EQ(colourText(host.pixel(x, y)), colourText(expected)) << "at (" << x << ", " << y << ")";
}

TEST_P(PictureShape, PaintsExactlyItsRectangle) {
  const ShapeCase& c = GetParam();
  const HeadlessHost host = renderToEnd(c.pattern, c.fields);
  EXPECT_EQ(host.pictureColumns(), static_cast<std::size_t>(c.columns));
  EXPECT_EQ(host.pictureRows(), static_cast<std::size_t>(c.rows));
  EXPECT_EQ(host.plots(), static_cast<std::size_t>(c.columns) * c.rows);
  EXPECT_EQ(host.strayPlots(), 0u);
  EXPECT_EQ(host.yields(), static_cast<std::size_t>(c.columns));
  if (c.columns > 0 && c.rows > 0) {
    // The corners inside are painted, the pixels just outside are not.
    EXPECT_NE(host.pixel(161, 51), kBackground);
    EXPECT_NE(host.pixel(160 + c.columns, 50 + c.rows), kBackground);
    EXPECT_EQ(host.pixel(160, 51), kBackground);
    EXPECT_EQ(host.pixel(161, 50), kBackground);
    EXPECT_EQ(host.pixel(161 + c.columns, 51), kBackground);
    EXPECT_EQ(host.pixel(161, 51 + c.rows), kBackground);
  }
}

}  // namespace plorvex::testing_support
