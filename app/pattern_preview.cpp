// SPDX-License-Identifier: GPL-3.0-or-later
#include "pattern_preview.h"

#include <QEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include <algorithm>
#include <cmath>

#include "catalogue.h"
#include "field_panel.h"
#include "picture_render.h"
#include "view_geometry.h"

namespace plorvex::app {
namespace {

bool sameTexts(const FieldTexts& a, const FieldTexts& b) {
  return a.x == b.x && a.y == b.y && a.size == b.size && a.zoom == b.zoom && a.brightness == b.brightness;
}

}  // namespace

PatternPreview::PatternPreview(QWidget& window, const FieldPanel& fields, const QList<QWidget*>& buttons)
    : window_(window), fields_(fields), buttons_(buttons) {
  pause_.setSingleShot(true);
  pause_.setInterval(kPauseMs);
  connect(&pause_, &QTimer::timeout, this, &PatternPreview::showPreview);
  for (int k = 0; k < static_cast<int>(buttons_.size()); ++k) {
    buttons_[k]->setProperty("previewPattern", k);
    buttons_[k]->installEventFilter(this);
  }
  label_ = new QLabel(&window_);
  label_->setObjectName("patternPreview");
  label_->setFrameStyle(QFrame::Box | QFrame::Plain);
  label_->setAttribute(Qt::WA_TransparentForMouseEvents);
  label_->hide();
}

PatternPreview::~PatternPreview() { stopRender(); }

const QLabel* PatternPreview::shown() const { return label_->isVisible() ? label_ : nullptr; }

std::optional<FieldTexts> PatternPreview::previewTexts(int pattern, const FieldTexts& fields) {
  const PatternEntry* entry = patternAt(pattern);
  ViewGeometry view, frame;
  FieldTexts small = fields;
  small.size = QByteArray::number(kSide).toStdString();
  if (!entry || viewGeometryOf(*entry, fields, view) != Fault::None || view.columns == 0 ||
      viewGeometryOf(*entry, small, frame) != Fault::None || frame.columns == 0)
    return std::nullopt;
  try {
    return textsForWorld(frame, worldOf(view), val(fields.brightness));
  } catch (const ArithmeticFault&) {
    return std::nullopt;
  }
}

QRect PatternPreview::pictureRows(int pattern, const FieldTexts& fields) {
  const PatternEntry* entry = patternAt(pattern);
  ViewGeometry view;
  if (!entry || viewGeometryOf(*entry, fields, view) != Fault::None || view.columns == 0) return {};
  // The square is centred where the picture is; the picture is as wide.
  const int rows = static_cast<int>(std::lround(kSide * static_cast<double>(view.rows) / view.columns));
  const int height = std::clamp(rows, 1, kSide);
  return QRect(0, (kSide - height) / 2, kSide, height);
}

bool PatternPreview::eventFilter(QObject* watched, QEvent* event) {
  const QVariant pattern = watched->property("previewPattern");
  if (!pattern.isValid()) return false;
  if (event->type() == QEvent::Enter) {
    hoveredPattern_ = pattern.toInt();
    pause_.start();
  } else if (event->type() == QEvent::Leave || event->type() == QEvent::MouseButtonPress) {
    hoveredPattern_ = -1;
    pause_.stop();
    label_->hide();
  }
  return false;
}

void PatternPreview::showPreview() {
  const int k = hoveredPattern_;
  if (k < 0) return;
  const FieldTexts fields = fields_.texts();
  if (!sameTexts(fields, cachedFields_)) {
    cache_.clear();
    cachedFields_ = fields;
  }
  if (const auto found = cache_.find(k); found != cache_.end()) {
    if (found->second.isNull()) return;
    const QRect rows = pictureRows(k, fields);
    label_->setPixmap(QPixmap::fromImage(rows.isEmpty() ? found->second : found->second.copy(rows)));
    label_->adjustSize();
    // Beside the button, and inside the window's visible part.
    const QPoint beside = buttons_[k]->geometry().topRight() + QPoint(6, 0);
    const QRect room = window_.rect();
    label_->move(std::clamp(beside.x(), room.left(), std::max(room.left(), room.right() - label_->width())),
                 std::clamp(beside.y(), room.top(), std::max(room.top(), room.bottom() - label_->height())));
    label_->show();
    label_->raise();
    return;
  }
  if (rendering_ == k) return;  // on its way
  stopRender();
  const std::optional<FieldTexts> texts = previewTexts(k, fields);
  if (!texts) return;
  auto host = std::make_shared<picture::PictureHost>(*texts, Sampling{});
  renderHost_ = host;
  rendering_ = k;
  ++rendersStarted_;
  thread_ = std::thread([this, k, fields, host] {
    const bool completed = patternAt(k)->render(*host).end == RenderEnd::Completed;
    if (host->cancelled()) return;
    // A view that cannot be painted gives no picture, and is not tried again
    // until the texts change. Delivered on the window's thread.
    QMetaObject::invokeMethod(
        this, [this, k, fields, image = completed ? host->image() : QImage()] { rendered(k, fields, image); },
        Qt::QueuedConnection);
  });
}

void PatternPreview::rendered(int pattern, FieldTexts fields, QImage image) {
  if (rendering_ == pattern) {
    thread_.join();
    rendering_ = -1;
  }
  if (!sameTexts(fields, cachedFields_)) return;
  cache_[pattern] = std::move(image);
  if (hoveredPattern_ == pattern && !pause_.isActive() && !cache_[pattern].isNull()) showPreview();
}

void PatternPreview::stopRender() {
  if (!thread_.joinable()) return;
  renderHost_->cancel();
  thread_.join();
  rendering_ = -1;
}

}  // namespace plorvex::app
