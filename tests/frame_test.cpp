// SPDX-License-Identifier: GPL-3.0-or-later
// The render frame, driven by small probe patterns whose colours say where and
// in which order they were painted.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "frame.h"
#include "renderer.h"
#include "headless.h"

namespace plorvex {
namespace {

// Plain intake: X0, Y0, S (widened at 768) and two free numbers from the zoom
// and brightness fields, the zoom doubled so that the intake itself can overflow.
struct PlainParams {
  double zoom = 0;
  double brightness = 0;
};
Intake<PlainParams> plainIntake(const FieldReader& read) {
  Intake<PlainParams> in;
  in.sweep.x0 = read(Field::One);
  in.sweep.y0 = read(Field::Two);
  in.sweep.size = read(Field::Three);
  in.sweep.extent = widenedExtent(in.sweep.size);
  in.params.zoom = read(Field::Four) * 2;
  in.params.brightness = read(Field::Five);
  return in;
}

// Channels straight from the fields: red = zoom * 2, green = brightness, blue = 7.
struct ChannelProbe {
  using Params = PlainParams;
  static Intake<Params> intake(const FieldReader& read) { return plainIntake(read); }
  static Channels pixel(const Params& p, double, double, double&) { return {p.zoom, p.brightness, 7}; }
};

// Counts pixels in painting order through the carried value.
struct OrderProbe {
  using Params = PlainParams;
  static Intake<Params> intake(const FieldReader& read) { return plainIntake(read); }
  static Channels pixel(const Params&, double, double, double& carried) {
    carried = carried + 1;
    return {carried, 0, 0};
  }
};

// Faults at one pixel: (i, j) = (zoom / 2, brightness) divides by zero, and the
// fields' fractional parts choose the kind of fault instead.
struct FaultProbe {
  using Params = PlainParams;
  static Intake<Params> intake(const FieldReader& read) { return plainIntake(read); }
  static Channels pixel(const Params& p, double i, double j, double&) {
    const double distance = (i - p.zoom / 2) + (j - p.brightness) * 1000;
    return {50 + 1 / distance, 60, 70};
  }
};
struct OverflowProbe : FaultProbe {
  static Channels pixel(const Params& p, double i, double j, double&) {
    const double hit = (i == p.zoom / 2 && j == p.brightness) ? 1e300 : 1;
    return {50 + hit * hit, 60, 70};
  }
};
struct InvalidProbe : FaultProbe {
  static Channels pixel(const Params& p, double i, double j, double&) {
    const double base = (i == p.zoom / 2 && j == p.brightness) ? -1 : 1;
    return {50 + std::pow(base, 0.5), 60, 70};
  }
};
// The fault comes from a value that does not reach the colour.
struct UnusedQuotientProbe : FaultProbe {
  static Channels pixel(const Params& p, double i, double j, double&) {
    keepEvaluated(1 / ((i - p.zoom / 2) + (j - p.brightness) * 1000));
    return {50, 60, 70};
  }
};

FieldTexts fields(const char* x, const char* y, const char* size, const char* zoom = "0",
                  const char* brightness = "0") {
  return FieldTexts{x, y, size, zoom, brightness};
}

std::size_t paintedColumns(const HeadlessHost& host, int rowY = 51) {
  std::size_t n = 0;
  while (host.pixel(161 + static_cast<int>(n), rowY) != kBackground) ++n;
  return n;
}

TEST(Frame, EmptySizesPaintNothingAndNeverYield) {
  for (const char* size : {"0", "-5", "abc", "", "0.5", "-768"}) {
    HeadlessHost host(fields("1", "1", size));
    const RenderOutcome outcome = renderPattern<ChannelProbe>(host);
    EXPECT_EQ(outcome.end, RenderEnd::Completed) << size;
    EXPECT_EQ(host.plots(), 0u) << size;
    EXPECT_EQ(host.yields(), 0u) << size;
  }
}

TEST(Frame, PaintsColumnByColumnWithOneYieldPerColumn) {
  HeadlessHost host(fields("3", "-7", "4"));
  std::vector<std::size_t> plotsAtYield;
  host.onYield = [&](std::size_t) { plotsAtYield.push_back(host.plots()); };
  const RenderOutcome outcome = renderPattern<OrderProbe>(host);
  EXPECT_EQ(outcome.end, RenderEnd::Completed);
  EXPECT_EQ(outcome.columnsPainted, 4u);
  EXPECT_EQ(plotsAtYield, (std::vector<std::size_t>{4, 8, 12, 16}));
  // Down each column, then on to the top of the next: the carried count shows it.
  for (int column = 0; column < 4; ++column)
    for (int row = 0; row < 4; ++row)
      EXPECT_EQ(redOf(host.pixel(161 + column, 51 + row)), column * 4 + row + 1);
  EXPECT_EQ(host.strayPlots(), 0u);
}

TEST(Frame, TheCarriedValueStartsAtZeroForEveryRender) {
  HeadlessHost host(fields("0", "0", "3"));
  renderPattern<OrderProbe>(host);
  renderPattern<OrderProbe>(host);
  EXPECT_EQ(redOf(host.pixel(161, 51)), 1);
  EXPECT_EQ(redOf(host.pixel(163, 53)), 9);
}

TEST(Frame, Size768IsWidenedTo1024Columns) {
  struct Case {
    const char* size;
    std::size_t columns, rows;
  };
  for (const Case c : {Case{"768", 1024, 768}, Case{"767", 767, 767}, Case{"769", 769, 769},
                       Case{"768.5", 768, 768}, Case{"7.5", 7, 7}}) {
    HeadlessHost host(fields("1", "1", c.size));
    renderPattern<ChannelProbe>(host);
    EXPECT_EQ(host.pictureColumns(), c.columns) << c.size;
    EXPECT_EQ(host.pictureRows(), c.rows) << c.size;
    EXPECT_EQ(host.plots(), c.columns * c.rows) << c.size;
  }
}

TEST(Frame, AnyOffsetsLandOnWholePixelsFrom161And51) {
  for (const char* offset : {"0.5", "-0.25", "1234567.75", "-1E9", "3.3333333"}) {
    HeadlessHost host(fields(offset, offset, "5", "100", "100"));
    renderPattern<ChannelProbe>(host);
    EXPECT_EQ(host.plots(), 25u) << offset;
    EXPECT_EQ(host.strayPlots(), 0u) << offset;
    for (int x = 161; x <= 165; ++x)
      for (int y = 51; y <= 55; ++y) EXPECT_NE(host.pixel(x, y), kBackground) << offset;
    EXPECT_EQ(host.pixel(166, 51), kBackground);
    EXPECT_EQ(host.pixel(161, 56), kBackground);
  }
}

TEST(Frame, ClampsBeforeConvertingHalvesToEven) {
  struct Case {
    const char* zoom;  // red is twice the zoom
    const char* brightness;
    int red, green;
  };
  for (const Case c : {Case{"127.25", "253.5", 254, 254}, Case{"-0.25", "255", 0, 255},
                       Case{"1000", "-1000", 255, 0}, Case{"0.75", "2.5", 2, 2},
                       Case{"1.25", "3.5", 2, 4}, Case{"200", "255.4", 255, 255}}) {
    HeadlessHost host(fields("0", "0", "1", c.zoom, c.brightness));
    renderPattern<ChannelProbe>(host);
    const Colour colour = host.pixel(161, 51);
    EXPECT_EQ(redOf(colour), c.red) << c.zoom;
    EXPECT_EQ(greenOf(colour), c.green) << c.brightness;
    EXPECT_EQ(blueOf(colour), 7);
  }
}

TEST(Frame, HaltAfterColumnKLeavesExactlyKColumns) {
  for (std::size_t k : {1u, 2u, 7u, 10u}) {
    HeadlessHost host(fields("0", "0", "10", "50", "50"));
    host.onYield = [&](std::size_t yields) {
      if (yields == k) host.halt = "p";
    };
    const RenderOutcome outcome = renderPattern<ChannelProbe>(host);
    EXPECT_EQ(outcome.end, RenderEnd::Halted);
    EXPECT_EQ(paintedColumns(host), k);
    EXPECT_EQ(paintedColumns(host, 60), k);
    EXPECT_EQ(host.yields(), k);
  }
}

TEST(Frame, OnlyAnExactLowerCasePStops) {
  for (const char* flag : {"P", "p ", "", "stop", "halt"}) {
    HeadlessHost host(fields("0", "0", "5", "50", "50"));
    host.onYield = [&](std::size_t) { host.halt = flag; };
    EXPECT_EQ(renderPattern<ChannelProbe>(host).end, RenderEnd::Completed) << '"' << flag << '"';
    EXPECT_EQ(paintedColumns(host), 5u);
  }
}

TEST(Frame, FieldEditsDuringARenderWaitForTheNextOne) {
  HeadlessHost host(fields("0", "0", "4", "50", "50"));
  host.onYield = [&](std::size_t) { host.fields.size = "2"; host.fields.brightness = "9"; };
  renderPattern<ChannelProbe>(host);
  EXPECT_EQ(paintedColumns(host), 4u);
  EXPECT_EQ(greenOf(host.pixel(164, 54)), 50);
}

TEST(Frame, ANestedRenderPaintsWholeThenTheOuterOneGoesOn) {
  HeadlessHost host(fields("0", "0", "6", "10", "10"));
  bool nested = false;
  host.onYield = [&](std::size_t) {
    if (nested || host.yields() != 2) return;
    nested = true;
    FieldTexts outer = host.fields;
    host.fields.brightness = "99";  // the inner picture is told apart by its green
    host.halt.clear();
    renderPattern<ChannelProbe>(host);
    host.fields = outer;
  };
  const RenderOutcome outcome = renderPattern<ChannelProbe>(host);
  EXPECT_EQ(outcome.end, RenderEnd::Completed);
  // Columns 1 and 2 were painted before the nested render and show its colour;
  // the outer render painted columns 3..6 over it afterwards.
  for (int x = 161; x <= 166; ++x)
    EXPECT_EQ(greenOf(host.pixel(x, 53)), x <= 162 ? 99 : 10) << x;
}

TEST(Frame, AHaltInANestedRenderStopsTheOuterOneToo) {
  HeadlessHost host(fields("0", "0", "6", "10", "10"));
  int depth = 0;
  RenderOutcome inner;
  host.onYield = [&](std::size_t yields) {
    if (depth == 0 && yields == 2) {
      ++depth;
      host.halt.clear();
      host.fields.brightness = "99";
      inner = renderPattern<ChannelProbe>(host);
    } else if (depth == 1 && yields == 4) {
      host.halt = "p";  // during the inner render's second column
    }
  };
  const RenderOutcome outer = renderPattern<ChannelProbe>(host);
  EXPECT_EQ(inner.end, RenderEnd::Halted);
  EXPECT_EQ(inner.columnsPainted, 2u);
  EXPECT_EQ(outer.end, RenderEnd::Halted);
  EXPECT_EQ(outer.columnsPainted, 2u);
  EXPECT_EQ(paintedColumns(host), 2u);
}

struct FaultCase {
  RenderOutcome (*render)(RenderHost&);
  Fault fault;
};

TEST(Frame, AnArithmeticFaultStopsAtItsPixelAndKeepsWhatWasPainted) {
  for (const FaultCase c : {FaultCase{renderPattern<FaultProbe>, Fault::DivisionByZero},
                            FaultCase{renderPattern<OverflowProbe>, Fault::Overflow},
                            FaultCase{renderPattern<InvalidProbe>, Fault::InvalidOperation},
                            FaultCase{renderPattern<UnusedQuotientProbe>, Fault::DivisionByZero}}) {
    // The fault strikes at i = 3, j = 4: column 3, row 4 of the picture.
    HeadlessHost host(fields("0", "0", "6", "3", "4"));
    const RenderOutcome outcome = c.render(host);
    EXPECT_EQ(outcome.end, RenderEnd::Faulted);
    EXPECT_EQ(outcome.fault, c.fault) << faultMessage(outcome.fault);
    EXPECT_TRUE(outcome.faultInSweep);
    EXPECT_EQ(outcome.faultColumn, 2u);
    EXPECT_EQ(outcome.faultRow, 3u);
    EXPECT_EQ(outcome.faultI, 3);
    EXPECT_EQ(outcome.faultJ, 4);
    EXPECT_EQ(outcome.columnsPainted, 2u);
    EXPECT_EQ(host.plots(), 6u + 6u + 3u);
    EXPECT_NE(host.pixel(163, 53), kBackground);  // above the fault, same column
    EXPECT_EQ(host.pixel(163, 54), kBackground);  // the faulting pixel itself
    EXPECT_EQ(host.yields(), 2u);
  }
}

TEST(Frame, FaultsInTheIntakePaintNothing) {
  for (const FieldTexts& f : {fields("1E309", "0", "5"), fields("0", "0", "5", "1E308"),
                              fields("0", "0", "-1E400x", "1", "&H" "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF"
                                                                      "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF")}) {
    HeadlessHost host(f);
    const RenderOutcome outcome = renderPattern<ChannelProbe>(host);
    EXPECT_EQ(outcome.end, RenderEnd::Faulted);
    EXPECT_EQ(outcome.fault, Fault::Overflow);
    EXPECT_FALSE(outcome.faultInSweep);
    EXPECT_EQ(host.plots(), 0u);
    EXPECT_EQ(host.yields(), 0u);
  }
}

TEST(Frame, OffsetsTooLargeToCountAreRefusedNotSpun) {
  // At 2^53 adding 1 no longer changes a double: the loop could never end.
  for (const FieldTexts& f : {fields("9007199254740992", "0", "5"), fields("0", "1E300", "5"),
                              fields("-1.79E308", "0", "5")}) {
    HeadlessHost host(f);
    const RenderOutcome outcome = renderPattern<ChannelProbe>(host);
    EXPECT_EQ(outcome.end, RenderEnd::Faulted);
    EXPECT_EQ(outcome.fault, Fault::CounterStalled);
    EXPECT_EQ(host.plots(), 0u);
  }
  // Just below, the counters still advance and the picture is whole.
  HeadlessHost host(fields("4503599627370496", "4503599627370496", "5", "10", "10"));
  EXPECT_EQ(renderPattern<ChannelProbe>(host).end, RenderEnd::Completed);
  EXPECT_EQ(host.plots(), 25u);
  EXPECT_EQ(host.strayPlots(), 0u);
}

TEST(Frame, APictureBeyondTheHostsLimitsIsRefused) {
  HeadlessHost host(fields("0", "0", "2000"));
  host.limits = PictureLimits{1024, 1024, 1024 * 1024};
  const RenderOutcome outcome = renderPattern<ChannelProbe>(host);
  EXPECT_EQ(outcome.fault, Fault::PictureTooLarge);
  EXPECT_EQ(host.plots(), 0u);
  host.fields.size = "1024";
  EXPECT_EQ(renderPattern<ChannelProbe>(host).end, RenderEnd::Completed);
}

}  // namespace
}  // namespace plorvex
