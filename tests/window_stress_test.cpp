// SPDX-License-Identifier: GPL-3.0-or-later
// A burst of hundreds of clicks posted while renders nest inside each other's
// yields: pattern buttons, halt, reset and the parameter buttons, then an exit
// mark. The window must survive it, keep to its nesting limit and paint
// nothing once the exit mark has been clicked.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

TEST(ClickBurst, HundredsOfClicksDuringNestedRendersThenAnExit) {
  constexpr int kBurst = 600;
  // The first clicks are pattern presses only, so that the renders nest to
  // the limit and beyond; then every kind of control at random.
  constexpr int kPatternsFirst = 2 * MainWindow::kMaxRenderDepth;

  TestWindow w;
  w.setFields("1", "1", "6", "1", "150");
  std::vector<QWidget*> patterns;
  for (int k = 0; k < kPatternButtons; ++k) patterns.push_back(w.pattern(k));
  std::vector<QWidget*> controls = patterns;
  for (const char* name : {"cmdstop", "Command3", "cmd1", "cmdb", "Command4", "horz(0)", "horz(1)",
                           "verty(0)", "verty(1)", "cmdXX(0)", "cmdXX(1)", "cmdblue(0)",
                           "cmdblue(1)", "cmdblue(2)", "cmdblue(3)", "Label8", "Label17"})
    controls.push_back(w.control(name));
  for (QWidget* control : controls) ASSERT_NE(control, nullptr);

  auto* exitMark = qobject_cast<ClickLabel*>(w.control("Label2"));
  ASSERT_NE(exitMark, nullptr);
  bool exited = false;
  QImage atExit;
  // Connected after the window's own handler, so this runs once it has acted.
  QObject::connect(exitMark, &ClickLabel::clicked, [&] {
    exited = true;
    atExit = w.window->canvas().copy();
  });

  std::mt19937 random(20261208);
  const auto any = [&](const std::vector<QWidget*>& from) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
  };
  int posted = 0;
  int deepest = 0;
  int depthMismatches = 0;
  int yieldsAfterExit = 0;
  int columns = 0;
  bool exitPosted = false;
  w.window->renderer().onYield = [&](int depth) {
    deepest = std::max(deepest, depth);
    if (depth != w.window->renderDepth()) ++depthMismatches;
    if (exited) ++yieldsAfterExit;
    ++columns;
    if (exitPosted) return;
    if (posted < kBurst) {
      for (int n = std::uniform_int_distribution<int>(1, 3)(random); n > 0; --n, ++posted)
        postClick(any(posted < kPatternsFirst ? patterns : controls));
    } else if (depth >= 2) {
      // The exit arrives inside a nested render, with presses queued behind it.
      postClick(exitMark);
      postClick(any(patterns));
      postClick(any(patterns));
      exitPosted = true;
    } else {
      postClick(any(patterns));
    }
  };

  // A halt or reset can unwind every render before the burst is over; the
  // next press starts a new outermost one.
  int outermost = 0;
  for (; !exited && outermost < 200; ++outermost) click(any(patterns));

  std::printf("%d clicks posted, %d outermost presses, deepest nesting %d, %d presses refused, "
              "%d columns painted before the exit\n",
              posted, outermost, deepest, w.recorded.beeps, columns);
  ASSERT_TRUE(exited) << "the exit click was never handled";
  EXPECT_GE(posted, kBurst);
  EXPECT_EQ(deepest, MainWindow::kMaxRenderDepth) << "the renders did not nest to the limit";
  EXPECT_EQ(depthMismatches, 0);
  EXPECT_GT(w.recorded.beeps, 0) << "no press was refused at the nesting limit";
  EXPECT_EQ(w.recorded.exits, 1);
  EXPECT_FALSE(w.window->isVisible());
  EXPECT_EQ(w.window->renderDepth(), 0);
  EXPECT_EQ(yieldsAfterExit, 0) << "a render went on after the exit click";
  EXPECT_TRUE(w.window->canvas() == atExit) << "painted after the exit click";

  // Presses that arrive later start nothing either.
  const int beepsBefore = w.recorded.beeps;
  click(w.pattern(0));
  QCoreApplication::processEvents();
  EXPECT_TRUE(w.window->canvas() == atExit);
  EXPECT_EQ(w.recorded.beeps, beepsBefore + 1);
  EXPECT_EQ(w.recorded.exits, 1);
}

}  // namespace
}  // namespace plorvex::app::testing_support
