// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window qTac: every control, the canvas the patterns paint on, and the
// event handlers, each named after its control and event.

#include <QImage>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "column_pool.h"
#include "controls.h"
#include "frame.h"
#include "keeping.h"
#include "services.h"

class QLineEdit;
class QAction;

namespace plorvex::app {

class LayoutScroller;
class Explorer;
class MovieMaker;

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
  // The canvas in pixels at its density (device pixels on a HiDPI screen).
  const QImage& canvas() const { return canvas_; }
  int canvasDensity() const { return canvasDensity_; }
  const std::string& haltFlagText() const { return halt_; }
  // The scroll bars a screen smaller than the layout shows.
  const LayoutScroller& scroller() const { return *scroller_; }
  // Called at the top of every render level's yield (tests use it to follow nesting).
  std::function<void(int depth)> onYield;

  // RenderHost
  std::string fieldText(Field field) override;
  PictureLimits pictureLimits() const override;
  Sampling sampling() const override { return {canvasDensity_, 1}; }
  bool beginPicture(std::size_t columns, std::size_t rows) override;
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

  // Keeping pictures: Ctrl+S, Ctrl+C, Ctrl+O, a dropped file, a file named on
  // the command line, and the window's context menu.
  void savePicture();
  void copyPicture();
  void choosePictureToOpen();
  // Sets the five fields to a saved picture's texts and presses its pattern's
  // button; a file that cannot be opened is reported and changes nothing.
  void openPicture(const QString& path);
  // The most recent render's picture as the canvas shows it now; null if no
  // render has painted a picture yet.
  QImage shownPicture() const;
  // The parameters a save of the shown picture carries.
  picture::PictureParameters shownParameters() const;
  const PictureSaveJob& saveJob() const { return saveJob_; }
  // Gestures on the picture, Back and Forward.
  Explorer& explorer() const { return *explorer_; }
  // Movies of the way here, from the context menu.
  MovieMaker& movieMaker() const { return *movieMaker_; }

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  friend class Explorer;
  void acceptPictureDrag(QDropEvent* event);
  // The most recent render: what it read, where its picture lies, and
  // whether the canvas still shows it whole.
  struct RenderRecord {
    int serial = 0;
    int pattern = -1;
    FieldTexts fields;
    QRect picture;  // plain canvas pixels; empty: it painted nothing
    bool complete = false;
    bool overpainted = false;
  };
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
  void reportRenderFault(const char* caption, const RenderOutcome& outcome, const std::string& sizeText);
  void exitClicked();
  void exitNow();
  void adoptScreenDensity();
  void addKeepingActions();
  void startSave(const SaveChoice& choice);
  void followSave();

  WindowServices services_;
  // One worker per core computes columns ahead while this thread paints.
  ColumnPool pool_;
  QImage canvas_;
  std::array<ColourButton*, kPatternButtons> patternButtons_{};
  std::array<QLineEdit*, 5> fields_{};
  ColourButton* linkButton_ = nullptr;
  LayoutScroller* scroller_ = nullptr;
  ClickLabel* exitMark_ = nullptr;      // Label1, "x"
  ClickLabel* leftExitMark_ = nullptr;  // Label4, "<"
  QTimer timer_;
  QColor savedExitColour_{0, 0, 0};
  std::string halt_;
  int renderDepth_ = 0;
  bool exiting_ = false;
  int canvasDensity_ = 1;
  RenderRecord latest_;
  RenderRecord starting_;  // the render pressed last, until it begins its picture
  std::vector<int> activeRenders_;  // serials of the renders running, innermost last
  int renderSerial_ = 0;
  QString pictureFolder_;
  QAction* saveAction_ = nullptr;
  QAction* copyAction_ = nullptr;
  QAction* openAction_ = nullptr;
  // Declared after the pool: a save still running is cancelled and joined
  // before the workers it uses go.
  PictureSaveJob saveJob_;
  QTimer saveTimer_;
  QPointer<QProgressDialog> saveProgress_;
  Explorer* explorer_ = nullptr;  // a child object
  MovieMaker* movieMaker_ = nullptr;  // a child object
};

}  // namespace plorvex::app
