// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "explorer.h"
#include "layout_scroller.h"
#include "movie_maker.h"

// The icon lives in this library's resources, which a static link would drop
// unless they are registered by hand.
static void registerResources() { Q_INIT_RESOURCE(app); }

namespace plorvex::app {
namespace {

const QRgb kWindowColour = qRgb(redOf(kBackground), greenOf(kBackground), blueOf(kBackground));
const QColor kExitMarkActive(0, 0, 255);
const QColor kExitMarkHover(0, 128, 255);
const QColor kLeftMarkHover(255, 255, 255);
const QColor kLeftMarkRest(192, 192, 192);
const char* const kProgramTitle = "Plorvex Picture Maker";

// The canvas covers the design client area and the largest picture, whose
// rows run past the bottom edge.
constexpr int kWindowCanvasHeight = 51 + static_cast<int>(WindowRenderer::kMaxPictureSide);

}  // namespace

MainWindow::MainWindow(WindowServices services) : services_(std::move(services)) {
  setObjectName("qTac");
  setWindowTitle(kProgramTitle);
  registerResources();
  setWindowIcon(QIcon(QStringLiteral(":/plorvex.png")));
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setAttribute(Qt::WA_OpaquePaintEvent);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, QColor::fromRgb(kWindowColour));
  palette.setColor(QPalette::WindowText, QColor::fromRgb(kWindowColour));
  setPalette(palette);
  setFont(fontFor(kDefaultFont));
  canvas_ = std::make_unique<Canvas>(QSize(kCanvasMinWidth, std::max(kCanvasMinHeight, kWindowCanvasHeight)));
  resize(1272, 1016);
  buildLabels();
  buildButtons();
  fields_ = std::make_unique<FieldPanel>(*this, [this] { tell(faultMessage(Fault::Overflow)); });
  renderer_ = std::make_unique<WindowRenderer>(*this, *canvas_, *fields_);
  // The design's client area, and any picture painted beyond it.
  scroller_ = new LayoutScroller(this, QSize(kCanvasMinWidth, kCanvasMinHeight));
  keeper_ = std::make_unique<PictureKeeper>(*this, services_, *canvas_, *renderer_, *fields_);
  const QList<QWidget*> buttons(patternButtons_.begin(), patternButtons_.end());
  explorer_ = std::make_unique<Explorer>(*this, *scroller_, *canvas_, *renderer_, *fields_, buttons);
  movieMaker_ = new MovieMaker(*this, explorer_->history(),
                               [this](const QString& title, const QString& text) {
                                 services_.showCritical(this, title, text);
                               },
                               [this] { return canvas_->density(); });
  connect(canvas_.get(), &Canvas::changed, this,
          [this](const QRect& area) { update(area.translated(-scroller_->offset())); });
  connect(renderer_.get(), &WindowRenderer::pressed, this, &MainWindow::highlightPattern);
  connect(renderer_.get(), &WindowRenderer::refused, this, [this] { services_.beep(); });
  connect(renderer_.get(), &WindowRenderer::faulted, this, &MainWindow::tell);
  connect(canvas_.get(), &Canvas::pictureBegun, this, [this](const QRect& rect) { scroller_->include(rect); });
  connect(fields_.get(), &FieldPanel::returnPressed, this, &MainWindow::pressHighlightedPattern);
  connectButtons();
  connectLabels();
  setTabOrder();
  fields_->edit(Field::Three)->setFocus();
  markTimer_.setInterval(1000);
  connect(&markTimer_, &QTimer::timeout, this, &MainWindow::restMarks);
  markTimer_.start();
}

MainWindow::~MainWindow() = default;

ColourButton* MainWindow::addButton(const ButtonSpec& layout) {
  auto* button = new ColourButton(QString::fromUtf8(layout.caption), this);
  if (*layout.name) button->setObjectName(layout.name);
  button->setGeometry(layout.left, layout.top, layout.width, layout.height);
  button->setFont(fontFor(layout.font));
  button->setBackground(QColor::fromRgb(layout.background));
  if (*layout.tooltip) button->setToolTip(layout.tooltip);
  button->setProperty("tabPosition", layout.tab);
  return button;
}

void MainWindow::buildLabels() {
  // Labels first: the black panels among them lie behind every other control.
  for (const LabelSpec& layout : labelSpecs()) {
    auto* label = new ClickLabel(this);
    label->setObjectName(layout.name);
    label->setText(layout.caption);
    label->setGeometry(layout.left, layout.top, layout.width, layout.height);
    label->setFont(fontFor(layout.font));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextColour(QColor::fromRgb(layout.text));
    if (*layout.tooltip) label->setToolTip(layout.tooltip);
    if (!layout.transparent) {
      QPalette p = label->palette();
      p.setColor(QPalette::Window, QColor::fromRgb(layout.background));
      label->setPalette(p);
      label->setAutoFillBackground(true);
    }
    if (*layout.caption == '\0') label->setFrameStyle(QFrame::Box | QFrame::Plain);
  }
  exitMark_ = findChild<ClickLabel*>("Label1");
  leftExitMark_ = findChild<ClickLabel*>("Label4");
}

void MainWindow::buildButtons() {
  for (int k = 0; k < kPatternButtons; ++k) {
    patternButtons_[static_cast<std::size_t>(k)] = addButton(patternButtonSpec(k));
    patternButtons_[static_cast<std::size_t>(k)]->setObjectName(QString("CMD(%1)").arg(k));
  }
  for (const ButtonSpec& layout : otherButtonSpecs()) addButton(layout);
  linkButton_ = findChild<ColourButton*>("Command1");
  // The two far zoom buttons are never shown and never pressed.
  for (const char* hidden : {"cmdXX(2)", "cmdXX(3)"}) {
    auto* button = findChild<ColourButton*>(hidden);
    button->setFocusPolicy(Qt::NoFocus);
    button->hide();
  }
}

void MainWindow::connectButtons() {
  for (int k = 0; k < kPatternButtons; ++k)
    connect(patternButtons_[static_cast<std::size_t>(k)], &QPushButton::clicked, this,
            [this, k] { renderer_->press(k); });
  FieldPanel& f = *fields_;
  const std::map<QString, std::function<void()>> buttons{
      {"cmdstop", [this] { renderer_->halt(); }},
      {"Command3", [this] { resetFields(); }},
      {"cmd1", [&f] { f.presetSmall(); }},
      {"cmdb", [&f] { f.presetMedium(); }},
      {"Command4", [&f] { f.presetLarge(); }},
      {"cmdXX(0)", [&f] { f.scale(Field::Four, true); }},
      {"cmdXX(1)", [&f] { f.scale(Field::Four, false); }},
      {"verty(0)", [&f] { f.pan(Field::Two, true); }},
      {"verty(1)", [&f] { f.pan(Field::Two, false); }},
      {"horz(0)", [&f] { f.pan(Field::One, true); }},
      {"horz(1)", [&f] { f.pan(Field::One, false); }},
      {"cmdblue(0)", [&f] { f.scale(Field::Two, true); }},
      {"cmdblue(1)", [&f] { f.scale(Field::Two, false); }},
      {"cmdblue(2)", [&f] { f.scale(Field::One, true); }},
      {"cmdblue(3)", [&f] { f.scale(Field::One, false); }},
      {"Command1", [this] { openMakersPage(); }},
  };
  for (const auto& [name, handler] : buttons)
    connect(findChild<QPushButton*>(name), &QPushButton::clicked, this, handler);
}

void MainWindow::connectLabels() {
  FieldPanel& f = *fields_;
  const std::map<QString, std::function<void()>> labelClicks{
      {"Label8", [&f] { f.scale(Field::Four, true); }},   {"Label17", [&f] { f.scale(Field::Four, false); }},
      {"Label1", [this] { exitClicked(); }},                {"Label2", [this] { exitClicked(); }},
      {"Label4", [this] { exitClicked(); }},                {"Label7", [this] { showMinimized(); }},
  };
  for (const auto& [name, handler] : labelClicks)
    connect(findChild<ClickLabel*>(name), &ClickLabel::clicked, this, handler);
  connect(exitMark_, &ClickLabel::mouseMoved, this, [this] { exitMark_->setTextColour(kExitMarkHover); });
  connect(leftExitMark_, &ClickLabel::mouseMoved, this, [this] { leftExitMark_->setTextColour(kLeftMarkHover); });
}

void MainWindow::setTabOrder() {
  std::vector<QWidget*> chain;
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->property("tabPosition").isValid() && child->focusPolicy() != Qt::NoFocus)
      chain.push_back(child);
  std::stable_sort(chain.begin(), chain.end(), [](QWidget* a, QWidget* b) {
    return a->property("tabPosition").toInt() < b->property("tabPosition").toInt();
  });
  for (std::size_t k = 1; k < chain.size(); ++k) QWidget::setTabOrder(chain[k - 1], chain[k]);
}

void MainWindow::highlightPattern(int index) {
  for (ColourButton* button : patternButtons_) button->setBackground(QColor::fromRgb(kNeutralButton));
  patternButtons_[static_cast<std::size_t>(index)]->setBackground(linkButton_->background());
  for (ColourButton* button : patternButtons_) button->repaint();
}

void MainWindow::pressHighlightedPattern() {
  const int highlighted = renderer_->pressedPattern();
  if (highlighted >= 0 && !renderer_->abandoned()) patternButtons_[static_cast<std::size_t>(highlighted)]->click();
}

// Stops what runs and what is about to, and sets the fields to their start.
void MainWindow::resetFields() {
  renderer_->halt();
  explorer_->cancelPending();
  fields_->reset();
}

void MainWindow::tell(const QString& text) { services_.showCritical(this, kProgramTitle, text); }

// --- Painting -----------------------------------------------------------------

void MainWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QPoint scrolled = scroller_->offset();
  QRect area = event->rect().translated(scrolled);
  if (devicePixelRatioF() != canvas_->density()) {
    // Scaled to a fractional ratio: filtered, from a margin wide enough that
    // the filter's edges fall outside the area repainted.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    area = area.adjusted(-2, -2, 2, 2) & QRect(QPoint(0, 0), canvas_->image().deviceIndependentSize().toSize());
  }
  painter.translate(-scrolled);
  canvas_->paint(painter, area);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  canvas_->grow(size());
  if (scroller_) scroller_->fit();
  QWidget::resizeEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  keeper_->addMenuEntries(menu);
  explorer_->addMenuEntries(menu);
  movieMaker_->addMenuEntries(menu);
  menu.exec(event->globalPos());
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (!explorer_->mousePress(event)) QWidget::mousePressEvent(event);
}
void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!explorer_->mouseMove(event)) QWidget::mouseMoveEvent(event);
}
void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  if (!explorer_->mouseRelease(event)) QWidget::mouseReleaseEvent(event);
}
void MainWindow::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!explorer_->mouseDoubleClick(event)) QWidget::mouseDoubleClickEvent(event);
}

// --- Decorations -------------------------------------------------------------------

bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) lightExitMark();
  return QWidget::event(event);
}

void MainWindow::lightExitMark() {
  savedExitColour_ = exitMark_->textColour();
  exitMark_->setTextColour(kExitMarkActive);
}

void MainWindow::restMarks() {
  leftExitMark_->setTextColour(kLeftMarkRest);
  exitMark_->setTextColour(savedExitColour_);
}

void MainWindow::exitNow() {
  // Every render level returns at its next yield without painting further; a
  // save in progress stops and leaves no file.
  renderer_->abandon();
  keeper_->stopSaving();
  markTimer_.stop();
  hide();
  services_.exitProgram();
}

// A render ends at once with the program; a save running is the user's to stop.
void MainWindow::exitClicked() {
  if (renderer_->abandoned()) return;
  if (!keeper_->saving()) {
    exitNow();
    return;
  }
  services_.askToStopSave(this, "A picture is still being saved. Stop saving it and end the program?",
                          [this] { exitNow(); });
}

void MainWindow::openMakersPage() {
  const QString address = QString::fromUtf8(kMakerAddress);
  if (!services_.startBrowser(address))
    services_.showCritical(this, "Cannot find Browser:", noBrowserMessage(address));
}

}  // namespace plorvex::app
