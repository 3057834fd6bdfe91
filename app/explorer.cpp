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

#include "canvas.h"
#include "catalogue.h"
#include "field_panel.h"
#include "layout_scroller.h"
#include "pattern_preview.h"
#include "window_renderer.h"

namespace plorvex::app {
namespace {

constexpr int kNotch = 120;              // wheel units in one notch
constexpr qint64 kNotchSeriesMs = 400;   // notches closer than this are one history entry

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
  MovedViewHost(WindowRenderer& window, const FieldTexts& texts) : window_(window), texts_(texts) {}
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
  WindowRenderer& window_;
  const FieldTexts& texts_;
};

bool sameButOffsets(const FieldTexts& a, const FieldTexts& b) {
  return a.size == b.size && a.zoom == b.zoom && a.brightness == b.brightness;
}

}  // namespace

Explorer::Explorer(QWidget& window, const LayoutScroller& scroller, Canvas& canvas, WindowRenderer& renderer,
                   FieldPanel& fields, const QList<QWidget*>& patternButtons)
    : window_(window), scroller_(scroller), canvas_(canvas), renderer_(renderer), fields_(fields) {
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
  connect(&renderer_, &WindowRenderer::started, this, &Explorer::renderStarted);
  connect(&renderer_, &WindowRenderer::allReturned, this, &Explorer::rendersReturned);
  // Installed after the scroll bars' filter, so it sees the wheel first.
  window_.installEventFilter(this);
  band_ = new QRubberBand(QRubberBand::Rectangle, &window_);
  preview_ = new PatternPreview(window_, fields_, patternButtons);
}

Explorer::~Explorer() { delete preview_; }

QPoint Explorer::canvasPixel(const QPointF& position) const {
  const QPoint scrolled = scroller_.offset();
  return QPoint(static_cast<int>(std::floor(position.x())) + scrolled.x(),
                static_cast<int>(std::floor(position.y())) + scrolled.y());
}

QRect Explorer::onWindow(const QRect& canvasArea) const { return canvasArea.translated(-scroller_.offset()); }

// --- Which view a gesture acts on ---------------------------------------------------------

bool Explorer::currentView(HistoryView& view, ViewGeometry& geometry) const {
  const ShownPicture& shown = canvas_.shown();
  if (pending_) {
    view = pendingView_;
  } else {
    if (shown.pattern < 0 || shown.rect.isEmpty()) return false;
    view = HistoryView{shown.pattern, shown.fields};
  }
  const PatternEntry* pattern = patternAt(view.pattern);
  return pattern && viewGeometryOf(*pattern, view.texts, geometry) == Fault::None && geometry.columns > 0;
}

bool Explorer::viewAt(QPoint pixel, HistoryView& view, ViewGeometry& geometry) const {
  return currentView(view, geometry) && geometry.contains(pixel.x(), pixel.y()) &&
         canvas_.shown().rect.contains(pixel);
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
    const QRect picture = canvas_.shown().rect;
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
    if (renderer_.depth() > 0) renderer_.halt();
    exactDrag_ = true;
  }
  const HistoryView view{gestureView_.pattern, change.texts};
  if (exactDrag_) exactDrag_ = moveExactly(view, shift - dragShift_);
  if (!exactDrag_) {
    // The old picture follows the hand and the fields with it; the view is
    // rendered at the release.
    previewMove(shift - dragShift_);
    fields_.setTexts(view.texts);
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
    const HistoryView view =
        undone(gestureView_, HistoryView{gestureView_.pattern, change.texts}, Step{0, {}, dragShift_});
    if (exactDrag_) {
      fields_.setTexts(view.texts);
      canvas_.becameWhole(view.texts);
      recordShown(view);
    } else {
      show(view, false);
    }
  }
  // The release hides a note; the hand stopped at the limit it says.
  if (ended != Gesture::Box) note(dragRefusal_, event->globalPosition().toPoint());
  dragRefusal_.clear();
  updateCursor(pixel);
  return true;
}

void Explorer::endBox(QPoint pixel, QPoint globalPos) {
  band_->hide();
  const ViewChange change =
      zoomToBox(gestureGeometry_, pressPixel_.x(), pressPixel_.y(), pixel.x(), pixel.y());
  if (change.changed)
    show(undone(gestureView_, HistoryView{gestureView_.pattern, change.texts}, Step{}), false);
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
  const QPoint step(geometry.centreX() - pixel.x(), geometry.centreY() - pixel.y());
  const HistoryView centred = undone(view, HistoryView{view.pattern, change.texts}, Step{0, {}, step});
  if (moveExactly(centred, step)) {
    recordShown(centred);
  } else {
    previewMove(step);
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
  const LayoutScroller& scroller = scroller_;
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
  previewScale(in, pixel);
  show(undone(view, HistoryView{view.pattern, change.texts}, Step{in ? 1 : -1, pixel, {}}), series);
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
  return watched == &window_ && event->type() == QEvent::Wheel && wheel(static_cast<QWheelEvent*>(event));
}

// --- History -------------------------------------------------------------------------------

void Explorer::goBack() {
  if (const auto view = history_.back()) retrace(*view);
}

void Explorer::goForward() {
  if (const auto view = history_.forward()) retrace(*view);
}

void Explorer::retrace(const HistoryView& view) {
  if (const auto step = stepTo(view); step && moveExactly(view, *step)) return;
  show(view, false);
}

std::optional<QPoint> Explorer::stepTo(const HistoryView& view) const {
  const ShownPicture& shown = canvas_.shown();
  const PatternEntry* pattern = patternAt(view.pattern);
  if (!pattern || shown.pattern != view.pattern || !sameButOffsets(shown.fields, view.texts))
    return std::nullopt;
  SweepOrigin from, to;
  if (pattern->sweep(shown.fields, from) != Fault::None || pattern->sweep(view.texts, to) != Fault::None)
    return std::nullopt;
  const auto step = wholePixelStep(from.x0, from.y0, to.x0, to.y0, WindowRenderer::kMaxPictureSide);
  if (!step) return std::nullopt;
  return QPoint(step->dx, step->dy);
}

bool Explorer::moveExactly(const HistoryView& view, QPoint step) {
  const ShownPicture& shown = canvas_.shown();
  const PatternEntry* pattern = patternAt(view.pattern);
  if (!pattern || !pattern->moved || pending_ || renderer_.depth() > 0 || shown.pattern != view.pattern ||
      !canvas_.whole() || !sameButOffsets(shown.fields, view.texts))
    return false;
  SweepOrigin sweep;
  SweepPlan previous;
  if (pattern->sweep(shown.fields, sweep) != Fault::None ||
      planSweep(sweep, renderer_.pictureLimits(), previous, renderer_.sampling()) != Fault::None)
    return false;
  canvas_.scrollPicture(step);
  MovedViewHost host(renderer_, view.texts);
  if (pattern->moved(host, previous, step.x(), step.y()).end != RenderEnd::Completed) return false;
  fields_.setTexts(view.texts);
  canvas_.becameWhole(view.texts);
  return true;
}

HistoryView Explorer::undone(const HistoryView& from, const HistoryView& to, const Step& step) {
  const bool acts = step.zoom != 0 || !step.shift.isNull();
  const bool undoes = acts && gestureFrom_ && from == gestureReached_ && step.undoes(gestureStep_);
  const HistoryView reached = undoes ? *gestureFrom_ : to;
  gestureFrom_ = from;
  gestureStep_ = step;
  gestureReached_ = reached;
  return reached;
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
  if (renderer_.depth() == 0) pending_ = false;
  history_.record(HistoryView{pattern, texts}, nextRecordMerges_);
  notchEntryOpen_ = nextRecordIsNotch_;
  nextRecordMerges_ = false;
  nextRecordIsNotch_ = false;
  // Actions stay enabled for their keys; the menu sets them as it opens.
  backAction_->setEnabled(true);
  forwardAction_->setEnabled(true);
}

// --- Rendering a gesture's view ------------------------------------------------------------

void Explorer::show(const HistoryView& view, bool mergeWithCurrent) {
  fields_.setTexts(view.texts);
  // A burst keeps the way it began: the first view's entry is replaced or not.
  if (!pending_) pendingMerges_ = mergeWithCurrent;
  pending_ = true;
  pendingView_ = view;
  pendingIsNotch_ = false;
  if (renderer_.depth() > 0)
    renderer_.halt();
  else
    QTimer::singleShot(0, this, &Explorer::startPending);
}

void Explorer::startPending() {
  if (!pending_ || renderer_.depth() > 0 || renderer_.abandoned()) return;
  nextRecordMerges_ = pendingMerges_;
  nextRecordIsNotch_ = pendingIsNotch_;
  renderer_.press(pendingView_.pattern);
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

void Explorer::previewMove(QPoint step) { canvas_.transformPreview(QTransform::fromTranslate(step.x(), step.y())); }

void Explorer::previewScale(bool in, QPoint pixel) {
  const double scale = in ? 2.0 : 0.5;
  canvas_.transformPreview(QTransform::fromTranslate(-pixel.x(), -pixel.y()) * QTransform::fromScale(scale, scale) *
                           QTransform::fromTranslate(pixel.x(), pixel.y()));
}

}  // namespace plorvex::app
