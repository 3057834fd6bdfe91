// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scroll bars for a window whose controls sit at fixed places. On a screen
// smaller than the layout they appear along the right and bottom edges, and
// the window's child widgets move with them (the window paints its own
// background shifted by offset()). On a screen that holds the layout they
// stay hidden and nothing moves.

#include <QObject>
#include <QPointer>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

class QScrollBar;
class QWidget;

namespace plorvex::app {

class LayoutScroller : public QObject {
  Q_OBJECT
 public:
  // Takes the window's child widgets as they are now: created later, a child
  // stays where it is put.
  LayoutScroller(QWidget* window, QSize layout);

  // The layout point shown at the window's top left.
  QPoint offset() const { return offset_; }
  QSize layoutSize() const { return layout_; }
  // The part of the window the bars leave free, in window coordinates.
  QRect view() const;
  // Grows the layout to hold `area` too; it never shrinks.
  void include(const QRect& area);
  // Shows or hides the bars for the window's size; called on every resize.
  void fit();
  // Scrolls as little as needed to show a child whole.
  void ensureVisible(const QWidget* child);
  QScrollBar* horizontalBar() const { return horizontal_; }
  QScrollBar* verticalBar() const { return vertical_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void follow();  // moves the children to the bars' values

  QWidget* window_;
  QSize layout_;
  QPoint offset_;
  QScrollBar* horizontal_;
  QScrollBar* vertical_;
  QWidget* corner_;
  std::vector<QPointer<QWidget>> children_;  // the widgets that move
  bool forwarding_ = false;
};

}  // namespace plorvex::app
