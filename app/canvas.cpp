// SPDX-License-Identifier: GPL-3.0-or-later
#include "canvas.h"

#include <QPainter>
#include <QRegion>

#include <algorithm>
#include <cstring>

#include "picture_render.h"

namespace plorvex::app {
namespace {
const QRgb kWindowColour = qRgb(redOf(kBackground), greenOf(kBackground), blueOf(kBackground));
}  // namespace

Canvas::Canvas(QSize plainSize) { grow(plainSize); }

bool Canvas::whole() const {
  return !shown_.rect.isEmpty() && shown_.complete && !shown_.overpainted && !previewing();
}

void Canvas::grow(QSize plainSize) {
  const QSize wanted = (plainSize * density_).expandedTo(image_.size());
  if (wanted == image_.size()) return;
  QImage grown(wanted, QImage::Format_RGB32);
  grown.fill(kWindowColour);
  if (!image_.isNull()) {
    QPainter painter(&grown);
    painter.drawImage(QRect(QPoint(0, 0), image_.size()), image_, image_.rect());
  }
  grown.setDevicePixelRatio(density_);
  image_ = std::move(grown);
}

// At 2 each picture pixel is 2 x 2 device pixels of its own.
void Canvas::adoptDensity(int density) {
  if (density == density_) return;
  settlePreview();
  const QSize plain = image_.size() / density_;
  QImage rescaled = image_.scaled(plain * density, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  rescaled.setDevicePixelRatio(density);
  image_ = std::move(rescaled);
  density_ = density;
  dropLayers();
  // What the image holds is no longer any render's own pixels.
  shown_.overpainted = true;
  emit changed(QRect(QPoint(0, 0), plain));
}

void Canvas::plot(int x, int y, Colour colour) {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  reinterpret_cast<QRgb*>(image_.scanLine(y))[x] = qRgb(redOf(colour), greenOf(colour), blueOf(colour));
}

void Canvas::beginPicture(const ShownPicture& picture) {
  // A preview only stands in for a picture of the same place and size.
  if (previewing() && picture.rect != shown_.rect) settlePreview();
  // Only a gesture's render continues the run the layers come from.
  if (!previewing()) dropLayers();
  shown_ = picture;
  emit pictureBegun(picture.rect);
  if (!previewing()) return;
  freshSerial_ = picture.serial;
  fresh_.assign(static_cast<std::size_t>(picture.rect.width()), false);
  freshCount_ = 0;
}

void Canvas::columnPainted(int x, int yTop, int yBottom, bool byShownRender) {
  const QRect column(x, yTop, 1, yBottom - yTop + 1);
  if (!byShownRender && shown_.rect.intersects(column)) shown_.overpainted = true;
  if (previewing() && byShownRender && shown_.serial == freshSerial_) {
    const int k = x - shown_.rect.left();
    if (k >= 0 && k < static_cast<int>(fresh_.size()) && !fresh_[static_cast<std::size_t>(k)]) {
      fresh_[static_cast<std::size_t>(k)] = true;
      if (++freshCount_ == static_cast<int>(fresh_.size())) endPreview();
    }
  }
  emit changed(column);
}

void Canvas::renderEnded(int serial, bool completed) {
  if (serial != shown_.serial) return;
  shown_.complete = completed;
  if (completed && previewing() && freshSerial_ == serial) {
    endPreview();
    emit changed(shown_.rect);
  }
}

void Canvas::transformPreview(const QTransform& step) {
  if (shown_.rect.isEmpty()) return;
  if (!previewing()) {
    if (layers_.size() == kMaxLayers) layers_.erase(layers_.begin());
    QImage pixels = image_.copy(QRect(shown_.rect.topLeft() * density_, shown_.rect.size() * density_));
    pixels.setDevicePixelRatio(1);
    layers_.push_back(Layer{std::move(pixels), shown_.rect, QTransform()});
    previewing_ = true;
  }
  for (Layer& layer : layers_) layer.transform = layer.transform * step;
  // What the render painted so far belongs to a view the preview has left.
  freshSerial_ = -1;
  fresh_.clear();
  freshCount_ = 0;
  emit changed(shown_.rect);
}

void Canvas::scrollPicture(QPoint step) {
  settlePreview();
  const QRect area(shown_.rect.topLeft() * density_, shown_.rect.size() * density_);
  const int dx = step.x() * density_, dy = step.y() * density_;
  const int width = area.width();
  const int kept = std::max(0, width - std::abs(dx));
  const auto row = [&](int y) { return reinterpret_cast<QRgb*>(image_.scanLine(y)) + area.left(); };
  // Rows are written from the side the picture moves to, so that each is
  // read before it is overwritten.
  for (int n = 0; n < area.height(); ++n) {
    const int y = dy > 0 ? area.bottom() - n : area.top() + n;
    const int from = y - dy;
    QRgb* target = row(y);
    if (from < area.top() || from > area.bottom() || kept == 0) {
      std::fill(target, target + width, kWindowColour);
      continue;
    }
    const QRgb* source = row(from);
    const int start = std::max(0, dx);
    std::memmove(target + start, source + std::max(0, -dx), static_cast<std::size_t>(kept) * sizeof(QRgb));
    std::fill(target, target + start, kWindowColour);
    std::fill(target + start + kept, target + width, kWindowColour);
  }
  shown_.overpainted = true;
  const QTransform moved = QTransform::fromTranslate(step.x(), step.y());
  for (Layer& layer : layers_) layer.transform = layer.transform * moved;
  emit changed(shown_.rect);
}

void Canvas::becameWhole(const FieldTexts& fields) {
  shown_.fields = fields;
  shown_.complete = true;
  shown_.overpainted = false;
  emit changed(shown_.rect);
}

QImage Canvas::shownPicture() const {
  if (shown_.rect.isEmpty()) return {};
  QImage picture(shown_.rect.size() * density_, QImage::Format_RGB32);
  picture.setDevicePixelRatio(density_);
  QPainter painter(&picture);
  painter.translate(-shown_.rect.topLeft());
  paint(painter, shown_.rect);
  painter.end();
  picture.setDevicePixelRatio(1);
  picture::stampResolution(picture);
  return picture;
}

void Canvas::paint(QPainter& painter, const QRect& area) const {
  painter.drawImage(QRectF(area), image_, QRectF(QPointF(area.topLeft() * density_), QSizeF(area.size() * density_)));
  if (previewing() && area.intersects(shown_.rect)) {
    painter.save();
    painter.setClipRect(area, Qt::IntersectClip);
    paintPreview(painter);
    painter.restore();
  }
}

void Canvas::paintPreview(QPainter& painter) const {
  QRegion stale(shown_.rect);
  for (std::size_t k = 0; k < fresh_.size(); ++k) {
    if (!fresh_[k]) continue;
    std::size_t end = k;
    while (end < fresh_.size() && fresh_[end]) ++end;
    stale -= QRect(shown_.rect.left() + static_cast<int>(k), shown_.rect.top(), static_cast<int>(end - k),
                   shown_.rect.height());
    k = end;
  }
  painter.save();
  painter.setClipRegion(stale, Qt::IntersectClip);
  painter.fillRect(shown_.rect, QColor::fromRgb(kWindowColour));
  const QTransform canvasToDevice = painter.worldTransform();
  for (const Layer& layer : layers_) {
    // Scaled down it is filtered; scaled up or moved, each pixel stays a block of its own.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, layer.transform.m11() < 1);
    painter.setWorldTransform(layer.transform * canvasToDevice);
    painter.drawImage(QRectF(layer.rect), layer.pixels);
  }
  painter.restore();
}

void Canvas::settlePreview() {
  if (!previewing()) return;
  QPainter painter(&image_);
  paintPreview(painter);
  painter.end();
  endPreview();
  dropLayers();
  shown_.overpainted = true;
}

void Canvas::dropLayers() { layers_.clear(); }

void Canvas::endPreview() {
  previewing_ = false;
  freshSerial_ = -1;
  fresh_.clear();
  freshCount_ = 0;
}

}  // namespace plorvex::app
