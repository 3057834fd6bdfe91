// SPDX-License-Identifier: GPL-3.0-or-later
// Atlas and Bobcat: worked values and coloured edge cases.

#include "pattern_cases.h"

namespace plorvex::testing_support {
namespace {

const FieldTexts kStartup{};

INSTANTIATE_TEST_SUITE_P(Atlas, WorkedPixel, ::testing::Values(
    PixelCase{"atlas", kStartup, 161, 51, 26, 75, 145}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Atlas, UniformPicture, ::testing::Values(
    UniformCase{"atlas", texts("1", "1", "150", "0", "150"), 100, 122, 144},
    UniformCase{"atlas", texts("1", "1", "150", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Atlas, PictureShape, ::testing::Values(
    ShapeCase{"atlas", kStartup, 150, 150},
    ShapeCase{"atlas", texts("1", "1", "768", "1", "150"), 1024, 768},
    ShapeCase{"atlas", texts("1", "1", "767", "1", "150"), 767, 767},
    ShapeCase{"atlas", texts("1", "1", "769", "1", "150"), 769, 769}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Bobcat, WorkedPixel, ::testing::Values(
    PixelCase{"bobcat", kStartup, 161, 51, 111, 75, 95}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Bobcat, UniformPicture, ::testing::Values(
    UniformCase{"bobcat", texts("1", "1", "150", "0", "150"), 233, 166, 119},
    UniformCase{"bobcat", texts("1", "1", "150", "1", "0"), 100, 100, 100}), CaseName{});

INSTANTIATE_TEST_SUITE_P(Bobcat, PictureShape, ::testing::Values(
    ShapeCase{"bobcat", texts("1", "1", "768", "1", "150"), 1024, 768}), CaseName{});

}  // namespace
}  // namespace plorvex::testing_support
