// SPDX-License-Identifier: GPL-3.0-or-later
// Exploring with the hand: gestures on the picture lead to the texts the view
// geometry gives and render them, bursts render once and never nest, Back and
// Forward retrace the views, and refused gestures change nothing.

#include <gtest/gtest.h>

#include <QLabel>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "explorer.h"
#include "layout_scroller.h"
#include "pattern_preview.h"
#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

constexpr int kAtlas = 0;
constexpr int kDada = 3;  // carries a value from pixel to pixel
constexpr int kEntropy = 4;

FieldTexts fieldsOf(const TestWindow& w) {
  return FieldTexts{w.field("TextOne")->text().toStdString(), w.field("TextTwo")->text().toStdString(),
                    w.field("TextThree")->text().toStdString(), w.field("TextFour")->text().toStdString(),
                    w.field("Textfive")->text().toStdString()};
}

void expectTexts(const FieldTexts& seen, const FieldTexts& wanted) {
  EXPECT_EQ(seen.x, wanted.x);
  EXPECT_EQ(seen.y, wanted.y);
  EXPECT_EQ(seen.size, wanted.size);
  EXPECT_EQ(seen.zoom, wanted.zoom);
  EXPECT_EQ(seen.brightness, wanted.brightness);
}

ViewGeometry geometryOf(int pattern, const FieldTexts& texts) {
  ViewGeometry geometry;
  EXPECT_EQ(viewGeometryOf(*patternAt(pattern), texts, geometry), Fault::None);
  return geometry;
}

// A window that holds the whole layout: no scroll bars, so the plain wheel
// zooms (with them it scrolls, and Ctrl with the wheel zooms).
void showWhole(TestWindow& w) {
  w.window->showNormal();
  w.window->resize(QSize(1280, 1024));
  QCoreApplication::processEvents();
  ASSERT_FALSE(w.window->scroller().verticalBar()->isVisible());
}

// Lets posted gesture renders start and finish.
void settle() {
  for (int k = 0; k < 5; ++k) QCoreApplication::processEvents();
}

void mouse(TestWindow& w, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held,
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QMouseEvent event(type, QPointF(at), w.window->mapToGlobal(QPointF(at)), button, held, modifiers);
  QCoreApplication::sendEvent(w.window.get(), &event);
}

void drag(TestWindow& w, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, modifiers);
  mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton, modifiers);
  mouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, modifiers);
  mouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, modifiers);
}

QWheelEvent* wheelEvent(TestWindow& w, QPoint at, int delta) {
  return new QWheelEvent(QPointF(at), w.window->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta),
                         Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
}

void wheel(TestWindow& w, QPoint at, int delta) {
  std::unique_ptr<QWheelEvent> event(wheelEvent(w, at, delta));
  QCoreApplication::sendEvent(w.window.get(), event.get());
}

// The shown picture against a headless render of the same pattern and texts.
void expectPictureOf(const TestWindow& w, int pattern, const FieldTexts& texts) {
  const int density = w.window->canvasDensity();
  HeadlessHost reference(texts);
  reference.samplingToUse = Sampling{density, 1};
  patternAt(pattern)->render(reference);
  const QImage shown = w.window->shownPicture();
  ASSERT_EQ(static_cast<std::size_t>(shown.width()), reference.pictureColumns() * density);
  for (int y = 0; y < shown.height(); ++y)
    for (int x = 0; x < shown.width(); ++x) {
      const Colour c = reference.pixel(161 * density + x, 51 * density + y);
      ASSERT_EQ(shown.pixel(x, y), qRgb(redOf(c), greenOf(c), blueOf(c))) << x << ", " << y;
    }
  EXPECT_TRUE(w.window->shownParameters().complete);
}

struct Start {
  int pattern;
  FieldTexts texts;
};

TestWindow* shown(TestWindow& w, const Start& start) {
  w.setFields(start.texts.x.c_str(), start.texts.y.c_str(), start.texts.size.c_str(),
              start.texts.zoom.c_str(), start.texts.brightness.c_str());
  click(w.pattern(start.pattern));
  return &w;
}

// One case per gesture: what the hand does, and the change the geometry gives for it.
struct GestureCase {
  const char* name;
  Start start;
  std::function<void(TestWindow&)> act;
  std::function<ViewChange(const ViewGeometry&)> expected;
};

class Gestures : public ::testing::TestWithParam<GestureCase> {};

TEST_P(Gestures, LeadToTheGeometrysTextsAndRenderThemExactly) {
  const GestureCase& c = GetParam();
  TestWindow w;
  showWhole(w);
  shown(w, c.start);
  const ViewChange change = c.expected(geometryOf(c.start.pattern, c.start.texts));
  ASSERT_TRUE(change.changed);
  c.act(w);
  settle();
  expectTexts(fieldsOf(w), change.texts);
  expectTexts(w.window->shownParameters().fields, change.texts);
  expectPictureOf(w, c.start.pattern, change.texts);
  EXPECT_EQ(w.window->explorer().history().size(), 2u);
  EXPECT_TRUE(w.recorded.messageTexts.isEmpty());
}

const Start kAtlasStart{kAtlas, {"-30.5", "12", "40", "0.3", "150"}};
const Start kEntropyStart{kEntropy, {"3", "-7", "36", "2", "120"}};

INSTANTIATE_TEST_SUITE_P(
    Explorer, Gestures,
    ::testing::Values(
        GestureCase{"WheelAwayZoomsInAtThePointer", kAtlasStart,
                    [](TestWindow& w) { wheel(w, {170, 60}, 120); },
                    [](const ViewGeometry& g) { return zoomInAt(g, 170, 60); }},
        GestureCase{"WheelTowardsZoomsOut", kEntropyStart,
                    [](TestWindow& w) { wheel(w, {190, 80}, -120); },
                    [](const ViewGeometry& g) { return zoomOutAt(g, 190, 80); }},
        GestureCase{"SmallWheelDeltasAddUpToANotch", kAtlasStart,
                    [](TestWindow& w) {
                      for (int k = 0; k < 4; ++k) wheel(w, {180, 70}, 30);
                    },
                    [](const ViewGeometry& g) { return zoomInAt(g, 180, 70); }},
        GestureCase{"DragMovesThePictureWithTheHand", kAtlasStart,
                    [](TestWindow& w) { drag(w, {180, 70}, {171, 83}); },
                    [](const ViewGeometry& g) { return dragView(g, -9, 13); }},
        GestureCase{"ShiftDragZoomsIntoTheBox", kEntropyStart,
                    [](TestWindow& w) { drag(w, {170, 60}, {181, 75}, Qt::ShiftModifier); },
                    [](const ViewGeometry& g) { return zoomToBox(g, 170, 60, 181, 75); }},
        GestureCase{"DoubleClickCentres", kAtlasStart,
                    [](TestWindow& w) {
                      QTest::mouseDClick(w.window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(165, 58));
                    },
                    [](const ViewGeometry& g) { return centreOn(g, 165, 58); }},
        GestureCase{"CtrlPlusZoomsInAtTheCentre", kEntropyStart,
                    [](TestWindow& w) { QTest::keyClick(w.window.get(), Qt::Key_Plus, Qt::ControlModifier); },
                    [](const ViewGeometry& g) { return zoomInAt(g, g.centreX(), g.centreY()); }},
        GestureCase{"CtrlEqualsZoomsInAtTheCentre", kAtlasStart,
                    [](TestWindow& w) { QTest::keyClick(w.window.get(), Qt::Key_Equal, Qt::ControlModifier); },
                    [](const ViewGeometry& g) { return zoomInAt(g, g.centreX(), g.centreY()); }},
        GestureCase{"CtrlMinusZoomsOutAtTheCentre", kAtlasStart,
                    [](TestWindow& w) { QTest::keyClick(w.window.get(), Qt::Key_Minus, Qt::ControlModifier); },
                    [](const ViewGeometry& g) { return zoomOutAt(g, g.centreX(), g.centreY()); }}),
    [](const ::testing::TestParamInfo<GestureCase>& info) { return std::string(info.param.name); });

TEST(Explorer, GesturesOutsideThePictureOrBeforeAnyPictureDoNothing) {
  TestWindow w;
  showWhole(w);
  w.setFields("1", "1", "30", "1", "150");
  wheel(w, {170, 60}, 120);  // no picture yet
  drag(w, {170, 60}, {190, 70});
  settle();
  EXPECT_EQ(fieldsOf(w).zoom, "1");
  EXPECT_EQ(w.window->explorer().history().size(), 0u);
  click(w.pattern(kAtlas));
  wheel(w, {161 + 30, 60}, 120);  // one column right of the picture
  wheel(w, {100, 60}, -120);
  drag(w, {160, 60}, {170, 60});
  QTest::mouseDClick(w.window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(170, 51 + 30));
  settle();
  expectTexts(fieldsOf(w), FieldTexts{"1", "1", "30", "1", "150"});
  EXPECT_EQ(w.window->explorer().history().size(), 1u);
}

TEST(Explorer, SmallBoxesAndPlainClicksChangeNothing) {
  TestWindow w;
  showWhole(w);
  shown(w, kAtlasStart);
  drag(w, {170, 60}, {172, 75}, Qt::ShiftModifier);  // 3 pixels wide
  mouse(w, QEvent::MouseButtonPress, {175, 65}, Qt::LeftButton, Qt::LeftButton);
  mouse(w, QEvent::MouseButtonRelease, {175, 65}, Qt::LeftButton, Qt::NoButton);
  settle();
  expectTexts(fieldsOf(w), kAtlasStart.texts);
  EXPECT_EQ(w.window->explorer().history().size(), 1u);
}

TEST(Explorer, CursorIsAnOpenHandOverThePictureAndClosedWhileDragging) {
  TestWindow w;
  showWhole(w);
  shown(w, kAtlasStart);
  mouse(w, QEvent::MouseMove, {170, 60}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w.window->cursor().shape(), Qt::OpenHandCursor);
  mouse(w, QEvent::MouseButtonPress, {170, 60}, Qt::LeftButton, Qt::LeftButton);
  mouse(w, QEvent::MouseMove, {175, 62}, Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(w.window->cursor().shape(), Qt::ClosedHandCursor);
  mouse(w, QEvent::MouseButtonRelease, {175, 62}, Qt::LeftButton, Qt::NoButton);
  settle();
  mouse(w, QEvent::MouseMove, {120, 60}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(w.window->cursor().shape(), Qt::ArrowCursor);
}

// Without a carried value every step of the hand is the exact picture at
// once; with one, the old pixels follow the hand and the release renders.
TEST(Explorer, DuringADragThePictureFollowsEveryMoveOfTheHand) {
  for (const int pattern : {kAtlas, kEntropy, kDada}) {
    SCOPED_TRACE(patternAt(pattern)->caption);
    TestWindow w;
  showWhole(w);
    const Start start{pattern, kAtlasStart.texts};
    shown(w, start);
    const ViewGeometry geometry = geometryOf(pattern, start.texts);
    const QImage before = w.window->shownPicture();
    mouse(w, QEvent::MouseButtonPress, {180, 70}, Qt::LeftButton, Qt::LeftButton);
    for (const QPoint at : {QPoint(185, 67), QPoint(176, 75), QPoint(171, 71)}) {
      mouse(w, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
      const QPoint shift = at - QPoint(180, 70);
      const FieldTexts view = dragView(geometry, shift.x(), shift.y()).texts;
      if (patternAt(pattern)->moved) {
        expectTexts(fieldsOf(w), view);
        expectPictureOf(w, pattern, view);
      } else {
        // In canvas pixels at the window's density; the fields follow the
        // hand, and the view is rendered at the release.
        const QImage during = w.window->shownPicture();
        const QPoint moved = shift * w.window->canvasDensity();
        const int side = during.width();
        for (int y = std::max(0, -moved.y()); y < side && y + moved.y() < side; ++y)
          for (int x = std::max(0, -moved.x()); x < side && x + moved.x() < side; ++x)
            ASSERT_EQ(during.pixel(x + moved.x(), y + moved.y()), before.pixel(x, y)) << x << ", " << y;
        expectTexts(fieldsOf(w), view);
        EXPECT_EQ(w.window->explorer().history().size(), 1u);
      }
    }
    mouse(w, QEvent::MouseButtonRelease, {171, 71}, Qt::LeftButton, Qt::NoButton);
    settle();
    const FieldTexts released = dragView(geometry, -9, 1).texts;
    expectTexts(fieldsOf(w), released);
    expectPictureOf(w, pattern, released);
    EXPECT_EQ(w.window->explorer().history().size(), 2u);  // the drag is one entry
  }
}

// A view that moves the complete picture by whole pixels is made by moving
// it and computing the strips it uncovers: no render runs, and the picture is
// the full render's.
TEST(Explorer, DoubleClickBackAndForwardMoveTheCompletePictureWithoutARender) {
  TestWindow w;
  showWhole(w);
  shown(w, kEntropyStart);
  int yields = 0;
  w.window->renderer().onYield = [&](int) { ++yields; };
  const FieldTexts centred = centreOn(geometryOf(kEntropy, kEntropyStart.texts), 170, 80).texts;
  QTest::mouseDClick(w.window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(170, 80));
  settle();
  expectPictureOf(w, kEntropy, centred);
  QTest::keyClick(w.window.get(), Qt::Key_Left, Qt::AltModifier);
  settle();
  expectTexts(fieldsOf(w), kEntropyStart.texts);
  expectPictureOf(w, kEntropy, kEntropyStart.texts);
  QTest::keyClick(w.window.get(), Qt::Key_Right, Qt::AltModifier);
  settle();
  expectPictureOf(w, kEntropy, centred);
  EXPECT_EQ(yields, 0);
  EXPECT_EQ(w.window->explorer().history().size(), 2u);
}

TEST(Explorer, AWheelNotchShowsTheOldPictureScaledAboutThePointerAtOnce) {
  TestWindow w;
  showWhole(w);
  shown(w, kEntropyStart);
  const QImage before = w.window->shownPicture();
  std::unique_ptr<QWheelEvent> event(wheelEvent(w, {170, 60}, 120));
  QCoreApplication::sendEvent(w.window.get(), event.get());  // the render is only posted
  const QImage preview = w.window->shownPicture();
  // Pixel (x + 2d) shows what (x + d) showed, in canvas pixels at the
  // window's density from the pointer pixel's corner c.
  const int density = w.window->canvasDensity();
  const int c = 9 * density;
  for (int d = -4 * density; d < 13 * density; ++d)
    for (int e = -4 * density; e < 13 * density; ++e)
      ASSERT_EQ(preview.pixel(c + 2 * d, c + 2 * e), before.pixel(c + d, c + e)) << d << ", " << e;
  settle();
  expectPictureOf(w, kEntropy, zoomInAt(geometryOf(kEntropy, kEntropyStart.texts), 170, 60).texts);
}

// A storm of notches while a render runs: that render halts, and the view the
// storm adds up to is rendered once it has returned, never inside it.
TEST(Explorer, ABurstOfNotchesDuringARenderRendersOnlyTheViewItAddsUpTo) {
  TestWindow w;
  showWhole(w);
  const Start start{kAtlas, {"1", "1", "200", "0.15", "150"}};
  w.setFields("1", "1", "200", "0.15", "150");
  ViewGeometry geometry = geometryOf(kAtlas, start.texts);
  // 30 in, then 20 out: the offsets stay far from their limit.
  const auto notchDelta = [](int k) { return k < 30 ? 120 : -120; };
  FieldTexts expected = start.texts;
  for (int k = 0; k < 50; ++k) {
    const ViewChange change = k < 30 ? zoomInAt(geometry, 250 + k, 120) : zoomOutAt(geometry, 250 + k, 120);
    ASSERT_TRUE(change.changed) << k;
    expected = change.texts;
    geometry = geometryOf(kAtlas, expected);
  }
  std::set<std::string> zoomsRendered;
  int deepest = 0;
  int yields = 0;
  w.window->renderer().onYield = [&](int depth) {
    deepest = std::max(deepest, depth);
    zoomsRendered.insert(w.window->shownParameters().fields.zoom);
    if (++yields == 5)
      for (int k = 0; k < 50; ++k)
        QCoreApplication::postEvent(w.window.get(), wheelEvent(w, {250 + k, 120}, notchDelta(k)));
  };
  click(w.pattern(kAtlas));
  settle();
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(zoomsRendered, (std::set<std::string>{"0.15", expected.zoom}));
  expectTexts(fieldsOf(w), expected);
  expectPictureOf(w, kAtlas, expected);
  EXPECT_EQ(w.window->explorer().history().size(), 2u);  // one entry for the storm
}

TEST(Explorer, AGestureDuringNestedRendersHaltsThemAllFirst) {
  TestWindow w;
  showWhole(w);
  w.setFields("1", "1", "120", "1", "150");
  int deepest = 0;
  int yields = 0;
  w.window->renderer().onYield = [&](int depth) {
    deepest = std::max(deepest, depth);
    ++yields;
    if (yields == 3) postClick(w.pattern(kEntropy));  // a nested render, as before
    if (yields == 8) QCoreApplication::postEvent(w.window.get(), wheelEvent(w, {200, 100}, 120));
  };
  click(w.pattern(kAtlas));
  settle();
  EXPECT_EQ(deepest, 2);
  const FieldTexts expected = zoomInAt(geometryOf(kEntropy, {"1", "1", "120", "1", "150"}), 200, 100).texts;
  expectTexts(fieldsOf(w), expected);
  expectPictureOf(w, kEntropy, expected);
}

TEST(Explorer, ReturnInAnyFieldPressesTheHighlightedPatternAfterTheSizeCheck) {
  TestWindow w;
  showWhole(w);
  shown(w, kEntropyStart);
  w.field("TextFour")->setText("0.5");
  QTest::keyClick(w.field("TextFour"), Qt::Key_Return);
  settle();
  EXPECT_EQ(w.window->shownParameters().fields.zoom, "0.5");
  w.field("TextThree")->setText("5000");
  QTest::keyClick(w.field("TextThree"), Qt::Key_Enter, Qt::KeypadModifier);
  settle();
  EXPECT_EQ(fieldsOf(w).size, "100");
  EXPECT_EQ(w.window->shownParameters().fields.size, "100");
  EXPECT_EQ(w.window->shownParameters().pattern, "entropy");
  EXPECT_EQ(w.window->explorer().history().size(), 3u);
}

TEST(Explorer, BackAndForwardRetraceTheViewsByKeysMouseButtonsAndMenu) {
  TestWindow w;
  showWhole(w);
  shown(w, kAtlasStart);
  wheel(w, {170, 60}, 120);
  settle();
  const FieldTexts zoomed = fieldsOf(w);
  click(w.pattern(kEntropy));
  settle();
  ASSERT_EQ(w.window->explorer().history().size(), 3u);
  QTest::keyClick(w.window.get(), Qt::Key_Left, Qt::AltModifier);
  settle();
  EXPECT_EQ(w.window->shownParameters().pattern, "atlas");
  expectTexts(w.window->shownParameters().fields, zoomed);
  mouse(w, QEvent::MouseButtonPress, {600, 600}, Qt::BackButton, Qt::BackButton);
  settle();
  expectPictureOf(w, kAtlas, kAtlasStart.texts);
  expectTexts(fieldsOf(w), kAtlasStart.texts);
  QTest::keyClick(w.window.get(), Qt::Key_Left, Qt::AltModifier);  // nothing before the first
  settle();
  expectTexts(fieldsOf(w), kAtlasStart.texts);
  mouse(w, QEvent::MouseButtonPress, {600, 600}, Qt::ForwardButton, Qt::ForwardButton);
  settle();
  expectTexts(w.window->shownParameters().fields, zoomed);
  QAction* forward = nullptr;
  for (QAction* action : w.window->actions())
    if (action->text() == "Forward") forward = action;
  ASSERT_NE(forward, nullptr);
  forward->trigger();
  settle();
  EXPECT_EQ(w.window->shownParameters().pattern, "entropy");
  EXPECT_EQ(w.window->explorer().history().size(), 3u);  // retracing records nothing
  // A new view after Back drops the views ahead.
  QTest::keyClick(w.window.get(), Qt::Key_Left, Qt::AltModifier);
  settle();
  wheel(w, {175, 65}, -120);
  settle();
  EXPECT_EQ(w.window->explorer().history().size(), 3u);
  EXPECT_FALSE(w.window->explorer().history().canGoForward());
}

// Each refused gesture leaves fields, picture and history as they were and
// says why at the pointer, with no message box.
struct LimitCase {
  const char* name;
  FieldTexts texts;
  std::function<void(TestWindow&)> act;
  const char* said;
};

class Limits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(Limits, ARefusedGestureChangesNothingAndSaysSoAtThePointer) {
  const LimitCase& c = GetParam();
  TestWindow w;
  showWhole(w);
  shown(w, Start{kAtlas, c.texts});
  const QImage before = w.window->shownPicture();
  const qsizetype messages = w.recorded.messageTexts.size();
  c.act(w);
  settle();
  expectTexts(fieldsOf(w), c.texts);
  EXPECT_EQ(w.window->shownPicture(), before);
  EXPECT_EQ(w.window->explorer().history().size(), 1u);
  EXPECT_TRUE(w.window->explorer().lastNote().contains(c.said)) << w.window->explorer().lastNote().toStdString();
  EXPECT_EQ(QToolTip::text(), w.window->explorer().lastNote());
  EXPECT_EQ(w.recorded.messageTexts.size(), messages);
}

INSTANTIATE_TEST_SUITE_P(
    Explorer, Limits,
    ::testing::Values(
        LimitCase{"ZoomBelowTheSmallest", {"1", "1", "30", "1.5E-300", "150"},
                  [](TestWindow& w) { wheel(w, {170, 60}, 120); }, "1E-300"},
        LimitCase{"ZoomAboveTheLargest", {"1", "1", "30", "9E+299", "150"},
                  [](TestWindow& w) { wheel(w, {170, 60}, -120); }, "1E+300"},
        LimitCase{"DragPastTheLargestOffset", {"999999999999999", "1", "30", "1", "150"},
                  [](TestWindow& w) { drag(w, {170, 60}, {160 + 2, 60}); }, "1E+15"},
        LimitCase{"ZoomInPastTheLargestOffset", {"600000000000000", "1", "30", "1", "150"},
                  [](TestWindow& w) { wheel(w, {170, 60}, 120); }, "1E+15"}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

TEST(Explorer, TheWayBackFromALimitAlwaysWorks) {
  TestWindow w;
  showWhole(w);
  shown(w, Start{kAtlas, {"1", "1", "30", "1.5E-300", "150"}});
  wheel(w, {170, 60}, 120);
  wheel(w, {170, 60}, -120);
  settle();
  EXPECT_EQ(fieldsOf(w).zoom, "3E-300");
}

// The history alone: what is recorded, dropped and kept.
TEST(ViewHistory, RecordsChangesDropsTheViewsAheadAndKeepsTheNewest256) {
  ViewHistory history;
  const auto view = [](int n) { return HistoryView{n % 3, FieldTexts{std::to_string(n), "1", "150", "1", "150"}}; };
  history.record(view(0));
  history.record(view(0));  // the same view again
  EXPECT_EQ(history.size(), 1u);
  history.record(view(1));
  history.record(view(2));
  history.record(view(3), true);  // one gesture moved on
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(*history.current(), view(3));
  history.record(view(1), true);  // and came back to the view before
  EXPECT_EQ(history.size(), 2u);
  EXPECT_EQ(history.back(), view(0));
  EXPECT_EQ(history.forward(), view(1));
  EXPECT_EQ(history.forward(), std::nullopt);
  history.back();
  history.record(view(7));
  EXPECT_EQ(history.size(), 2u);
  EXPECT_FALSE(history.canGoForward());
  for (int n = 10; n < 400; ++n) history.record(view(n));
  EXPECT_EQ(history.size(), ViewHistory::kMaxViews);
  const auto kept = history.viewsUpToCurrent();
  EXPECT_EQ(kept.front(), view(400 - 256));
  EXPECT_EQ(kept.back(), view(399));
  history.back();
  EXPECT_EQ(history.viewsUpToCurrent().size(), 255u);
}

}  // namespace
}  // namespace plorvex::app::testing_support

namespace plorvex::app::testing_support {
namespace {

const QLabel* waitForPreview(TestWindow& w) {
  const PatternPreview& preview = w.window->explorer().preview();
  for (int k = 0; k < 300 && !preview.shown(); ++k) QTest::qWait(10);
  return preview.shown();
}

void hover(QWidget* button, bool enter) {
  QEvent event(enter ? QEvent::Enter : QEvent::Leave);
  QCoreApplication::sendEvent(button, &event);
}

// Hovering a pattern button shows, after a pause, that pattern at the texts
// in the fields, at a small size, rendered off the window's thread and kept
// while the texts stay the same.
TEST(PatternPreview, ShowsThePatternAtTheFieldTextsAndKeepsItWhileTheyStay) {
  TestWindow w;
  showWhole(w);
  w.setFields("-30.5", "12", "300", "0.3", "150");
  const PatternPreview& preview = w.window->explorer().preview();
  hover(w.pattern(kEntropy), true);
  EXPECT_EQ(preview.shown(), nullptr);  // not before the pause
  const QLabel* label = waitForPreview(w);
  ASSERT_NE(label, nullptr);
  const auto texts = PatternPreview::previewTexts(kEntropy, fieldsOf(w));
  ASSERT_TRUE(texts);
  EXPECT_EQ(texts->size, "128");
  HeadlessHost reference(*texts);
  patternAt(kEntropy)->render(reference);
  const QImage shownImage = label->pixmap().toImage();
  ASSERT_EQ(shownImage.size(), QSize(128, 128));
  for (int y = 0; y < 128; y += 7)
    for (int x = 0; x < 128; x += 5) {
      const Colour c = reference.pixel(161 + x, 51 + y);
      ASSERT_EQ(shownImage.pixel(x, y), qRgb(redOf(c), greenOf(c), blueOf(c))) << x << ", " << y;
    }
  // The same part of the pattern: the centre's counters times the zoom agree.
  const WorldView world = worldOf(geometryOf(kEntropy, fieldsOf(w)));
  const WorldView small = worldOf(geometryOf(kEntropy, *texts));
  EXPECT_NEAR(small.centreX, world.centreX, 1e-9 * std::abs(world.centreX) + 1e-9);
  EXPECT_NEAR(small.width, world.width, 1e-12);
  hover(w.pattern(kEntropy), false);
  EXPECT_EQ(preview.shown(), nullptr);
  hover(w.pattern(kEntropy), true);
  EXPECT_NE(waitForPreview(w), nullptr);
  EXPECT_EQ(preview.rendersStarted(), 1);  // kept
  hover(w.pattern(kEntropy), false);
  w.field("TextFour")->setText("0.6");
  hover(w.pattern(kEntropy), true);
  EXPECT_NE(waitForPreview(w), nullptr);
  EXPECT_EQ(preview.rendersStarted(), 2);  // new texts, new picture
}

}  // namespace
}  // namespace plorvex::app::testing_support

namespace plorvex::app::testing_support {
namespace {

// On a screen smaller than the layout the window scrolls: gestures act on the
// canvas pixel under the pointer, the plain wheel scrolls, Ctrl with it zooms.
TEST(Explorer, OnAScrolledWindowGesturesActOnThePixelUnderThePointer) {
  TestWindow w;
  showWhole(w);
  w.window->showNormal();
  w.window->resize(QSize(1000, 700));
  QCoreApplication::processEvents();
  const Start start{kAtlas, {"1", "1", "300", "0.3", "150"}};
  shown(w, start);
  const LayoutScroller& scroller = w.window->scroller();
  ASSERT_TRUE(scroller.verticalBar()->isVisible());
  scroller.verticalBar()->setValue(100);
  scroller.horizontalBar()->setValue(40);
  const QPoint offset = scroller.offset();
  ASSERT_EQ(offset, QPoint(40, 100));
  wheel(w, {300, 150}, -120);  // scrolls back up
  EXPECT_NE(scroller.offset(), offset);
  expectTexts(fieldsOf(w), start.texts);
  scroller.verticalBar()->setValue(100);
  std::unique_ptr<QWheelEvent> zoom(new QWheelEvent(QPointF(300, 150), w.window->mapToGlobal(QPointF(300, 150)),
                                                    QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                                                    Qt::NoScrollPhase, false));
  QCoreApplication::sendEvent(w.window.get(), zoom.get());
  settle();
  const FieldTexts zoomed = zoomInAt(geometryOf(kAtlas, start.texts), 340, 250).texts;
  expectTexts(fieldsOf(w), zoomed);
  drag(w, {300, 150}, {290, 160});
  settle();
  expectTexts(fieldsOf(w), dragView(geometryOf(kAtlas, zoomed), -10, 10).texts);
  EXPECT_EQ(scroller.offset(), offset);
}

}  // namespace
}  // namespace plorvex::app::testing_support

namespace plorvex::app::testing_support {
namespace {

// The share of `area` that the window shows in the background colour.
double blankShare(TestWindow& w, const QRect& area) {
  const QImage shot = w.window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
  const QRgb background = qRgb(64, 64, 64);
  qint64 blank = 0;
  for (int y = 0; y < shot.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(shot.constScanLine(y));
    blank += std::count(row, row + shot.width(), background);
  }
  return static_cast<double>(blank) / (static_cast<double>(shot.width()) * shot.height());
}

// What the hand does, one step every 50 ms, on a finished 1024 x 768 picture.
// A step that returns false is tried again 50 ms later.
using RunStep = std::function<bool(TestWindow&)>;
struct RunCase {
  const char* name;
  std::vector<RunStep> steps;
};

RunStep notchAt(QPoint at, int delta) {
  return [at, delta](TestWindow& w) { return wheel(w, at, delta), true; };
}

RunStep mouseStep(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  return [=](TestWindow& w) { return mouse(w, type, at, button, held), true; };
}

RunStep untilThePictureIsWhole() {
  return [](TestWindow& w) { return w.window->renderDepth() == 0 && w.window->shownParameters().complete; };
}

RunCase fourInFourOut() {
  RunCase run{"FourNotchesInThenFourOut", {}};
  for (int k = 0; k < 8; ++k) run.steps.push_back(notchAt({600, 400}, k < 4 ? 120 : -120));
  return run;
}

RunCase dragDuringARenderThenNotches() {
  RunCase run{"ADragDuringARenderThenSixNotchesInAndThreeOut", {}};
  run.steps.push_back([](TestWindow& w) { return postClick(w.pattern(kAtlas)), true; });  // the same view again
  run.steps.push_back(mouseStep(QEvent::MouseButtonPress, {600, 400}, Qt::LeftButton, Qt::LeftButton));
  // A short drag: the strip it uncovers (1.4 % of the picture) is new to the
  // view, and background until the render reaches it.
  run.steps.push_back(mouseStep(QEvent::MouseMove, {604, 402}, Qt::NoButton, Qt::LeftButton));
  run.steps.push_back(mouseStep(QEvent::MouseMove, {608, 405}, Qt::NoButton, Qt::LeftButton));
  run.steps.push_back(mouseStep(QEvent::MouseButtonRelease, {608, 405}, Qt::LeftButton, Qt::NoButton));
  for (int k = 0; k < 9; ++k) run.steps.push_back(notchAt({700, 450}, k < 6 ? 120 : -120));
  return run;
}

// Zooming out of a finished zoomed-in picture shows the picture it was
// zoomed from around it.
RunCase outRightAfterInFinished() {
  RunCase run{"TwoNotchesInFinishedThenTwoOut", {}};
  for (int k = 0; k < 2; ++k) run.steps.push_back(notchAt({500, 300}, 120));
  run.steps.push_back(untilThePictureIsWhole());
  for (int k = 0; k < 2; ++k) run.steps.push_back(notchAt({500, 300}, -120));
  return run;
}

class GestureRuns : public ::testing::TestWithParam<RunCase> {};

// Until the new columns cover a spot, it shows the old picture moved or
// scaled to where it now belongs: never background where a picture was.
TEST_P(GestureRuns, NeverShowBackgroundWhereThePictureWas) {
  TestWindow w;
  showWhole(w);
  shown(w, Start{kAtlas, {"1", "1", "768", "0.15", "150"}});
  settle();
  const QRect picture(161, 51, 1024, 768);
  const double before = blankShare(w, picture);
  const std::vector<RunStep>& steps = GetParam().steps;
  std::size_t next = 0;
  double worst = 0;
  int samples = 0, samplesDuringRenders = 0;
  QTimer stepper, sampler;
  QObject::connect(&stepper, &QTimer::timeout, [&] {
    if (next < steps.size() && steps[next](w)) ++next;
  });
  QObject::connect(&sampler, &QTimer::timeout, [&] {
    worst = std::max(worst, blankShare(w, picture) - before);
    ++samples;
    if (w.window->renderDepth() > 0) ++samplesDuringRenders;
  });
  stepper.start(50);
  sampler.start(30);
  ASSERT_TRUE(eventually([&] { return next == steps.size() && w.window->renderDepth() == 0; }, 60000));
  settle();
  ASSERT_TRUE(eventually([&] { return w.window->renderDepth() == 0 && w.window->shownParameters().complete; }, 60000));
  stepper.stop();
  sampler.stop();
  EXPECT_GE(samplesDuringRenders, 3) << samples << " samples";
  EXPECT_LE(worst, 0.02) << "of the picture's area was background at worst";
  expectTexts(w.window->shownParameters().fields, fieldsOf(w));
  expectPictureOf(w, kAtlas, fieldsOf(w));
}

INSTANTIATE_TEST_SUITE_P(Explorer, GestureRuns, ::testing::Values(fourInFourOut(), dragDuringARenderThenNotches(),
                                                                    outRightAfterInFinished()),
                         [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

// Numbers longer than their field show their start: sign, integer part and
// point; the whole text is in the tooltip.
TEST(Explorer, AFieldAGestureWritesShowsItsStartAndTheWholeTextInItsTooltip) {
  TestWindow w;
  showWhole(w);
  shown(w, Start{kAtlas, {"4081.54304635762", "4896.16556291391", "40", "0.3", "150"}});
  drag(w, {170, 60}, {190, 75}, Qt::ShiftModifier);
  settle();
  QTest::mouseDClick(w.window.get(), Qt::LeftButton, Qt::NoModifier, QPoint(175, 66));
  settle();
  for (const char* name : {"TextOne", "TextTwo", "TextThree", "TextFour", "Textfive"}) {
    SCOPED_TRACE(name);
    const QLineEdit* field = w.field(name);
    EXPECT_EQ(field->cursorPosition(), 0);
    EXPECT_TRUE(field->toolTip().endsWith(field->text())) << field->toolTip().toStdString();
  }
  // Longer than the field shows, so that where it is scrolled to matters.
  const QLineEdit* x = w.field("TextOne");
  EXPECT_GT(x->fontMetrics().horizontalAdvance(x->text()), x->width());
}

// A gesture that exactly undoes the one before it gives back that view's
// texts, as Back would, not texts that only paint the same pixels.
struct UndoCase {
  const char* name;
  std::function<void(TestWindow&)> there;
  std::function<void(TestWindow&)> back;
};

class UndoingGestures : public ::testing::TestWithParam<UndoCase> {};

TEST_P(UndoingGestures, GiveBackThePreviousTexts) {
  const Start start{kAtlas, {"4081.54304635762", "5161.16556291391", "40", "0.3", "150"}};
  TestWindow w;
  showWhole(w);
  shown(w, start);
  GetParam().there(w);
  settle();
  ASSERT_NE(fieldsOf(w).zoom + fieldsOf(w).x + fieldsOf(w).y, start.texts.zoom + start.texts.x + start.texts.y);
  GetParam().back(w);
  settle();
  expectTexts(fieldsOf(w), start.texts);
  expectTexts(w.window->shownParameters().fields, start.texts);
  expectPictureOf(w, kAtlas, start.texts);
}

INSTANTIATE_TEST_SUITE_P(
    Explorer, UndoingGestures,
    ::testing::Values(
        UndoCase{"CtrlPlusThenCtrlMinus",
                 [](TestWindow& w) { QTest::keyClick(w.window.get(), Qt::Key_Plus, Qt::ControlModifier); },
                 [](TestWindow& w) { QTest::keyClick(w.window.get(), Qt::Key_Minus, Qt::ControlModifier); }},
        UndoCase{"WheelOutThenInAtOnePoint", [](TestWindow& w) { wheel(w, {173, 66}, -120); },
                 [](TestWindow& w) { wheel(w, {173, 66}, 120); }},
        UndoCase{"ADragAndItsReverse", [](TestWindow& w) { drag(w, {180, 70}, {171, 83}); },
                 [](TestWindow& w) { drag(w, {171, 83}, {180, 70}); }}),
    [](const ::testing::TestParamInfo<UndoCase>& info) { return std::string(info.param.name); });

// The plain rule alone does not give the texts back for this start: the
// window's answer is not the geometry's by chance.
TEST(Explorer, ZoomingInAndOutByTheGeometryAloneChangesTheTexts) {
  const FieldTexts start{"4081.54304635762", "5161.16556291391", "40", "0.3", "150"};
  const ViewGeometry g = geometryOf(kAtlas, start);
  const ViewChange in = zoomInAt(g, g.centreX(), g.centreY());
  const ViewGeometry zoomed = geometryOf(kAtlas, in.texts);
  const ViewChange out = zoomOutAt(zoomed, zoomed.centreX(), zoomed.centreY());
  EXPECT_NE(out.texts.x + " " + out.texts.y, start.x + " " + start.y);
}

// The preview has the picture's shape, 128 pixels wide, shows exactly the
// picture's part, and lies inside the window however small it is.
TEST(PatternPreview, HasThePicturesShapeAndStaysInsideTheWindow) {
  TestWindow w;
  showWhole(w);
  w.setFields("-30.5", "12", "768", "0.15", "150");
  hover(w.pattern(kEntropy), true);
  const QLabel* label = waitForPreview(w);
  ASSERT_NE(label, nullptr);
  const QImage shownImage = label->pixmap().toImage();
  ASSERT_EQ(shownImage.size(), QSize(128, 96));
  const auto texts = PatternPreview::previewTexts(kEntropy, fieldsOf(w));
  ASSERT_TRUE(texts);
  HeadlessHost reference(*texts);
  patternAt(kEntropy)->render(reference);
  for (int y = 0; y < 96; y += 5)
    for (int x = 0; x < 128; x += 5) {
      const Colour c = reference.pixel(161 + x, 51 + 16 + y);
      ASSERT_EQ(shownImage.pixel(x, y), qRgb(redOf(c), greenOf(c), blueOf(c))) << x << ", " << y;
    }
  // The picture's top and bottom rows are the preview's, scaled down.
  const WorldView world = worldOf(geometryOf(kEntropy, fieldsOf(w)));
  const ViewGeometry small = geometryOf(kEntropy, *texts);
  EXPECT_NEAR(worldOf(small).width * 96 / 128, world.width * 768 / 1024, 1e-9 * world.width);
  hover(w.pattern(kEntropy), false);

  w.window->resize(QSize(1366, 768));
  QCoreApplication::processEvents();
  int lowest = 0;
  for (int k = 1; k < kPatternButtons; ++k)
    if (w.pattern(k)->geometry().bottom() > w.pattern(lowest)->geometry().bottom()) lowest = k;
  hover(w.pattern(lowest), true);
  const QLabel* low = waitForPreview(w);
  ASSERT_NE(low, nullptr);
  EXPECT_TRUE(w.window->rect().contains(low->geometry())) << low->geometry().y() << " of " << w.window->height();
}

}  // namespace
}  // namespace plorvex::app::testing_support
