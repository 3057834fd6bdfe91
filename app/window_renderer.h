// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Renders in the window. A press renders a pattern with the fields' texts,
// column by column on the canvas; each column yields to the window's events,
// so another press renders nested inside the running one, which resumes once
// it returns. Halting stops every running render after its current column.

#include <QObject>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "canvas.h"
#include "column_pool.h"
#include "frame.h"

class QWidget;

namespace plorvex::app {

class FieldPanel;

class WindowRenderer : public QObject, public RenderHost {
  Q_OBJECT
 public:
  // Renders nest inside each other's yields; each level holds a suspended
  // render on the stack. Presses beyond this depth are refused.
  static constexpr int kMaxDepth = 64;
  // The largest picture the window paints; the size check keeps sizes to 1..1024.
  static constexpr std::size_t kMaxPictureSide = 1024;
  // The flag every render reads at each column: this text stops it.
  static constexpr const char* kHaltFlag = "p";

  // `window` gives the screen's density.
  WindowRenderer(QWidget& window, Canvas& canvas, const FieldPanel& fields);

  int depth() const { return depth_; }
  // The pattern pressed last (the highlighted button), or -1.
  int pressedPattern() const { return pressedPattern_; }
  const std::string& haltFlagText() const { return halt_; }
  // Renders the pattern at `index` with the fields' texts, nested in any running.
  void press(int index);
  void halt() { halt_ = kHaltFlag; }
  // From now on every render returns at its next yield without painting, and no press renders.
  void abandon() { abandoned_ = true; }
  // Called at the top of every render level's yield (tests use it to follow nesting).
  std::function<void(int depth)> onYield;

  // RenderHost
  std::string fieldText(Field field) override;
  PictureLimits pictureLimits() const override;
  Sampling sampling() const override { return {canvas_.density(), 1}; }
  bool beginPicture(std::size_t columns, std::size_t rows) override;
  void plot(int x, int y, Colour colour) override { canvas_.plot(x, y, colour); }
  void columnPainted(int x, int yTop, int yBottom) override;
  void yield() override;
  std::string haltFlag() const override { return halt_; }
  bool abandoned() const override { return abandoned_; }
  ColumnPool* columnPool() override { return pool_.workers() > 0 ? &pool_ : nullptr; }

 signals:
  // A press that cannot be served.
  void refused();
  // A pattern's button was pressed: it is the highlighted one now.
  void pressed(int index);
  // A render is about to start, with these texts.
  void started(int pattern, const FieldTexts& texts);
  // A render ended with a fault; the message says which and where.
  void faulted(const QString& message);
  // Every render has returned.
  void allReturned();

 private:
  void adoptScreenDensity();
  QString faultText(const char* caption, const RenderOutcome& outcome, const std::string& sizeText) const;

  QWidget& window_;
  Canvas& canvas_;
  const FieldPanel& fields_;
  // One worker per core computes columns ahead while this thread paints.
  ColumnPool pool_;
  std::string halt_;
  bool abandoned_ = false;
  int depth_ = 0;
  int serial_ = 0;
  int pressedPattern_ = -1;
  ShownPicture starting_;  // the render pressed last, until it begins its picture
  std::vector<int> running_;  // serials of the renders running, innermost last
};

}  // namespace plorvex::app
