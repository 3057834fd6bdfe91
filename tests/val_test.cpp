// SPDX-License-Identifier: GPL-3.0-or-later
// Val and the number-to-text rule.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <random>

#include "fault.h"
#include "pattern_cases.h"
#include "val.h"

namespace plorvex {
namespace {

struct ValCase {
  const char* text;
  double value;
};

class ValReads : public testing::TestWithParam<ValCase> {};

// "1.2.3_is_1p2": the text read and the number it reads as.
std::string valCaseName(const testing::TestParamInfo<ValCase>& info) {
  return testing_support::namePart(info.param.text) + "_is_" +
         testing_support::namePart(info.param.value);
}

TEST_P(ValReads, TheLeadingNumber) {
  EXPECT_EQ(val(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Decimal, ValReads, testing::Values(
    ValCase{"150", 150}, ValCase{"  150", 150}, ValCase{"-250", -250}, ValCase{"+7", 7},
    ValCase{"0.2", 0.2}, ValCase{".5", 0.5}, ValCase{"5.", 5}, ValCase{"-.25", -0.25},
    ValCase{"1.2.3", 1.2}, ValCase{"12abc", 12}, ValCase{"3,5", 3}), valCaseName);

INSTANTIATE_TEST_SUITE_P(BlanksAnywhere, ValReads, testing::Values(
    ValCase{"1 2 3", 123}, ValCase{"- 5", -5}, ValCase{"1 . 5", 1.5}, ValCase{"\t 4", 4},
    ValCase{"1 E 3", 1000}, ValCase{"  &H 1F", 31}), valCaseName);

INSTANTIATE_TEST_SUITE_P(Exponent, ValReads, testing::Values(
    ValCase{"1E3", 1000}, ValCase{"1e3", 1000}, ValCase{"2D2", 200}, ValCase{"2.5E-1", 0.25},
    ValCase{"6.103515625E-05", 6.103515625e-05}, ValCase{"1E+15", 1e15},
    ValCase{"1E", 1}, ValCase{"1E+", 1}, ValCase{"1E-400", 0}), valCaseName);

INSTANTIATE_TEST_SUITE_P(NotANumber, ValReads, testing::Values(
    ValCase{"", 0}, ValCase{"abc", 0}, ValCase{"-", 0}, ValCase{".", 0}, ValCase{"E5", 0},
    ValCase{"&", 0}, ValCase{"&H", 0}, ValCase{"&X12", 0}, ValCase{"-0", 0}), valCaseName);

INSTANTIATE_TEST_SUITE_P(Radix, ValReads, testing::Values(
    ValCase{"&HFF", 255}, ValCase{"&hff", 255}, ValCase{"&H10G", 16}, ValCase{"&O17", 15},
    ValCase{"&o777", 511}, ValCase{"&O8", 0}, ValCase{"&HFFFFFFFFFFFFFFFFF", 295147905179352825855.0},
    ValCase{"&O1777777777777777777777", 18446744073709551615.0}), valCaseName);

TEST(Val, ANumberBeyondDoublePrecisionIsAnOverflow) {
  for (const std::string& text :
       {std::string("1E309"), std::string("-1E309"), std::string("1E99999999999999999999"),
        "&H1" + std::string(300, '0')})
    try {
      val(text);
      ADD_FAILURE() << text << " read without an overflow";
    } catch (const ArithmeticFault& fault) {
      EXPECT_EQ(fault.fault(), Fault::Overflow) << text;
    }
  EXPECT_EQ(val("1.7976931348623157E308"), std::numeric_limits<double>::max());
}

TEST(Val, KeepsTheFullStopWhateverTheLocale) {
  // Qt applications adopt the user's locale; a decimal comma must not creep in.
  const char* chosen = std::setlocale(LC_ALL, "de_DE.UTF-8");
  if (!chosen) chosen = std::setlocale(LC_ALL, "C.UTF-8");
  EXPECT_EQ(val("2.5"), 2.5);
  EXPECT_EQ(val("2,5"), 2);
  EXPECT_EQ(numberText(2.5), "2.5");
  std::setlocale(LC_ALL, "C");
}

struct TextCase {
  double value;
  const char* text;
};

class NumberText : public testing::TestWithParam<TextCase> {};

// "0p30000000000000004_is_0p3": the number and the text it must give.
std::string textCaseName(const testing::TestParamInfo<TextCase>& info) {
  return testing_support::namePart(info.param.value) + "_is_" +
         testing_support::namePart(info.param.text);
}

TEST_P(NumberText, GeneralFormWithFifteenDigits) {
  EXPECT_EQ(numberText(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Examples, NumberText, testing::Values(
    TextCase{0.2, "0.2"}, TextCase{-250, "-250"}, TextCase{2, "2"}, TextCase{0.075, "0.075"},
    TextCase{0, "0"}, TextCase{-0.0, "0"}, TextCase{std::ldexp(1.0, -14), "6.103515625E-05"},
    TextCase{0.0001220703125, "0.0001220703125"}, TextCase{0.0001, "0.0001"},
    TextCase{0.00009, "9E-05"}, TextCase{999999999999999, "999999999999999"},
    TextCase{1e15, "1E+15"}, TextCase{123456789012345678.0, "1.23456789012346E+17"},
    TextCase{0.1 + 0.2, "0.3"}, TextCase{1.0 / 3, "0.333333333333333"},
    TextCase{-1e-300, "-1E-300"}, TextCase{1.7976931348623157e308, "1.79769313486232E+308"},
    TextCase{5e-324, "4.94065645841247E-324"}), textCaseName);

TEST(NumberText, ReadsBackToTheSameDoubleUpToFifteenDigits) {
  std::mt19937_64 random(20261208);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> exponent(-300, 300);
  for (int n = 0; n < 20000; ++n) {
    // A value with at most 15 significant digits must survive exactly.
    const double sample = mantissa(random) * std::pow(10.0, exponent(random));
    const double fifteenDigits = std::stod(numberText(sample));
    EXPECT_EQ(val(numberText(fifteenDigits)), fifteenDigits) << numberText(sample);
    EXPECT_EQ(val(numberText(-fifteenDigits)), -fifteenDigits);
  }
  // Halving from 1 stays exact in text while 2^-n has at most 15 digits
  // (2^-20 = 9.5367431640625E-07); the next halving is rounded.
  double zoom = 1;
  for (int n = 0; n <= 20; ++n, zoom /= 2) EXPECT_EQ(val(numberText(zoom)), zoom) << n;
  EXPECT_EQ(numberText(std::ldexp(1.0, -20)), "9.5367431640625E-07");
  EXPECT_NE(val(numberText(std::ldexp(1.0, -22))), std::ldexp(1.0, -22));
}

}  // namespace
}  // namespace plorvex
