// SPDX-License-Identifier: GPL-3.0-or-later
// Pattern selection, halt, nested renders, reset and faults, driven by clicks
// that arrive while a render yields.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <functional>

#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

const QRgb kNeutral = qRgb(128, 128, 128);
const QRgb kHighlight = qRgb(96, 160, 255);

QRgb background(QWidget* button) { return qobject_cast<ColourButton*>(button)->background().rgb(); }

// Runs an action at the n-th yield of the render at the given depth (1: outermost).
struct YieldScript {
  struct Step {
    int depth;
    int yield;
    std::function<void()> action;
  };
  std::vector<Step> steps;
  std::map<int, int> yieldsAtDepth;

  void attach(MainWindow& window) {
    window.renderer().onYield = [this](int depth) {
      const int n = ++yieldsAtDepth[depth];
      for (const Step& s : steps)
        if (s.depth == depth && s.yield == n) s.action();
    };
  }
};

TEST(PatternSelection, GreysEveryButtonAndHighlightsThePressedOne) {
  TestWindow w;
  w.setFields("1", "1", "4", "1", "150");
  QRgb seenDuringRender = 0;
  w.window->renderer().onYield = [&](int) { seenDuringRender = background(w.pattern(1)); };
  click(w.pattern(1));
  EXPECT_EQ(seenDuringRender, kHighlight);  // coloured before the render began
  for (int k = 0; k < 19; ++k) EXPECT_EQ(background(w.pattern(k)), k == 1 ? kHighlight : kNeutral) << k;
  click(w.pattern(0));
  EXPECT_EQ(background(w.pattern(0)), kHighlight);
  EXPECT_EQ(background(w.pattern(1)), kNeutral);
}

TEST(PatternSelection, EveryButtonPaintsItsOwnPattern) {
  TestWindow w;
  w.setFields("1", "1", "12", "1", "150");
  for (int k = 0; k < 19; ++k) {
    const PatternEntry* entry = patternAt(k);
    ASSERT_NE(entry, nullptr) << k;
    HeadlessHost reference(FieldTexts{"1", "1", "12", "1", "150"});
    entry->render(reference);
    click(w.pattern(k));
    for (int x = 161; x <= 172; ++x)
      for (int y = 51; y <= 62; ++y) {
        const Colour c = reference.pixel(x, y);
        ASSERT_EQ(w.canvasPixel(x, y), qRgb(redOf(c), greenOf(c), blueOf(c)))
            << entry->caption << " at " << x << ", " << y;
      }
  }
}

TEST(PatternSelection, APictureStartsAt161And51WhateverIsTyped) {
  TestWindow w;
  w.setFields("-250", "-250", "20", "0.2", "150");
  click(w.pattern(0));
  EXPECT_EQ(w.paintedColumns(51), 20);
  EXPECT_EQ(w.paintedColumns(70), 20);
  EXPECT_EQ(w.canvasPixel(161, 71), qRgb(64, 64, 64));
  EXPECT_EQ(w.canvasPixel(160, 51), qRgb(64, 64, 64));
}

TEST(Halt, BeforeAnyRenderChangesNothing) {
  TestWindow w;
  w.setFields("1", "1", "10", "1", "150");
  click(w.control("cmdstop"));
  EXPECT_EQ(w.window->haltFlagText(), "p");
  EXPECT_EQ(w.paintedColumns(), 0);
  click(w.pattern(0));
  EXPECT_EQ(w.paintedColumns(), 10);
}

TEST(Halt, DuringARenderLeavesExactlyTheColumnsPaintedSoFar) {
  TestWindow w;
  w.setFields("1", "1", "30", "1", "150");
  YieldScript script;
  script.steps.push_back({1, 7, [&] { postClick(w.control("cmdstop")); }});
  script.attach(*w.window);
  click(w.pattern(0));
  // The click is handled in the 7th yield; the render stops after that column.
  EXPECT_EQ(w.paintedColumns(), 7);
  EXPECT_EQ(w.paintedColumns(80), 7);
  EXPECT_EQ(background(w.pattern(0)), kHighlight);
  // The next press paints from the first column again.
  w.window->renderer().onYield = nullptr;
  click(w.pattern(0));
  EXPECT_EQ(w.paintedColumns(), 30);
}

TEST(NestedRenders, TheInnerPictureIsPaintedWholeThenTheOuterGoesOnOverIt) {
  TestWindow w;
  w.setFields("1", "1", "20", "1", "150");
  HeadlessHost atlas(FieldTexts{"1", "1", "20", "1", "150"});
  patternAt(0)->render(atlas);
  HeadlessHost bobcat(FieldTexts{"1", "1", "20", "1", "150"});
  patternAt(1)->render(bobcat);

  YieldScript script;
  script.steps.push_back({1, 5, [&] { postClick(w.pattern(1)); }});
  script.attach(*w.window);
  click(w.pattern(0));
  EXPECT_EQ(script.yieldsAtDepth[2], 20);  // the whole bobcat picture
  EXPECT_EQ(script.yieldsAtDepth[1], 20);
  const auto colour = [](const HeadlessHost& h, int x, int y) {
    const Colour c = h.pixel(x, y);
    return qRgb(redOf(c), greenOf(c), blueOf(c));
  };
  for (int x = 161; x <= 180; ++x) {
    // Columns 1..5 of atlas were overpainted by bobcat; the rest is atlas again.
    const HeadlessHost& expected = x <= 165 ? bobcat : atlas;
    EXPECT_EQ(w.canvasPixel(x, 60), colour(expected, x, 60)) << x;
  }
  EXPECT_EQ(background(w.pattern(1)), kHighlight);
  EXPECT_EQ(background(w.pattern(0)), kNeutral);
}

TEST(NestedRenders, HaltDuringTheInnerRenderStopsBoth) {
  TestWindow w;
  w.setFields("1", "1", "20", "1", "150");
  YieldScript script;
  script.steps.push_back({1, 3, [&] { postClick(w.pattern(0)); }});
  script.steps.push_back({2, 4, [&] { postClick(w.control("cmdstop")); }});
  script.attach(*w.window);
  click(w.pattern(1));
  EXPECT_EQ(script.yieldsAtDepth[2], 4);
  EXPECT_EQ(script.yieldsAtDepth[1], 3);
  EXPECT_EQ(w.paintedColumns(), 4);
}

TEST(NestedRenders, ResetDuringARenderStopsItAndRestoresTheFields) {
  TestWindow w;
  w.setFields("7", "7", "20", "3", "99");
  YieldScript script;
  script.steps.push_back({1, 6, [&] { postClick(w.control("Command3")); }});
  script.attach(*w.window);
  click(w.pattern(2));
  EXPECT_EQ(w.paintedColumns(), 6);
  EXPECT_EQ(w.field("TextThree")->text(), "100");
  EXPECT_EQ(w.field("TextOne")->text(), "1");
  EXPECT_EQ(w.field("Textfive")->text(), "150");
}

TEST(NestedRenders, EditsDuringARenderWaitForTheNextPress) {
  TestWindow w;
  w.setFields("1", "1", "15", "1", "150");
  YieldScript script;
  script.steps.push_back({1, 2, [&] { postClick(w.control("cmd1")); postClick(w.control("horz(0)")); }});
  script.attach(*w.window);
  click(w.pattern(0));
  EXPECT_EQ(w.paintedColumns(), 15);
  EXPECT_EQ(w.canvasPixel(161, 66), qRgb(64, 64, 64));
  EXPECT_EQ(w.field("TextThree")->text(), "300");
  EXPECT_EQ(w.field("TextOne")->text(), "251");
}

// Stack used by one level of nesting, measured between two nested yields.
std::ptrdiff_t stackPerNestingLevel(TestWindow& w) {
  std::map<int, std::uintptr_t> stackAt;
  w.setFields("1", "1", "3", "1", "150");
  YieldScript script;
  script.steps.push_back({1, 1, [&] { postClick(w.pattern(0)); }});
  script.attach(*w.window);
  const auto inner = w.window->renderer().onYield;
  w.window->renderer().onYield = [&](int depth) {
    int marker = 0;
    stackAt.emplace(depth, reinterpret_cast<std::uintptr_t>(&marker));
    inner(depth);
  };
  click(w.pattern(0));
  return static_cast<std::ptrdiff_t>(stackAt.at(1) - stackAt.at(2));
}

TEST(NestedRenders, TheDepthLimitLeavesAWideStackMargin) {
  TestWindow w;
  const std::ptrdiff_t perLevel = stackPerNestingLevel(w);
  rlimit stack{};
  ASSERT_EQ(getrlimit(RLIMIT_STACK, &stack), 0);
  const double available = stack.rlim_cur == RLIM_INFINITY ? 8.0 * 1024 * 1024 : double(stack.rlim_cur);
  std::printf("stack per nesting level: %td bytes; limit %d levels use %.0f KiB of %.0f KiB\n",
              perLevel, MainWindow::kMaxRenderDepth, perLevel * MainWindow::kMaxRenderDepth / 1024.0,
              available / 1024);
  ASSERT_GT(perLevel, 0);
  EXPECT_LT(perLevel * MainWindow::kMaxRenderDepth, available / 8);
}

TEST(NestedRenders, HammeringAPatternButtonNeverNestsBeyondTheLimit) {
  TestWindow w;
  w.setFields("1", "1", "2", "1", "150");
  int deepest = 0;
  int clicks = 0;
  w.window->renderer().onYield = [&](int depth) {
    deepest = std::max(deepest, depth);
    if (clicks < 300) {
      ++clicks;
      postClick(w.pattern(clicks % 19));
    }
  };
  click(w.pattern(0));
  EXPECT_EQ(clicks, 300);
  EXPECT_EQ(deepest, MainWindow::kMaxRenderDepth);
  EXPECT_GT(w.recorded.beeps, 0);
  EXPECT_EQ(w.window->renderDepth(), 0);
  EXPECT_EQ(w.paintedColumns(), 2);
}

TEST(RenderFaults, AreReportedByNameAndTheWindowGoesOn) {
  TestWindow w;
  w.setFields("1", "1", "150", "1", "1E308");
  click(w.pattern(1));
  ASSERT_EQ(w.recorded.messageTexts.size(), 1);
  EXPECT_TRUE(w.recorded.messageTexts.first().startsWith("Overflow\n"));
  EXPECT_TRUE(w.recorded.messageTexts.first().contains("bobcat picture stopped at pixel (161, 55)"))
      << w.recorded.messageTexts.first().toStdString();
  EXPECT_NE(w.canvasPixel(161, 54), qRgb(64, 64, 64));
  EXPECT_EQ(w.canvasPixel(161, 55), qRgb(64, 64, 64));
  // Still alive: the next render paints.
  w.field("Textfive")->setText("150");
  click(w.pattern(1));
  EXPECT_EQ(w.paintedColumns(), 150);
}

TEST(RenderFaults, AnUnreadableFieldStopsTheRenderBeforeItPaints) {
  TestWindow w;
  w.setFields("1E999", "1", "20", "1", "150");
  click(w.pattern(0));
  ASSERT_EQ(w.recorded.messageTexts.size(), 1);
  EXPECT_TRUE(w.recorded.messageTexts.first().startsWith("Overflow"));
  EXPECT_EQ(w.paintedColumns(), 0);
}

TEST(RenderFaults, OffsetsTooLargeToCountAreRefusedWithAMessage) {
  TestWindow w;
  w.setFields("1E17", "1", "20", "1", "150");
  click(w.pattern(0));
  ASSERT_EQ(w.recorded.messageTexts.size(), 1);
  EXPECT_TRUE(w.recorded.messageTexts.first().contains("offsets are too large"));
  EXPECT_EQ(w.paintedColumns(), 0);
}

}  // namespace
}  // namespace plorvex::app::testing_support
