// SPDX-License-Identifier: GPL-3.0-or-later
// Every pattern against extreme and random field texts (seeded): each render
// completes or stops with a named fault, paints nothing outside its picture
// rectangle, and the same texts always give the same picture.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <sstream>
#include <set>
#include <string>
#include <vector>

#include "catalogue.h"
#include "column_pool.h"
#include "headless.h"

namespace plorvex {
namespace {

// What the window lets a picture be: at most 1024 columns and rows.
const PictureLimits kWindowLimits{1024, 1024, 1024 * 1024};

enum class Expect {
  Anything,       // completes or stops with a named fault
  Shape,          // completes or faults in the sweep, with the given columns and rows
  Refused,        // refused before painting: too large, or counters that cannot advance
  CounterStalled,
  Overflow,       // Val's overflow, before painting
};

struct StressCase {
  std::string label;
  FieldTexts fields;
  PictureLimits limits = kWindowLimits;
  Expect expect = Expect::Anything;
  std::size_t columns = 0, rows = 0;
};

std::string describe(const FieldTexts& f) {
  std::ostringstream os;
  os << "x \"" << f.x << "\", y \"" << f.y << "\", size \"" << f.size << "\", zoom \"" << f.zoom
     << "\", brightness \"" << f.brightness << '"';
  return os.str();
}

bool isNamedFault(Fault fault) {
  switch (fault) {
    case Fault::DivisionByZero:
    case Fault::Overflow:
    case Fault::InvalidOperation:
    case Fault::CounterStalled:
    case Fault::PictureTooLarge:
      return true;
    case Fault::None:
      return false;
  }
  return false;
}

// Pixels of the canvas that are not the window colour, all of them or only
// those inside the picture rectangle (counted without branches: the whole
// canvas is read after every render).
std::size_t paintedPixels(const HeadlessHost& host, int left, int top, int right, int bottom) {
  std::size_t painted = 0;
  for (int y = top; y <= bottom; ++y)
    for (int x = left; x <= right; ++x) painted += host.pixel(x, y) != kBackground;
  return painted;
}

std::size_t paintedOutsideThePicture(const HeadlessHost& host) {
  const int columns = static_cast<int>(host.pictureColumns());
  const int rows = static_cast<int>(host.pictureRows());
  const std::size_t all = paintedPixels(host, 0, 0, host.width() - 1, host.height() - 1);
  const std::size_t inside = paintedPixels(host, 161, 51, 160 + columns, 50 + rows);
  return all - inside;
}

std::vector<Colour> pictureOf(const HeadlessHost& host) {
  std::vector<Colour> picture;
  picture.reserve(host.pictureColumns() * host.pictureRows());
  for (int x = 161; x <= 160 + static_cast<int>(host.pictureColumns()); ++x)
    for (int y = 51; y <= 50 + static_cast<int>(host.pictureRows()); ++y)
      picture.push_back(host.pixel(x, y));
  return picture;
}

bool sameOutcome(const RenderOutcome& a, const RenderOutcome& b) {
  return a.end == b.end && a.fault == b.fault && a.columnsPainted == b.columnsPainted &&
         a.faultInSweep == b.faultInSweep && a.faultColumn == b.faultColumn &&
         a.faultRow == b.faultRow;
}

const char* name(Fault fault) {
  switch (fault) {
    case Fault::None: return "none";
    case Fault::DivisionByZero: return "division by zero";
    case Fault::Overflow: return "overflow";
    case Fault::InvalidOperation: return "invalid operation";
    case Fault::CounterStalled: return "counter stalled";
    case Fault::PictureTooLarge: return "too large";
  }
  return "unnamed";
}

// How the renders of one test ended, for its closing line.
struct Tally {
  int renders = 0;
  int completed = 0;
  std::map<std::string, int> faults;  // "before painting: Overflow", ...

  void add(const RenderOutcome& outcome) {
    ++renders;
    if (outcome.end == RenderEnd::Completed) {
      ++completed;
      return;
    }
    const char* when = outcome.faultInSweep ? "while painting" : "before painting";
    ++faults[std::string(when) + ": " + name(outcome.fault)];
  }
  void print(const char* pattern, const char* what) const {
    std::printf("%s, %s: %d renders, %d completed", pattern, what, renders, completed);
    for (const auto& [fault, count] : faults) std::printf("; %s %d", fault.c_str(), count);
    std::printf("\n");
  }
};

// Renders one case with one pattern, then again over its own picture with
// the columns computed by worker threads, and checks everything that must
// hold whatever the texts.
void renderAndCheck(const PatternEntry& pattern, const StressCase& c, ColumnPool& pool,
                    Tally& tally) {
  SCOPED_TRACE(std::string(pattern.caption) + ", " + c.label + ": " + describe(c.fields));
  HeadlessHost host(c.fields);
  host.limits = c.limits;
  const RenderOutcome outcome = pattern.render(host);
  tally.add(outcome);

  ASSERT_TRUE(outcome.end == RenderEnd::Completed || outcome.end == RenderEnd::Faulted)
      << "ended " << static_cast<int>(outcome.end) << " without a halt";
  if (outcome.end == RenderEnd::Faulted)
    ASSERT_TRUE(isNamedFault(outcome.fault)) << "fault " << static_cast<int>(outcome.fault);
  else
    ASSERT_EQ(outcome.fault, Fault::None);
  EXPECT_EQ(host.strayPlots(), 0u);
  EXPECT_LE(host.pictureColumns(), c.limits.columns);
  EXPECT_LE(host.pictureRows(), c.limits.rows);
  EXPECT_LE(host.pictureColumns() * host.pictureRows(), c.limits.pixels);
  EXPECT_LE(host.plots(), host.pictureColumns() * host.pictureRows());
  if (outcome.end == RenderEnd::Faulted && !outcome.faultInSweep) {
    EXPECT_EQ(host.plots(), 0u) << "painted before its fault: " << faultMessage(outcome.fault);
    EXPECT_EQ(host.yields(), 0u);
  }

  switch (c.expect) {
    case Expect::Anything:
      break;
    case Expect::Shape:
      EXPECT_FALSE(outcome.end == RenderEnd::Faulted && !outcome.faultInSweep)
          << faultMessage(outcome.fault);
      EXPECT_EQ(host.pictureColumns(), c.columns);
      EXPECT_EQ(host.pictureRows(), c.rows);
      break;
    case Expect::Refused:
      EXPECT_TRUE(outcome.fault == Fault::PictureTooLarge || outcome.fault == Fault::CounterStalled)
          << faultMessage(outcome.fault);
      EXPECT_EQ(host.plots(), 0u);
      break;
    case Expect::CounterStalled:
      EXPECT_EQ(outcome.fault, Fault::CounterStalled) << faultMessage(outcome.fault);
      EXPECT_EQ(host.plots(), 0u);
      break;
    case Expect::Overflow:
      EXPECT_EQ(outcome.fault, Fault::Overflow) << faultMessage(outcome.fault);
      EXPECT_FALSE(outcome.faultInSweep);
      break;
  }

  // The same texts again, over the picture just painted and by the workers:
  // the same end and the same colours, so nothing of the earlier render
  // carries over and the threads change nothing.
  const std::vector<Colour> picture = pictureOf(host);
  host.pool = &pool;
  const RenderOutcome again = pattern.render(host);
  host.pool = nullptr;
  EXPECT_TRUE(sameOutcome(outcome, again)) << "the second render ended otherwise";
  EXPECT_TRUE(pictureOf(host) == picture) << "the second render painted another picture";
  EXPECT_EQ(host.strayPlots(), 0u);
  EXPECT_EQ(paintedOutsideThePicture(host), 0u)
      << "pixels painted outside the " << host.pictureColumns() << " x " << host.pictureRows()
      << " picture";
}

FieldTexts ordinary() { return FieldTexts{"1", "1", "6", "1", "150"}; }

// Texts that are extreme in one field; every other field keeps an ordinary text.
std::vector<StressCase> extremeCases() {
  std::vector<StressCase> cases;
  const auto add = [&](Field field, const char* text, Expect expect, std::size_t columns = 0,
                       std::size_t rows = 0) {
    StressCase c;
    c.fields = ordinary();
    const char* names[] = {"x", "y", "size", "zoom", "brightness"};
    c.label = std::string(names[static_cast<int>(field)]) + " \"" + text + '"';
    switch (field) {
      case Field::One: c.fields.x = text; break;
      case Field::Two: c.fields.y = text; break;
      case Field::Three: c.fields.size = text; break;
      case Field::Four: c.fields.zoom = text; break;
      case Field::Five: c.fields.brightness = text; break;
    }
    c.expect = expect;
    c.columns = columns;
    c.rows = rows;
    cases.push_back(c);
  };

  // Texts every field reads as an ordinary number, or as Val's overflow.
  const char* anyField[] = {
      "1E308", "-1E308", "1.7976931348623157E308", "-1.7976931348623157E308",
      "8.98846567431158E+307", "1E154", "-1E154", "1E-308", "4.94065645841247E-324",
      "inf", "Infinity", "NaN", "-inf", "&HFFFFFFFFFFFFFFFFF", "&O7777777", "1 2", "3,5", "",
      "-0", "0", "0.5", "-0.25", "1.5D2", " - 3 . 2 5 E 1", "abc", "9007199254740992",
      "9007199254740993", "-9007199254740992", "4503599627370495.5", "1E16", "2E15"};
  for (const char* text : anyField) {
    // Offsets of 1E16 and beyond are too large to count, whatever each
    // pattern adds to them; the others are left to each pattern.
    const double magnitude = std::fabs(val(text));
    const Expect offsets = magnitude >= 1e16 ? Expect::CounterStalled : Expect::Anything;
    add(Field::One, text, offsets);
    add(Field::Two, text, offsets);
    add(Field::Four, text, Expect::Anything);
    add(Field::Five, text, Expect::Anything);
  }
  for (Field field : {Field::One, Field::Two, Field::Three, Field::Four, Field::Five})
    for (const char* text : {"1E309", "-1E309", "&H1" "0000000000000000000000000000000000000000"
                                                  "0000000000000000000000000000000000000000"
                                                  "0000000000000000000000000000000000000000"
                                                  "0000000000000000000000000000000000000000"
                                                  "0000000000000000000000000000000000000000"
                                                  "0000000000000000000000000000000000000000"
                                                  "0000000000000000000000000000000000000000"})
      add(field, text, Expect::Overflow);

  // Sizes: the picture each one gives, or its refusal.
  struct Size {
    const char* text;
    Expect expect;
    std::size_t columns, rows;
  };
  for (const Size& s : {Size{"6", Expect::Shape, 6, 6}, Size{"2.5", Expect::Shape, 2, 2},
                        Size{"1 2", Expect::Shape, 12, 12}, Size{"3,5", Expect::Shape, 3, 3},
                        Size{"&HA", Expect::Shape, 10, 10}, Size{"1", Expect::Shape, 1, 1},
                        Size{"0", Expect::Shape, 0, 0}, Size{"-5", Expect::Shape, 0, 0},
                        Size{"0.5", Expect::Shape, 0, 0}, Size{"-0", Expect::Shape, 0, 0},
                        Size{"", Expect::Shape, 0, 0}, Size{"abc", Expect::Shape, 0, 0},
                        Size{"inf", Expect::Shape, 0, 0}, Size{"NaN", Expect::Shape, 0, 0},
                        Size{"1E-300", Expect::Shape, 0, 0}, Size{"-1E308", Expect::Shape, 0, 0},
                        Size{"1025", Expect::Refused, 0, 0},
                        Size{"2000", Expect::Refused, 0, 0}, Size{"1E308", Expect::Refused, 0, 0},
                        Size{"&HFFFFFFFFFFFFFFFFF", Expect::Refused, 0, 0},
                        Size{"9007199254740992", Expect::Refused, 0, 0}})
    add(Field::Three, s.text, s.expect, s.columns, s.rows);
  return cases;
}

// One of the two largest pictures the window paints (each pattern gets one,
// to keep the time bounded), and sizes refused on a canvas without a window.
std::vector<StressCase> bigCases(int patternIndex) {
  std::vector<StressCase> cases;
  if (patternIndex % 2 == 0)
    cases.push_back(StressCase{"768, widened", FieldTexts{"1", "1", "768", "0.15", "150"},
                               kWindowLimits, Expect::Shape, 1024, 768});
  else
    cases.push_back(StressCase{"1024, rows past the window's bottom edge",
                               FieldTexts{"-250", "-250", "1024", "0.2", "150"}, kWindowLimits,
                               Expect::Shape, 1024, 1024});
  const PictureLimits headless = HeadlessHost().limits;
  for (const char* size : {"70000", "11586", "1E6", "1E308"})
    cases.push_back(StressCase{std::string("size ") + size, FieldTexts{"1", "1", size, "1", "150"},
                               headless, Expect::Refused});
  return cases;
}

// Texts drawn at random: ordinary and extreme magnitudes, written the way the
// window writes numbers or the way a user might type them.
class RandomTexts {
 public:
  explicit RandomTexts(std::uint64_t seed) : random_(seed) {}

  StressCase next(int n) {
    StressCase c;
    c.label = "random set " + std::to_string(n);
    c.fields = FieldTexts{offset(), offset(), size(), scale(), scale()};
    return c;
  }

 private:
  bool chance(double p) { return std::uniform_real_distribution<double>(0, 1)(random_) < p; }
  template <class T>
  const T& pick(const std::vector<T>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random_)];
  }

  // A number of the given decimal magnitude range, in one of several spellings.
  std::string number(int lowExponent, int highExponent) {
    const double mantissa = std::uniform_real_distribution<double>(1, 10)(random_);
    const int exponent = std::uniform_int_distribution<int>(lowExponent, highExponent)(random_);
    const int digits = std::uniform_int_distribution<int>(1, 17)(random_);
    const char* sign = chance(0.4) ? "-" : "";
    char text[64];
    switch (std::uniform_int_distribution<int>(0, 5)(random_)) {
      case 0:
        std::snprintf(text, sizeof text, "%s%.*fE%d", sign, digits, mantissa, exponent);
        break;
      case 1:
        std::snprintf(text, sizeof text, "%s%.*fD%+d", sign, digits, mantissa, exponent);
        break;
      case 2: {  // as the window writes it back
        double value = mantissa * std::pow(10.0, exponent);
        if (!std::isfinite(value)) value = std::numeric_limits<double>::max();
        std::snprintf(text, sizeof text, "%s%s", sign, numberText(value).c_str());
        break;
      }
      case 3: {  // a blank somewhere inside
        std::snprintf(text, sizeof text, "%s%.*fE%d", sign, digits, mantissa, exponent);
        std::string spaced(text);
        spaced.insert(std::uniform_int_distribution<std::size_t>(0, spaced.size())(random_), " ");
        return spaced;
      }
      case 4: {  // a decimal comma, which ends the number
        std::snprintf(text, sizeof text, "%s%.*f", sign, digits, mantissa);
        std::string comma(text);
        if (const auto point = comma.find('.'); point != std::string::npos) comma[point] = ',';
        return comma + "E" + std::to_string(exponent);
      }
      default:  // plain digits with a fraction
        std::snprintf(text, sizeof text, "%s%.*f", sign, digits % 6, mantissa * std::pow(10.0, exponent % 6));
        break;
    }
    return text;
  }

  std::string offset() {
    if (chance(0.15)) return pick(extremes_);
    if (chance(0.3)) return number(5, 20);  // around and beyond 2^53
    return number(-3, 3);
  }
  std::string scale() {
    if (chance(0.15)) return pick(extremes_);
    if (chance(0.5)) return number(-320, 308);
    return number(-4, 3);
  }
  std::string size() { return pick(sizes_); }

  std::mt19937_64 random_;
  const std::vector<std::string> extremes_{
      "1E308", "-1E308", "1.7976931348623157E308", "-1.7976931348623157E308", "1E309",
      "inf", "Infinity", "NaN", "&HFFFFFFFFFFFFFFFFF", "1 2", "3,5", "", "-0",
      "9007199254740992", "4.94065645841247E-324", "1E154", "8.98846567431158E+307"};
  const std::vector<std::string> sizes_{"-3", "0", "0.5", "1", "1.5", "2", "3", "4.75", "5",
                                        "6", "7", "8", "9", "-0", "", "abc", "1 0", "3,5",
                                        "&HA", "&O7", "8D0", "-1E308", "1E309", "2E3"};
};

std::vector<StressCase> randomCases() {
  RandomTexts texts(20261208);
  std::vector<StressCase> cases;
  for (int n = 0; n < 160; ++n) cases.push_back(texts.next(n));
  return cases;
}

class EveryPattern : public testing::TestWithParam<int> {
 protected:
  const PatternEntry& pattern() const { return *patternAt(GetParam()); }
  void renderAll(const std::vector<StressCase>& cases, const char* what) {
    Tally tally;
    for (const StressCase& c : cases) renderAndCheck(pattern(), c, pool_, tally);
    tally.print(pattern().caption, what);
  }

 private:
  ColumnPool pool_{2};
};

TEST_P(EveryPattern, SurvivesExtremeTextsInEachField) { renderAll(extremeCases(), "extreme texts"); }

TEST_P(EveryPattern, SurvivesRandomTexts) { renderAll(randomCases(), "random texts"); }

TEST_P(EveryPattern, PaintsTheLargestPicturesOnlyInsideTheirRectangle) {
  renderAll(bigCases(GetParam()), "largest and refused sizes");
}

INSTANTIATE_TEST_SUITE_P(Stress, EveryPattern, testing::Range(0, kPatternButtons),
                         [](const testing::TestParamInfo<int>& info) {
                           return std::string(patternAt(info.param)->caption);
                         });

// Near the largest double a size's 15-digit text ("1.79769313486232E+308") is
// beyond double precision, so the patterns that halve the size through its text
// form stop with an overflow before painting, as a typed number that large
// would; the others paint nothing (negative) or refuse the picture (positive).
TEST(Stress, SizesNearTheLargestDoubleOverflowOnlyThroughTheirText) {
  const std::set<std::string> centredThroughText{"griffin", "helios", "icey", "kate",
                                                 "quaff", "sizzle", "tracer"};
  ColumnPool pool(2);
  for (const PatternEntry& pattern : patternCatalogue()) {
    const bool throughText = centredThroughText.count(pattern.caption) > 0;
    std::vector<StressCase> cases;
    for (const char* size : {"-1.7976931348623157E308", "-1.7976931348623151E308"})
      cases.push_back(StressCase{std::string("size ") + size, FieldTexts{"1", "1", size, "1", "150"},
                                 kWindowLimits, throughText ? Expect::Overflow : Expect::Shape, 0, 0});
    for (const char* size : {"1.7976931348623157E308", "1.7976931348623151E308"})
      cases.push_back(StressCase{std::string("size ") + size, FieldTexts{"1", "1", size, "1", "150"},
                                 kWindowLimits, throughText ? Expect::Overflow : Expect::Refused});
    Tally tally;
    for (const StressCase& c : cases) renderAndCheck(pattern, c, pool, tally);
    tally.print(pattern.caption, "sizes near the largest double");
  }
}

}  // namespace
}  // namespace plorvex
