// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_renderer.h"

#include <QCoreApplication>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <thread>

#include "catalogue.h"
#include "field_panel.h"

namespace plorvex::app {
namespace {
unsigned columnWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? cores : 0;
}
}  // namespace

WindowRenderer::WindowRenderer(QWidget& window, Canvas& canvas, const FieldPanel& fields)
    : window_(window), canvas_(canvas), fields_(fields), pool_(columnWorkers()) {}

std::string WindowRenderer::fieldText(Field which) { return fields_.text(which); }

// Columns and rows count picture pixels, the pixel limit device pixels: every
// size the window paints on a plain screen it paints at any density.
PictureLimits WindowRenderer::pictureLimits() const {
  const auto density = static_cast<std::size_t>(canvas_.density());
  return {kMaxPictureSide, kMaxPictureSide, kMaxPictureSide * kMaxPictureSide * density * density};
}

bool WindowRenderer::beginPicture(std::size_t columns, std::size_t rows) {
  // The render beginning is the one pressed last: nothing has yielded since.
  // Until it paints, what Save and Copy take stays the picture shown.
  if (columns == 0 || rows == 0) return true;
  ShownPicture picture = starting_;
  picture.rect = QRect(static_cast<int>(kPictureLeft) + 1, static_cast<int>(kPictureTop) + 1,
                       static_cast<int>(columns), static_cast<int>(rows));
  canvas_.beginPicture(picture);
  return true;
}

void WindowRenderer::columnPainted(int x, int yTop, int yBottom) {
  canvas_.columnPainted(x, yTop, yBottom, running_.back() == canvas_.shown().serial);
}

void WindowRenderer::yield() {
  if (onYield) onYield(depth_);
  QCoreApplication::processEvents();
}

// The picture is painted at the screen's device pixel ratio, rounded up. Only
// between renders, so that a render and those nested in it share one density.
void WindowRenderer::adoptScreenDensity() {
  canvas_.adoptDensity(std::clamp(static_cast<int>(std::ceil(window_.devicePixelRatioF())), 1, kMaxDensity));
}

void WindowRenderer::press(int index) {
  if (depth_ >= kMaxDepth || abandoned_) {
    emit refused();
    return;
  }
  halt_.clear();
  pressedPattern_ = index;
  emit pressed(index);
  const PatternEntry* pattern = patternAt(index);
  if (!pattern) return;
  if (depth_ == 0) adoptScreenDensity();
  starting_ = ShownPicture{};
  starting_.serial = ++serial_;
  starting_.pattern = index;
  starting_.fields = fields_.texts();
  const int serial = starting_.serial;
  const std::string sizeText = starting_.fields.size;
  emit started(index, starting_.fields);
  running_.push_back(serial);
  ++depth_;
  const RenderOutcome outcome = pattern->render(*this);
  --depth_;
  running_.pop_back();
  canvas_.renderEnded(serial, outcome.end == RenderEnd::Completed);
  if (outcome.end == RenderEnd::Faulted) emit faulted(faultText(pattern->caption, outcome, sizeText));
  if (depth_ == 0) emit allReturned();
}

QString WindowRenderer::faultText(const char* caption, const RenderOutcome& outcome,
                                  const std::string& sizeText) const {
  QString text = QString::fromUtf8(faultMessage(outcome.fault));
  if (outcome.fault == Fault::PictureTooLarge)
    text += QString(" (size %1; the window paints at most %2 x %2 pixels)")
                .arg(QString::fromStdString(sizeText))
                .arg(kMaxPictureSide);
  const auto density = static_cast<std::size_t>(canvas_.density());
  if (outcome.faultInSweep)
    text += QString("\n\nThe %1 picture stopped at pixel (%2, %3).")
                .arg(caption)
                .arg(161 + outcome.faultColumn / density)
                .arg(51 + outcome.faultRow / density);
  else
    text += QString("\n\nThe %1 picture could not start.").arg(caption);
  return text;
}

}  // namespace plorvex::app
