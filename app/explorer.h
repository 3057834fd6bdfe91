// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exploring a pattern with the hand: a drag moves the picture, the wheel
// zooms about the pointer, Shift and a drag frame a box to zoom into, a
// double-click centres a point, Ctrl+Plus and Ctrl+Minus zoom about the
// centre, Return in a field renders what it holds, and Back and Forward
// retrace the views shown. The window forwards its mouse events here.
//
// A gesture never renders inside a running render: it writes the fields, asks
// every running render to halt, and renders the view once they have returned,
// so a burst of gestures renders only the view they add up to.

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QPoint>
#include <QString>

#include <optional>
#include <string>

#include "move_step.h"
#include "view_geometry.h"
#include "view_history.h"

class QAction;
class QMenu;
class QMouseEvent;
class QRubberBand;
class QWheelEvent;

namespace plorvex::app {

class Canvas;
class FieldPanel;
class LayoutScroller;
class PatternPreview;
class WindowRenderer;

class Explorer : public QObject {
  Q_OBJECT
 public:
  // The gestures act on `window`'s canvas, scrolled by `scroller`; the
  // preview shows over `patternButtons`.
  Explorer(QWidget& window, const LayoutScroller& scroller, Canvas& canvas, WindowRenderer& renderer,
           FieldPanel& fields, const QList<QWidget*>& patternButtons);
  ~Explorer() override;

  // Forwarded from the window; true when the event was a gesture's.
  bool mousePress(QMouseEvent* event);
  bool mouseMove(QMouseEvent* event);
  bool mouseRelease(QMouseEvent* event);
  bool mouseDoubleClick(QMouseEvent* event);
  // Back and Forward for the window's context menu.
  void addMenuEntries(QMenu& menu);

  void goBack();
  void goForward();
  const ViewHistory& history() const { return history_; }
  // The last refusal shown at the pointer (tests read it).
  const QString& lastNote() const { return lastNote_; }
  // The small pictures shown while a pattern button is hovered.
  const PatternPreview& preview() const { return *preview_; }
  // Stops what is about to render (reset stops what runs).
  void cancelPending() { pending_ = false; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Gesture { None, Pressed, Dragging, Box };
  void renderStarted(int pattern, const FieldTexts& texts);
  void rendersReturned();
  bool wheel(QWheelEvent* event);
  // The canvas pixel under a window position (the window may be scrolled),
  // and a canvas area where the window shows it.
  QPoint canvasPixel(const QPointF& position) const;
  QRect onWindow(const QRect& canvasArea) const;
  // The view a gesture starts from: the one about to be rendered, or else the
  // one the shown picture was rendered from.
  bool currentView(HistoryView& view, ViewGeometry& geometry) const;
  // The shown view's geometry when (x, y) lies in its picture.
  bool viewAt(QPoint pixel, HistoryView& view, ViewGeometry& geometry) const;
  void updateCursor(QPoint pixel);
  void moveDrag(QPoint pixel, QPoint globalPos);
  void endBox(QPoint pixel, QPoint globalPos);
  void notch(bool in, QPoint pixel, QPoint globalPos);
  void zoomAtCentre(bool in);
  // Writes the texts into the fields and renders them once no render runs.
  void show(const HistoryView& view, bool mergeWithCurrent);
  // What a gesture did to the view: zoomed in (+1) or out (-1) about a
  // pixel, or moved the picture by whole pixels.
  struct Step {
    int zoom = 0;
    QPoint at;
    QPoint shift;
    bool undoes(const Step& other) const {
      return zoom == -other.zoom && at == other.at && shift == -other.shift;
    }
  };
  // A gesture from `from` to `to` that exactly undoes the one before it gives
  // back the view that one started from, texts and all, as Back would.
  HistoryView undone(const HistoryView& from, const HistoryView& to, const Step& step);
  // Back or Forward to a view: moved exactly when it can be, else rendered.
  void retrace(const HistoryView& view);
  // How far the shown picture moves to become the view, when that is whole pixels.
  std::optional<QPoint> stepTo(const HistoryView& view) const;
  // Moves the shown picture by `step` and computes only what that uncovers,
  // when the result is the view's full render: a pattern without a carried
  // value, a complete picture shown and no render running or pending.
  bool moveExactly(const HistoryView& view, QPoint step);
  // A view shown without a render joins the history as a render's would.
  void recordShown(const HistoryView& view);
  void startPending();
  void note(const std::string& refusal, QPoint globalPos);
  // Instant feedback before the render: the picture moved, or scaled about a pixel.
  void previewMove(QPoint step);
  void previewScale(bool in, QPoint pixel);

  QWidget& window_;
  const LayoutScroller& scroller_;
  Canvas& canvas_;
  WindowRenderer& renderer_;
  FieldPanel& fields_;
  ViewHistory history_;
  QAction* backAction_ = nullptr;
  QAction* forwardAction_ = nullptr;
  QRubberBand* band_ = nullptr;
  PatternPreview* preview_ = nullptr;  // a child object

  Gesture gesture_ = Gesture::None;
  QPoint pressPixel_;
  QPoint dragShift_;  // the last accepted drag since the press
  HistoryView gestureView_;
  ViewGeometry gestureGeometry_;
  bool exactDrag_ = false;  // every step so far gave the exact picture
  std::string dragRefusal_;  // why the hand can go no further
  bool handShown_ = false;

  int wheelRemainder_ = 0;
  QElapsedTimer lastNotch_;
  bool notchEntryOpen_ = false;  // the current history entry is a wheel series'

  bool pending_ = false;
  HistoryView pendingView_;
  bool pendingMerges_ = false;
  bool nextRecordMerges_ = false;
  bool nextRecordIsNotch_ = false;
  bool pendingIsNotch_ = false;
  QString lastNote_;
  // The last gesture: the view it started from, what it did and the view it reached.
  std::optional<HistoryView> gestureFrom_;
  Step gestureStep_;
  HistoryView gestureReached_;
};

}  // namespace plorvex::app
