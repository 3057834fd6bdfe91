// SPDX-License-Identifier: GPL-3.0-or-later
#include "layout_scroller.h"

#include <QApplication>
#include <QFocusEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>

namespace plorvex::app {

LayoutScroller::LayoutScroller(QWidget* window, QSize layout)
    : QObject(window), window_(window), layout_(layout) {
  for (QObject* object : window->children())
    if (auto* child = qobject_cast<QWidget*>(object); child && !child->isWindow()) {
      children_.emplace_back(child);
      // Tabbing to a control brings it into view.
      child->installEventFilter(this);
    }
  horizontal_ = new QScrollBar(Qt::Horizontal, window);
  vertical_ = new QScrollBar(Qt::Vertical, window);
  corner_ = new QWidget(window);  // fills the square where the bars meet
  corner_->setAutoFillBackground(true);
  for (QWidget* part : {static_cast<QWidget*>(horizontal_), static_cast<QWidget*>(vertical_), corner_}) {
    // In the desktop's colours: the window's grey would hide them on its grey.
    part->setPalette(QApplication::palette());
    part->setFocusPolicy(Qt::NoFocus);
    part->hide();
  }
  for (QScrollBar* bar : {horizontal_, vertical_}) {
    bar->setSingleStep(20);
    connect(bar, &QScrollBar::valueChanged, this, &LayoutScroller::follow);
  }
  // Wheel turns over any control that ignores them reach the window.
  window->installEventFilter(this);
}

QRect LayoutScroller::view() const {
  return QRect(0, 0, window_->width() - (vertical_->isVisibleTo(window_) ? vertical_->width() : 0),
               window_->height() - (horizontal_->isVisibleTo(window_) ? horizontal_->height() : 0));
}

void LayoutScroller::include(const QRect& area) {
  const QSize grown = layout_.expandedTo(QSize(area.right() + 1, area.bottom() + 1));
  if (grown == layout_) return;
  layout_ = grown;
  fit();
}

void LayoutScroller::fit() {
  const int extent = window_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, vertical_);
  const QSize area = window_->size();
  // Each bar narrows the room left for the other.
  bool vertical = false, horizontal = false;
  for (int pass = 0; pass < 2; ++pass) {
    vertical = layout_.height() > area.height() - (horizontal ? extent : 0);
    horizontal = layout_.width() > area.width() - (vertical ? extent : 0);
  }
  const QSize room(area.width() - (vertical ? extent : 0), area.height() - (horizontal ? extent : 0));
  vertical_->setGeometry(room.width(), 0, extent, room.height());
  vertical_->setRange(0, vertical ? layout_.height() - room.height() : 0);
  vertical_->setPageStep(std::max(1, room.height()));
  horizontal_->setGeometry(0, room.height(), room.width(), extent);
  horizontal_->setRange(0, horizontal ? layout_.width() - room.width() : 0);
  horizontal_->setPageStep(std::max(1, room.width()));
  corner_->setGeometry(room.width(), room.height(), extent, extent);
  vertical_->setVisible(vertical);
  horizontal_->setVisible(horizontal);
  corner_->setVisible(vertical && horizontal);
  for (QWidget* part : {static_cast<QWidget*>(horizontal_), static_cast<QWidget*>(vertical_), corner_})
    part->raise();
  follow();
}

void LayoutScroller::ensureVisible(const QWidget* child) {
  const QRect area = child->geometry();
  const QRect shown = view();
  const auto scrollBy = [](QScrollBar* bar, int before, int after, int first, int last) {
    // Past the end: as far as its end; before the start (or larger than the view): its start.
    if (after > last) bar->setValue(bar->value() + after - last);
    if (before < first) bar->setValue(bar->value() + before - first);
  };
  scrollBy(vertical_, area.top(), area.bottom(), shown.top(), shown.bottom());
  scrollBy(horizontal_, area.left(), area.right(), shown.left(), shown.right());
}

void LayoutScroller::follow() {
  const QPoint wanted(horizontal_->value(), vertical_->value());
  const QPoint delta = offset_ - wanted;
  if (delta.isNull()) return;
  offset_ = wanted;
  for (const QPointer<QWidget>& child : children_)
    if (child) child->move(child->pos() + delta);
  window_->update();
}

bool LayoutScroller::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn && watched != window_) {
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
      ensureVisible(static_cast<QWidget*>(watched));
  }
  if (event->type() == QEvent::Wheel && watched == window_ && !forwarding_) {
    const auto* wheel = static_cast<QWheelEvent*>(event);
    const bool sideways = wheel->angleDelta().y() == 0 || !vertical_->isVisibleTo(window_);
    QScrollBar* bar = sideways ? horizontal_ : vertical_;
    if (bar->isVisibleTo(window_)) {
      // A bar at its end leaves the turn to its parent, the window, again.
      forwarding_ = true;
      QCoreApplication::sendEvent(bar, event);
      forwarding_ = false;
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace plorvex::app
