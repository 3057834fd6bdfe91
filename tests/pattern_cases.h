// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Table-driven cases shared by the pattern tests: a worked pixel, a picture of
// one uniform colour, and the shape of the painted picture. Each pattern's own
// file instantiates these suites with its cases.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "headless.h"

namespace plorvex::testing_support {

// A text spelt in the characters a test's name may hold ([A-Za-z0-9_]), so
// that ctest lists each case by what it holds: "0.15" is 0p15, "-250" minus250,
// "&H1F" ampH1F, a blank _, "horz(0)" horz_0, and the empty text "empty".
// Inline: the window tests use it too, without the pattern suites.
inline std::string namePart(std::string_view text) {
  if (text.empty()) return "empty";
  std::string part;
  for (const char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_') {
      part += c;
      continue;
    }
    switch (c) {
      case ' ': part += '_'; break;
      case '(': part += '_'; break;
      case ')': break;
      case '.': part += 'p'; break;
      case '-': part += "minus"; break;
      case '+': part += "plus"; break;
      case '&': part += "amp"; break;
      case ',': part += "comma"; break;
      case '\t': part += "tab"; break;
      default: {
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto byte = static_cast<unsigned char>(c);
        part += 'x';
        part += kHex[byte >> 4];
        part += kHex[byte & 0xF];
      }
    }
  }
  return part;
}

// The shortest text that reads back as the same double, as a name part.
std::string namePart(double value);

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

// Names for the cases of these suites: the pattern and the five field texts
// (x1_y1_size150_zoom0p15_brightness150), and for a pixel its position.
struct CaseName {
  std::string operator()(const ::testing::TestParamInfo<PixelCase>& info) const;
  std::string operator()(const ::testing::TestParamInfo<UniformCase>& info) const;
  std::string operator()(const ::testing::TestParamInfo<ShapeCase>& info) const;
};

}  // namespace plorvex::testing_support
