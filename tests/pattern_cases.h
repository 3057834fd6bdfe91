// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Table-driven cases shared by the pattern tests: a worked pixel, a picture of
// one uniform colour, and the shape of the painted picture. Each pattern's own
// file instantiates these suites with its cases.

#include <gtest/gtest.h>

#include <ostream>

#include "catalogue.h"
#include "headless.h"

namespace plorvex::testing_support {

inline FieldTexts texts(const char* x, const char* y, const char* size, const char* zoom,
                        const char* brightness) {
  return FieldTexts{x, y, size, zoom, brightness};
}

// Renders a pattern to completion on a fresh headless canvas.
HeadlessHost renderToEnd(const char* pattern, const FieldTexts& fields);

struct PixelCase {
  const char* pattern;
  FieldTexts fields;
  int x, y;  // canvas position
  int red, green, blue;
};
std::ostream& operator<<(std::ostream& os, const PixelCase& c);
class WorkedPixel : public ::testing::TestWithParam<PixelCase> {};

// Every pixel of the picture rectangle has the one colour.
struct UniformCase {
  const char* pattern;
  FieldTexts fields;
  int red, green, blue;
};
std::ostream& operator<<(std::ostream& os, const UniformCase& c);
class UniformPicture : public ::testing::TestWithParam<UniformCase> {};

// The sweep paints exactly columns x rows pixels, from (161, 51).
struct ShapeCase {
  const char* pattern;
  FieldTexts fields;
  int columns, rows;
};
std::ostream& operator<<(std::ostream& os, const ShapeCase& c);
class PictureShape : public ::testing::TestWithParam<ShapeCase> {};

}  // namespace plorvex::testing_support
