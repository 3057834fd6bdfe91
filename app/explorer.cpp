// SPDX-License-Identifier: GPL-3.0-or-later
#include "explorer.h"

#include <QAction>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QTimer>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "catalogue.h"
#include "layout_scroller.h"
#include "main_window.h"
#include "pattern_preview.h"

namespace plorvex::app {
namespace {

constexpr int kNotch = 120;              // wheel units in one notch
constexpr qint64 kNotchSeriesMs = 400;   // notches closer than this are one history entry
const QRgb kWindowColour = qRgb(redOf(kBackground), greenOf(kBackground), blueOf(kBackground));


QAction* addShortcutAction(QWidget& window, const char* text, QList<QKeySequence> keys) {
  auto* action = new QAction(text, &window);
  action->setShortcuts(keys);
  action->setShortcutContext(Qt::WindowShortcut);
  window.addAction(action);
  return action;
}

// Feeds a moved render the texts of the view it paints, on the window's canvas.
class MovedViewHost final : public RenderHost {
 public:
  MovedViewHost(MainWindow& window, const FieldTexts& texts) : window_(window), texts_(texts) {}
  std::string fieldText(Field field) override { return texts_[field]; }
  PictureLimits pictureLimits() const override { return window_.pictureLimits(); }
  Sampling sampling() const override { return window_.sampling(); }
  bool beginPicture(std::size_t, std::size_t) override { return true; }
  void plot(int x, int y, Colour colour) override { window_.plot(x, y, colour); }
  void columnPainted(int, int, int) override {}  // the whole picture is repainted after
  void yield() override {}
  std::string haltFlag() const override { return {}; }
  bool abandoned() const override { return false; }
  ColumnPool* columnPool() override { return window_.columnPool(); }

 private:
  MainWindow& window_;
  const FieldTexts& texts_;
};

bool sameButOffsets(const FieldTexts& a, const FieldTexts& b) {
  return a.size == b.size && a.zoom == b.zoom && a.brightness == b.brightness;
}

}  // namespace

Explorer::Explorer(MainWindow& window) : QObject(&window), window_(window) {
  window_.setMouseTracking(true);
  backAction_ = addShortcutAction(window_, "Back", {QKeySequence(Qt::ALT | Qt::Key_Left)});
  forwardAction_ = addShortcutAction(window_, "Forward", {QKeySequence(Qt::ALT | Qt::Key_Right)});
  connect(backAction_, &QAction::triggered, this, &Explorer::goBack);
  connect(forwardAction_, &QAction::triggered, this, &Explorer::goForward);
  auto* zoomIn = addShortcutAction(window_, "Zoom in",
                                   {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
  auto* zoomOut = addShortcutAction(window_, "Zoom out", {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
  connect(zoomIn, &QAction::triggered, this, [this] { zoomAtCentre(true); });
  connect(zoomOut, &QAction::triggered, this, [this] { zoomAtCentre(false); });
  for (QLineEdit* field : window_.fields_) field->installEventFilter(this);
  // Installed after the scroll bars' filter, so it sees the wheel first.
  window_.installEventFilter(this);
  // "reset" stops what runs and what is about to.
  if (auto* reset = window_.findChild<QPushButton*>("Command3"))
    connect(reset, &QPushButton::clicked, this, &Explorer::cancelPending);
  band_ = new QRubberBand(QRubberBand::Rectangle, &window_);
  preview_ = new PatternPreview(window_);
}

QPoint Explorer::canvasPixel(const QPointF& position) const {
  const QPoint scrolled = window_.scroller_->offset();
  return QPoint(static_cast<int>(std::floor(position.x())) + scrolled.x(),
                static_cast<int>(std::floor(position.y())) + scrolled.y());
}

QRect Explorer::onWindow(const QRect& canvasArea) const {
  return canvasArea.translated(-window_.scroller_->offset());
}

// --- Which view a gesture acts on ---------------------------------------------------------

bool Explorer::currentView(HistoryView& view, ViewGeometry& geometry) const {
  const MainWindow::RenderRecord& shown = window_.latest_;
  if (pending_) {
    view = pendingView_;
  } else {
    if (shown.pattern < 0 || shown.picture.isEmpty()) return false;
    view = HistoryView{shown.pattern, shown.fields};
  }
  const PatternEntry* pattern = patternAt(view.pattern);
  return pattern && viewGeometryOf(*pattern, view.texts, geometry) == Fault::None && geometry.columns > 0;
}

bool Explorer::viewAt(QPoint pixel, HistoryView& view, ViewGeometry& geometry) const {
  return currentView(view, geometry) && geometry.contains(pixel.x(), pixel.y()) &&
         window_.latest_.picture.contains(pixel);
}

void Explorer::updateCursor(QPoint pixel) {
  HistoryView view;
  ViewGeometry geometry;
  const bool hand = gesture_ == Gesture::Dragging || viewAt(pixel, view, geometry);
  if (gesture_ == Gesture::Dragging)
    window_.setCursor(Qt::ClosedHandCursor);
  else if (hand)
    window_.setCursor(Qt::OpenHandCursor);
  else if (handShown_)
    window_.unsetCursor();
  handShown_ = hand;
}

// --- Mouse ------------------------------------------------------------------------------

bool Explorer::mousePress(QMouseEvent* event) {
  if (event->button() == Qt::BackButton || event->button() == Qt::ForwardButton) {
    event->button() == Qt::BackButton ? goBack() : goForward();
    return true;
  }
  if (event->button() != Qt::LeftButton) return false;
  const QPoint pixel = canvasPixel(event->position());
  if (!viewAt(pixel, gestureView_, gestureGeometry_)) return false;
  pressPixel_ = pixel;
  dragShift_ = QPoint();
  dragRefusal_.clear();
  if (event->modifiers() & Qt::ShiftModifier) {
    gesture_ = Gesture::Box;
    band_->setGeometry(onWindow(QRect(pixel, QSize(1, 1))));
    band_->show();
  } else {
    gesture_ = Gesture::Pressed;
  }
  return true;
}

bool Explorer::mouseMove(QMouseEvent* event) {
  const QPoint pixel = canvasPixel(event->position());
  if (gesture_ == Gesture::Pressed || gesture_ == Gesture::Dragging) {
    moveDrag(pixel, event->globalPosition().toPoint());
  } else if (gesture_ == Gesture::Box) {
    const QRect picture = window_.latest_.picture;
    const QPoint end(std::clamp(pixel.x(), picture.left(), picture.right()),
                     std::clamp(pixel.y(), picture.top(), picture.bottom()));
    band_->setGeometry(onWindow(QRect(pressPixel_, end).normalized()));
  }
  updateCursor(pixel);
  return gesture_ != Gesture::None;
}

void Explorer::moveDrag(QPoint pixel, QPoint globalPos) {
  const QPoint shift = pixel - pressPixel_;
  if (shift == dragShift_) return;
  const ViewChange change = dragView(gestureGeometry_, shift.x(), shift.y());
  if (!change.changed) {
    dragRefusal_ = change.refusal;
    note(dragRefusal_, globalPos);
    return;
  }
  dragRefusal_.clear();
  if (gesture_ == Gesture::Pressed) {
    // The picture is the hand's now: what runs stops where it is.
    gesture_ = Gesture::Dragging;
    if (window_.renderDepth_ > 0) window_.halt_ = "p";
    exactDrag_ = true;
    dragPixels_ = QImage();
  }
  const HistoryView view{gestureView_.pattern, change.texts};
  if (exactDrag_) exactDrag_ = moveExactly(view, shift - dragShift_);
  if (!exactDrag_) {
    // The old pixels follow the hand; the view is rendered at the release.
    if (dragPixels_.isNull()) {
      dragPixels_ = shownPixels();
      dragPixelsShift_ = dragShift_;
    }
    paintMoved(dragPixels_, shift - dragPixelsShift_);
  }
  dragShift_ = shift;
}

bool Explorer::mouseRelease(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || gesture_ == Gesture::None) return false;
  const QPoint pixel = canvasPixel(event->position());
  const Gesture ended = gesture_;
  gesture_ = Gesture::None;
  if (ended == Gesture::Box) {
    endBox(pixel, event->globalPosition().toPoint());
  } else if (ended == Gesture::Dragging && !dragShift_.isNull()) {
    const ViewChange change = dragView(gestureGeometry_, dragShift_.x(), dragShift_.y());
    const HistoryView view{gestureView_.pattern, change.texts};
    if (exactDrag_)
      recordShown(view);
    else
      show(view, false);
  }
  // The release hides a note; the hand stopped at the limit it says.
  if (ended != Gesture::Box) note(dragRefusal_, event->globalPosition().toPoint());
  dragRefusal_.clear();
  dragPixels_ = QImage();
  updateCursor(pixel);
  return true;
}

void Explorer::endBox(QPoint pixel, QPoint globalPos) {
  band_->hide();
  const ViewChange change =
      zoomToBox(gestureGeometry_, pressPixel_.x(), pressPixel_.y(), pixel.x(), pixel.y());
  if (change.changed)
    show(HistoryView{gestureView_.pattern, change.texts}, false);
  else if (!change.refusal.empty())
    note(change.refusal, globalPos);
}

bool Explorer::mouseDoubleClick(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return false;
  const QPoint pixel = canvasPixel(event->position());
  HistoryView view;
  ViewGeometry geometry;
  if (!viewAt(pixel, view, geometry)) return false;
  gesture_ = Gesture::None;
  const ViewChange change = centreOn(geometry, pixel.x(), pixel.y());
  if (!change.changed) {
    if (!change.refusal.empty()) note(change.refusal, event->globalPosition().toPoint());
    return true;
  }
  const HistoryView centred{view.pattern, change.texts};
  const QPoint step(geometry.centreX() - pixel.x(), geometry.centreY() - pixel.y());
  if (moveExactly(centred, step)) {
    recordShown(centred);
  } else {
    paintMoved(shownPixels(), step);
    show(centred, false);
  }
  return true;
}

// --- Wheel and keys ------------------------------------------------------------------------

bool Explorer::wheel(QWheelEvent* event) {
  const QPoint pixel = canvasPixel(event->position());
  HistoryView view;
  ViewGeometry geometry;
  if (gesture_ != Gesture::None || !viewAt(pixel, view, geometry)) return false;
  // With scroll bars showing, the plain wheel scrolls the window everywhere
  // and Ctrl with the wheel zooms.
  const LayoutScroller& scroller = *window_.scroller_;
  const bool scrolls = scroller.verticalBar()->isVisibleTo(&window_) ||
                       scroller.horizontalBar()->isVisibleTo(&window_);
  if (scrolls && !(event->modifiers() & Qt::ControlModifier)) return false;
  wheelRemainder_ += event->angleDelta().y();
  while (std::abs(wheelRemainder_) >= kNotch) {
    const bool in = wheelRemainder_ > 0;  // away from the user
    wheelRemainder_ -= in ? kNotch : -kNotch;
    notch(in, pixel, event->globalPosition().toPoint());
  }
  return true;
}

void Explorer::notch(bool in, QPoint pixel, QPoint globalPos) {
  HistoryView view;
  ViewGeometry geometry;
  if (!currentView(view, geometry)) return;
  const ViewChange change = in ? zoomInAt(geometry, pixel.x(), pixel.y())
                               : zoomOutAt(geometry, pixel.x(), pixel.y());
  if (!change.changed) {
    wheelRemainder_ = 0;
    note(change.refusal, globalPos);
    return;
  }
  const bool series = notchEntryOpen_ && lastNotch_.isValid() && lastNotch_.elapsed() < kNotchSeriesMs;
  lastNotch_.restart();
  paintScaled(in, pixel);
  show(HistoryView{view.pattern, change.texts}, series);
  pendingIsNotch_ = true;
}

void Explorer::zoomAtCentre(bool in) {
  HistoryView view;
  ViewGeometry geometry;
  if (gesture_ != Gesture::None || !currentView(view, geometry)) return;
  notch(in, QPoint(geometry.centreX(), geometry.centreY()), QCursor::pos());
}

bool Explorer::eventFilter(QObject* watched, QEvent* event) {
  // Over the picture the wheel zooms; elsewhere it scrolls the window.
  if (watched == &window_) return event->type() == QEvent::Wheel && wheel(static_cast<QWheelEvent*>(event));
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  if (key->modifiers() & ~Qt::KeypadModifier) return false;
  // As leaving the size field would, the size is checked first.
  if (watched == window_.field(Field::Three)) window_.TextThree_LostFocus();
  const int highlighted = window_.starting_.pattern;
  if (highlighted >= 0 && !window_.exiting_)
    window_.patternButtons_[static_cast<std::size_t>(highlighted)]->click();
  return true;
}

// --- History -------------------------------------------------------------------------------

void Explorer::goBack() {
  if (const auto view = history_.back()) retrace(*view);
}

void Explorer::goForward() {
  if (const auto view = history_.forward()) retrace(*view);
}

void Explorer::retrace(const HistoryView& view) {
  if (const auto step = wholePixelStep(view); step && moveExactly(view, *step)) return;
  show(view, false);
}

std::optional<QPoint> Explorer::wholePixelStep(const HistoryView& view) const {
  const MainWindow::RenderRecord& shown = window_.latest_;
  const PatternEntry* pattern = patternAt(view.pattern);
  if (!pattern || shown.pattern != view.pattern || !sameButOffsets(shown.fields, view.texts))
    return std::nullopt;
  SweepOrigin from, to;
  if (pattern->sweep(shown.fields, from) != Fault::None || pattern->sweep(view.texts, to) != Fault::None)
    return std::nullopt;
  // The same counter lies X0 - X0' pixels further on.
  const double dx = from.x0 - to.x0, dy = from.y0 - to.y0;
  const double limit = MainWindow::kMaxPictureSide;
  if (dx != std::trunc(dx) || dy != std::trunc(dy) || std::fabs(dx) >= limit || std::fabs(dy) >= limit)
    return std::nullopt;
  return QPoint(static_cast<int>(dx), static_cast<int>(dy));
}

bool Explorer::moveExactly(const HistoryView& view, QPoint step) {
  MainWindow::RenderRecord& shown = window_.latest_;
  const PatternEntry* pattern = patternAt(view.pattern);
  if (!pattern || !pattern->moved || pending_ || window_.renderDepth_ > 0 || shown.pattern != view.pattern ||
      !window_.shownParameters().complete || !sameButOffsets(shown.fields, view.texts))
    return false;
  SweepOrigin sweep;
  SweepPlan previous;
  if (pattern->sweep(shown.fields, sweep) != Fault::None ||
      planSweep(sweep, window_.pictureLimits(), previous, window_.sampling()) != Fault::None)
    return false;
  scrollPicture(step);
  MovedViewHost host(window_, view.texts);
  if (pattern->moved(host, previous, step.x(), step.y()).end != RenderEnd::Completed) return false;
  writeFields(view.texts);
  shown.fields = view.texts;
  shown.complete = true;
  shown.overpainted = false;
  return true;
}

void Explorer::recordShown(const HistoryView& view) {
  history_.record(view);
  notchEntryOpen_ = false;
}

void Explorer::addMenuEntries(QMenu& menu) {
  backAction_->setEnabled(history_.canGoBack());
  forwardAction_->setEnabled(history_.canGoForward());
  menu.addSeparator();
  menu.addActions({backAction_, forwardAction_});
}

void Explorer::renderStarted(int pattern, const FieldTexts& texts) {
  // A render started from the top reads the fields a pending gesture wrote.
  if (window_.renderDepth_ == 0) pending_ = false;
  history_.record(HistoryView{pattern, texts}, nextRecordMerges_);
  notchEntryOpen_ = nextRecordIsNotch_;
  nextRecordMerges_ = false;
  nextRecordIsNotch_ = false;
  // Actions stay enabled for their keys; the menu sets them as it opens.
  backAction_->setEnabled(true);
  forwardAction_->setEnabled(true);
}

// --- Rendering a gesture's view ------------------------------------------------------------

void Explorer::writeFields(const FieldTexts& texts) {
  const std::pair<Field, const std::string*> fields[] = {
      {Field::One, &texts.x},    {Field::Two, &texts.y},          {Field::Three, &texts.size},
      {Field::Four, &texts.zoom}, {Field::Five, &texts.brightness}};
  for (const auto& [which, text] : fields) window_.field(which)->setText(QString::fromStdString(*text));
}

void Explorer::show(const HistoryView& view, bool mergeWithCurrent) {
  writeFields(view.texts);
  // A burst keeps the way it began: the first view's entry is replaced or not.
  if (!pending_) pendingMerges_ = mergeWithCurrent;
  pending_ = true;
  pendingView_ = view;
  pendingIsNotch_ = false;
  if (window_.renderDepth_ > 0)
    window_.halt_ = "p";
  else
    QTimer::singleShot(0, this, &Explorer::startPending);
}

void Explorer::startPending() {
  if (!pending_ || window_.renderDepth_ > 0 || window_.exiting_) return;
  nextRecordMerges_ = pendingMerges_;
  nextRecordIsNotch_ = pendingIsNotch_;
  window_.CMD_Click(pendingView_.pattern);
}

void Explorer::rendersReturned() {
  if (pending_) QTimer::singleShot(0, this, &Explorer::startPending);
}

void Explorer::note(const std::string& refusal, QPoint globalPos) {
  if (refusal.empty()) return;
  lastNote_ = QString::fromStdString(refusal);
  QToolTip::showText(globalPos, lastNote_, &window_);
}

// --- Instant feedback ------------------------------------------------------------------------

QRect Explorer::pictureArea() const {
  const int density = window_.canvasDensity_;
  const QRect picture = window_.latest_.picture;
  return QRect(picture.topLeft() * density, picture.size() * density);
}

QImage Explorer::shownPixels() const {
  QImage pixels = window_.canvas_.copy(pictureArea());
  pixels.setDevicePixelRatio(1);  // drawn in canvas pixels, one for one
  return pixels;
}

void Explorer::paintMoved(const QImage& pixels, QPoint offset) {
  const QRect area = pictureArea();
  if (area.isEmpty() || pixels.isNull()) return;
  QPainter painter(&window_.canvas_);
  painter.scale(1.0 / window_.canvasDensity_, 1.0 / window_.canvasDensity_);
  painter.setClipRect(area);
  painter.fillRect(area, QColor::fromRgb(kWindowColour));
  painter.drawImage(area.topLeft() + offset * window_.canvasDensity_, pixels);
  painter.end();
  window_.latest_.overpainted = true;
  window_.update(onWindow(window_.latest_.picture));
}

void Explorer::scrollPicture(QPoint offset) {
  const QRect area = pictureArea();
  const int density = window_.canvasDensity_;
  const int dx = offset.x() * density, dy = offset.y() * density;
  const int width = area.width();
  const int kept = std::max(0, width - std::abs(dx));
  QImage& canvas = window_.canvas_;
  const auto row = [&](int y) { return reinterpret_cast<QRgb*>(canvas.scanLine(y)) + area.left(); };
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
  window_.latest_.overpainted = true;
  window_.update(onWindow(window_.latest_.picture));
}

void Explorer::paintScaled(bool in, QPoint pixel) {
  const QRect area = pictureArea();
  if (area.isEmpty()) return;
  const QImage pixels = shownPixels();
  const int density = window_.canvasDensity_;
  const QPointF about(pixel.x() * density, pixel.y() * density);
  const double scale = in ? 2.0 : 0.5;
  QPainter painter(&window_.canvas_);
  painter.scale(1.0 / density, 1.0 / density);
  painter.setClipRect(area);
  painter.fillRect(area, QColor::fromRgb(kWindowColour));
  painter.translate(about);
  painter.scale(scale, scale);
  painter.translate(-about);
  if (!in) painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(area.topLeft(), pixels);
  painter.end();
  window_.latest_.overpainted = true;
  window_.update(onWindow(window_.latest_.picture));
}

}  // namespace plorvex::app
