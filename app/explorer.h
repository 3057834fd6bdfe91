// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Exploring a pattern with the hand: a drag moves the picture, the wheel
// zooms about the pointer, Shift and a drag frame a box to zoom into, a
// double-click centres a point, Ctrl+Plus and Ctrl+Minus zoom about the
// centre, Return in a field renders what it holds, and Back and Forward
// retrace the views shown. The main window forwards its mouse events here.
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

#include "view_geometry.h"
#include "view_history.h"

class QAction;
class QMenu;
class QMouseEvent;
class QRubberBand;
class QWheelEvent;

namespace plorvex::app {

class MainWindow;
class PatternPreview;

class Explorer : public QObject {
  Q_OBJECT
 public:
  explicit Explorer(MainWindow& window);

  // Forwarded from the window; true when the event was a gesture's.
  bool mousePress(QMouseEvent* event);
  bool mouseMove(QMouseEvent* event);
  bool mouseRelease(QMouseEvent* event);
  bool mouseDoubleClick(QMouseEvent* event);
  // The window started a render of this pattern with these texts.
  void renderStarted(int pattern, const FieldTexts& texts);
  // Every render has returned.
  void rendersReturned();
  // Back and Forward for the window's context menu.
  void addMenuEntries(QMenu& menu);

  void goBack();
  void goForward();
  const ViewHistory& history() const { return history_; }
  // The last refusal shown at the pointer (tests read it).
  const QString& lastNote() const { return lastNote_; }
  // The small pictures shown while a pattern button is hovered.
  const PatternPreview& preview() const { return *preview_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Gesture { None, Pressed, Dragging, Box };
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
  void writeFields(const FieldTexts& texts);
  // Back or Forward to a view: moved exactly when it can be, else rendered.
  void retrace(const HistoryView& view);
  // How far the shown picture moves to become the view, when that is whole pixels.
  std::optional<QPoint> wholePixelStep(const HistoryView& view) const;
  // Moves the shown picture by `step` and computes only what that uncovers,
  // when the result is the view's full render: a pattern without a carried
  // value, a complete picture shown and no render running or pending.
  bool moveExactly(const HistoryView& view, QPoint step);
  // A view shown without a render joins the history as a render's would.
  void recordShown(const HistoryView& view);
  void startPending();
  void cancelPending() { pending_ = false; }
  void note(const std::string& refusal, QPoint globalPos);
  // Instant feedback on the canvas before the render.
  QRect pictureArea() const;  // the shown picture, in canvas pixels at density
  QImage shownPixels() const;
  void paintMoved(const QImage& pixels, QPoint offset);
  // Moves the picture's pixels on the canvas in place; what it uncovers is grey.
  void scrollPicture(QPoint offset);
  void paintScaled(bool in, QPoint pixel);

  MainWindow& window_;
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
  QImage dragPixels_;  // the picture as it was when the drag stopped being exact
  QPoint dragPixelsShift_;
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
};

}  // namespace plorvex::app
