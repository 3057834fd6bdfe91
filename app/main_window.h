// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window qTac: composes the canvas, the renderer, the fields, keeping,
// exploring and movies, lays out the controls and connects them, and keeps
// the decorations (the exit marks, minimise, the maker's page).

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>

#include "canvas.h"
#include "controls.h"
#include "field_panel.h"
#include "picture_keeper.h"
#include "services.h"
#include "window_renderer.h"

namespace plorvex::app {

class LayoutScroller;
class Explorer;
class MovieMaker;

class MainWindow : public QWidget {
  Q_OBJECT
 public:
  explicit MainWindow(WindowServices services = defaultServices());
  ~MainWindow() override;

  static constexpr int kMaxRenderDepth = WindowRenderer::kMaxDepth;

  WindowRenderer& renderer() const { return *renderer_; }
  int renderDepth() const { return renderer_->depth(); }
  const std::string& haltFlagText() const { return renderer_->haltFlagText(); }
  // The canvas in pixels at its density (device pixels on a HiDPI screen).
  const QImage& canvas() const { return canvas_->image(); }
  int canvasDensity() const { return canvas_->density(); }
  // The scroll bars a screen smaller than the layout shows.
  const LayoutScroller& scroller() const { return *scroller_; }
  QImage shownPicture() const { return keeper_->shownPicture(); }
  picture::PictureParameters shownParameters() const { return keeper_->shownParameters(); }
  const PictureSaveJob& saveJob() const { return keeper_->saveJob(); }
  void openPicture(const QString& path) { keeper_->open(path); }
  // Gestures on the picture, Back and Forward.
  Explorer& explorer() const { return *explorer_; }
  // Movies of the way here, from the context menu.
  MovieMaker& movieMaker() const { return *movieMaker_; }
  // Every second: the exit marks go back to their resting colours.
  void restMarks();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void buildLabels();
  void buildButtons();
  ColourButton* addButton(const ButtonSpec& layout);
  void connectButtons();
  void connectLabels();
  void setTabOrder();
  void highlightPattern(int index);
  void pressHighlightedPattern();
  void resetFields();
  void tell(const QString& text);
  // Decorations.
  void lightExitMark();
  void openMakersPage();
  void exitClicked();
  void exitNow();

  WindowServices services_;
  std::array<ColourButton*, kPatternButtons> patternButtons_{};
  ColourButton* linkButton_ = nullptr;
  LayoutScroller* scroller_ = nullptr;
  ClickLabel* exitMark_ = nullptr;      // Label1, "x"
  ClickLabel* leftExitMark_ = nullptr;  // Label4, "<"
  QTimer markTimer_;
  QColor savedExitColour_{0, 0, 0};
  // Destroyed in reverse: exploring and keeping go before the renderer, whose
  // column workers a save still running uses.
  std::unique_ptr<Canvas> canvas_;
  std::unique_ptr<FieldPanel> fields_;
  std::unique_ptr<WindowRenderer> renderer_;
  std::unique_ptr<PictureKeeper> keeper_;
  std::unique_ptr<Explorer> explorer_;
  MovieMaker* movieMaker_ = nullptr;  // a child object
};

}  // namespace plorvex::app
