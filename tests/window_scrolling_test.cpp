// SPDX-License-Identifier: GPL-3.0-or-later
// The window on screens smaller than its layout: scroll bars, the wheel and
// the Tab key reach every control and the whole picture. On a screen that
// holds the layout nothing moves.

#include <gtest/gtest.h>

#include <QRegion>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <map>

#include "layout_scroller.h"
#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

const QSize kLayout(1272, 1016);

void showAt(TestWindow& w, QSize size) {
  w.window->showNormal();
  w.window->resize(size);
  QCoreApplication::processEvents();
  ASSERT_EQ(w.window->size(), size);
}

// Turns the wheel over the window until the view stops moving; `angle` (120
// a notch) down or right when negative. (Only a wheel the window system
// delivers passes from a control to the window; the e2e suite turns that one.)
void wheelToEnd(TestWindow& w, QPoint angle) {
  for (QPoint before(-1, -1); before != w.window->scroller().offset();) {
    before = w.window->scroller().offset();
    const QPointF at(600, 300);
    QWheelEvent wheel(at, w.window->mapToGlobal(at), QPoint(), angle, Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(w.window.get(), &wheel);
  }
}

// The controls of the window and where each lies in the layout (window
// coordinates when nothing is scrolled).
std::map<QWidget*, QRect> controlsInLayout(const TestWindow& w) {
  std::map<QWidget*, QRect> controls;
  const QPoint offset = w.window->scroller().offset();
  for (QWidget* child : w.window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isVisibleTo(w.window.get()) && !child->objectName().isEmpty())
      controls[child] = child->geometry().translated(offset);
  return controls;
}

// The canvas row y as the window shows it now equals the canvas.
bool rowShown(const TestWindow& w, int y, int left, int right) {
  const int d = w.window->canvasDensity();
  const QPoint offset = w.window->scroller().offset();
  const QImage shown = w.window->grab().toImage().convertToFormat(QImage::Format_RGB32);
  for (int x = left; x <= right; ++x)
    if (shown.pixel((x - offset.x()) * d, (y - offset.y()) * d) != w.window->canvas().pixel(x * d, y * d))
      return false;
  return true;
}

TEST(LayoutScrolling, SmallScreensReachEveryControlAndTheWholePicture) {
  for (const QSize screen : {QSize(1280, 720), QSize(1366, 768), QSize(1024, 600)}) {
    SCOPED_TRACE(QString("%1 x %2").arg(screen.width()).arg(screen.height()).toStdString());
    TestWindow w;
    showAt(w, screen);
    const LayoutScroller& scroller = w.window->scroller();
    EXPECT_TRUE(scroller.verticalBar()->isVisible());
    EXPECT_EQ(scroller.horizontalBar()->isVisible(),
              kLayout.width() > screen.width() - scroller.verticalBar()->width());

    // The wheel at the four corners of the layout: every control is seen
    // whole in one of them, and a panel larger than the view part by part
    // (as far as each lies inside the layout).
    const std::map<QWidget*, QRect> controls = controlsInLayout(w);
    ASSERT_GE(controls.size(), 50u);
    std::map<QWidget*, bool> seen;
    QRegion shown;
    for (const QPoint corner : {QPoint(1, 1), QPoint(-1, 1), QPoint(1, -1), QPoint(-1, -1)}) {
      wheelToEnd(w, QPoint(0, 120 * corner.y()));
      wheelToEnd(w, QPoint(120 * corner.x(), 0));
      const QRect view = scroller.view().translated(scroller.offset());
      shown += view;
      for (const auto& [control, area] : controls)
        if (view.contains(area & QRect(QPoint(0, 0), kLayout))) seen[control] = true;
    }
    const QSize room = scroller.view().size();
    for (const auto& [control, area] : controls) {
      const QRect inLayout = area & QRect(QPoint(0, 0), kLayout);
      if (inLayout.width() <= room.width() && inLayout.height() <= room.height())
        EXPECT_TRUE(seen[control]) << control->objectName().toStdString() << " never shown whole";
      else
        EXPECT_TRUE((QRegion(inLayout) - shown).isEmpty()) << control->objectName().toStdString();
    }

    // Tab brings each control it reaches into view.
    wheelToEnd(w, QPoint(0, -120));
    wheelToEnd(w, QPoint(-120, 0));
    w.field("TextThree")->setFocus();
    for (int k = 0; k < 40; ++k) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      const QWidget* focus = QApplication::focusWidget();
      EXPECT_TRUE(scroller.view().contains(focus->geometry())) << focus->objectName().toStdString();
    }

    // "L", then atlas: its last row, 818, can be brought into view and shows the canvas.
    click(w.control("Command4"));
    click(w.pattern(0));
    ASSERT_EQ(w.window->shownPicture().size(), QSize(1024, 768) * w.window->canvasDensity());
    wheelToEnd(w, QPoint(0, -120));
    const QRect view = scroller.view().translated(scroller.offset());
    EXPECT_TRUE(view.contains(QPoint(161, 818)) && view.contains(QPoint(161, 819)));
    EXPECT_TRUE(rowShown(w, 818, 161, std::min(view.right(), 1184)));
  }
}

TEST(LayoutScrolling, OnAScreenThatHoldsTheLayoutNothingMoves) {
  for (const QSize screen : {QSize(1280, 1024), QSize(1920, 1080)}) {
    SCOPED_TRACE(QString("%1 x %2").arg(screen.width()).arg(screen.height()).toStdString());
    TestWindow w;
    showAt(w, screen);
    const LayoutScroller& scroller = w.window->scroller();
    EXPECT_FALSE(scroller.verticalBar()->isVisible());
    EXPECT_FALSE(scroller.horizontalBar()->isVisible());
    const std::map<QWidget*, QRect> before = controlsInLayout(w);
    wheelToEnd(w, QPoint(0, -120));
    w.field("TextThree")->setFocus();
    for (int k = 0; k < 40; ++k) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    click(w.control("Command4"));
    click(w.pattern(0));
    EXPECT_EQ(scroller.offset(), QPoint(0, 0));
    for (const auto& [control, area] : before)
      EXPECT_EQ(control->geometry(), area) << control->objectName().toStdString();
    EXPECT_TRUE(rowShown(w, 818, 161, 1184));
  }
}

// A picture that reaches past the layout's bottom edge makes the layout
// grow: its last row can be scrolled to.
TEST(LayoutScrolling, APictureBeyondTheLayoutCanBeScrolledTo) {
  TestWindow w;
  showAt(w, QSize(1280, 1024));
  w.field("TextOne")->setFocus();
  w.setFields("1", "1", "1000", "1", "150");
  click(w.pattern(0));
  const LayoutScroller& scroller = w.window->scroller();
  EXPECT_EQ(scroller.layoutSize(), QSize(1272, 51 + 1000));
  EXPECT_TRUE(scroller.verticalBar()->isVisible());
  wheelToEnd(w, QPoint(0, -120));
  const QRect view = scroller.view().translated(scroller.offset());
  EXPECT_TRUE(view.contains(QPoint(161, 1050)));
  EXPECT_TRUE(rowShown(w, 1050, 161, std::min(view.right(), 1160)));
}

}  // namespace
}  // namespace plorvex::app::testing_support
