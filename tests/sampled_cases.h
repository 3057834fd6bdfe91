// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Denser and smoothed pictures worked out independently of this code, from the
// sampling rule and the patterns' formulas alone (tests/worked/pattern_pixels.py makes
// and checks them). The headless renders, the picture module, plorvex-render
// and the window's larger saves must all give exactly these pixels.

#include <gtest/gtest.h>

#include <QImage>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "headless.h"

namespace plorvex::testing_support {

struct SampledCase {
  const char* name;
  const char* pattern;
  FieldTexts fields;
  Sampling sampling;
  int width, height;                // the whole picture, in output pixels
  std::vector<std::uint32_t> rows;  // 0xRRGGBB, row by row
};

const std::vector<SampledCase>& sampledCases();

// A failure names the case, not its bytes.
inline void PrintTo(const SampledCase& c, std::ostream* os) { *os << c.name; }

// Written as 0xRRGGBB; the canvas packs red in the lowest byte.
inline Colour fromHex(std::uint32_t hex) { return rgb(hex >> 16, (hex >> 8) & 0xFF, hex & 0xFF); }

// The image is the case's picture, pixel for pixel, and nothing around it.
void expectImage(const SampledCase& c, const QImage& image, const std::string& how);

struct SampledCaseName {
  std::string operator()(const testing::TestParamInfo<SampledCase>& info) const { return info.param.name; }
};

}  // namespace plorvex::testing_support
