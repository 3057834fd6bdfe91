// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window qTac: every control, the canvas the patterns paint on, and the
// event handlers, each named after its control and event.

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <string>

#include "column_pool.h"
#include "controls.h"
#include "frame.h"
#include "services.h"

class QLineEdit;

namespace plorvex::app {

class MainWindow : public QWidget, public RenderHost {
  Q_OBJECT
 public:
  explicit MainWindow(WindowServices services = defaultServices());

  // Renders nest inside each other's yields; each level holds a suspended
  // render on the stack. Presses beyond this depth are refused.
  static constexpr int kMaxRenderDepth = 64;
  // The largest picture the window paints; its size check keeps sizes to 1..1024.
  static constexpr std::size_t kMaxPictureSide = 1024;

  int renderDepth() const { return renderDepth_; }
  const QImage& canvas() const { return canvas_; }
  const std::string& haltFlagText() const { return halt_; }
  // Called at the top of every render level's yield (tests use it to follow nesting).
  std::function<void(int depth)> onYield;

  // RenderHost
  std::string fieldText(Field field) override;
  PictureLimits pictureLimits() const override;
  bool beginPicture(std::size_t, std::size_t) override { return true; }
  void plot(int x, int y, Colour colour) override;
  void columnPainted(int x, int yTop, int yBottom) override;
  void yield() override;
  std::string haltFlag() const override { return halt_; }
  bool abandoned() const override { return exiting_; }
  ColumnPool* columnPool() override { return pool_.workers() > 0 ? &pool_ : nullptr; }

  // Handlers.
  void Form_Load();
  void Form_Activate();
  void Timer1_Timer();
  void CMD_Click(int index);
  void cmdstop_Click();
  void Command3_Click();
  void cmd1_Click();
  void cmdb_Click();
  void Command4_Click();
  void horz_Click(int index);
  void verty_Click(int index);
  void cmdXX_Click(int index);
  void cmdblue_Click(int index);
  void Label8_Click();
  void Label17_Click();
  void TextThree_LostFocus();
  void Label1_MouseMove();
  void Label4_MouseMove();
  void Label1_Click();
  void Label2_Click();
  void Label4_Click();
  void Label7_Click();
  void Command1_Click();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void buildControls();
  ColourButton* addButton(const ButtonSpec& layout);
  void connectHandlers();
  void setTabOrder();
  void growCanvas(QSize size);
  QLineEdit* field(Field which) const { return fields_[static_cast<std::size_t>(which)]; }
  // Rewrites a field with a number computed from its value; an overflow is
  // reported and leaves the field as it was.
  void rewriteField(Field which, const std::function<double(double)>& compute);
  void reportOverflow();
  void reportRenderFault(const char* caption, const RenderOutcome& outcome);
  void exitNow();

  WindowServices services_;
  // One worker per core computes columns ahead while this thread paints.
  ColumnPool pool_;
  QImage canvas_;
  std::array<ColourButton*, kPatternButtons> patternButtons_{};
  std::array<QLineEdit*, 5> fields_{};
  ColourButton* linkButton_ = nullptr;
  ClickLabel* exitMark_ = nullptr;      // Label1, "x"
  ClickLabel* leftExitMark_ = nullptr;  // Label4, "<"
  QTimer timer_;
  QColor savedExitColour_{0, 0, 0};
  std::string halt_;
  int renderDepth_ = 0;
  bool exiting_ = false;
};

}  // namespace plorvex::app
