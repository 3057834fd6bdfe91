// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPaintEvent>
#include <QProgressDialog>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <map>
#include <thread>
#include <vector>

#include "catalogue.h"
#include "explorer.h"
#include "headless.h"
#include "layout_scroller.h"
#include "movie_maker.h"
#include "picture.h"
#include "val.h"

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
constexpr int kWindowCanvasHeight = 51 + static_cast<int>(MainWindow::kMaxPictureSide);

}  // namespace

namespace {
unsigned columnWorkers() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 1 ? cores : 0;
}
}  // namespace

MainWindow::MainWindow(WindowServices services)
    : services_(std::move(services)), pool_(columnWorkers()) {
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
  resize(1272, 1016);
  Form_Load();
  buildControls();
  // The design's client area, and any picture painted beyond it.
  scroller_ = new LayoutScroller(this, QSize(kCanvasMinWidth, kCanvasMinHeight));
  connectHandlers();
  setTabOrder();
  field(Field::Three)->setFocus();
  timer_.setInterval(1000);
  connect(&timer_, &QTimer::timeout, this, &MainWindow::Timer1_Timer);
  timer_.start();
  addKeepingActions();
  setAcceptDrops(true);
  saveTimer_.setInterval(100);
  connect(&saveTimer_, &QTimer::timeout, this, &MainWindow::followSave);
  pictureFolder_ = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (pictureFolder_.isEmpty() || !QFileInfo(pictureFolder_).isDir()) pictureFolder_ = QDir::homePath();
  explorer_ = new Explorer(*this);
  movieMaker_ = new MovieMaker(*this, explorer_->history(),
                               [this](const QString& title, const QString& text) {
                                 services_.showCritical(this, title, text);
                               },
                               [this] { return canvasDensity_; });
}

void MainWindow::Form_Load() {
  growCanvas(QSize(kCanvasMinWidth, std::max(kCanvasMinHeight, kWindowCanvasHeight)));
}

void MainWindow::growCanvas(QSize size) {
  const QSize wanted = (size * canvasDensity_).expandedTo(canvas_.size());
  if (wanted == canvas_.size()) return;
  QImage grown(wanted, QImage::Format_RGB32);
  grown.fill(kWindowColour);
  if (!canvas_.isNull()) {
    QPainter painter(&grown);
    painter.drawImage(QRect(QPoint(0, 0), canvas_.size()), canvas_, canvas_.rect());
  }
  grown.setDevicePixelRatio(canvasDensity_);
  canvas_ = std::move(grown);
}

// The picture is painted at the screen's device pixel ratio, rounded up: at
// 2 each picture pixel is 2 x 2 device pixels of its own. Only between
// renders, so that a render and those nested in it share one density.
void MainWindow::adoptScreenDensity() {
  const int density = std::clamp(static_cast<int>(std::ceil(devicePixelRatioF())), 1, kMaxDensity);
  if (density == canvasDensity_) return;
  const QSize logical = canvas_.size() / canvasDensity_;
  QImage rescaled = canvas_.scaled(logical * density, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  rescaled.setDevicePixelRatio(density);
  canvas_ = std::move(rescaled);
  canvasDensity_ = density;
  // What the canvas shows is no longer any render's own pixels.
  latest_.overpainted = true;
  update();
}

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

void MainWindow::buildControls() {
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

  const Field order[] = {Field::Three, Field::Two, Field::One, Field::Five, Field::Four};
  for (std::size_t k = 0; k < fieldSpecs().size(); ++k) {
    const FieldSpec& layout = fieldSpecs()[k];
    auto* edit = new QLineEdit(QString::fromUtf8(layout.initialText), this);
    edit->setObjectName(layout.name);
    edit->setGeometry(layout.left, layout.top, layout.width, layout.height);
    edit->setFont(fontFor(layout.font));
    edit->setToolTip(layout.tooltip);
    edit->setTextMargins(0, 0, 0, 0);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(layout.background));
    p.setColor(QPalette::Text, QColor::fromRgb(layout.text));
    edit->setPalette(p);
    edit->setProperty("tabPosition", layout.tab);
    fields_[static_cast<std::size_t>(order[k])] = edit;
  }
  for (QLineEdit* edit : fields_) edit->installEventFilter(this);
}

void MainWindow::connectHandlers() {
  for (int k = 0; k < kPatternButtons; ++k)
    connect(patternButtons_[static_cast<std::size_t>(k)], &QPushButton::clicked, this,
            [this, k] { CMD_Click(k); });
  const std::map<QString, std::function<void()>> buttons{
      {"cmdstop", [this] { cmdstop_Click(); }},
      {"Command3", [this] { Command3_Click(); }},
      {"cmd1", [this] { cmd1_Click(); }},
      {"cmdb", [this] { cmdb_Click(); }},
      {"Command4", [this] { Command4_Click(); }},
      {"cmdXX(0)", [this] { cmdXX_Click(0); }},
      {"cmdXX(1)", [this] { cmdXX_Click(1); }},
      {"verty(0)", [this] { verty_Click(0); }},
      {"verty(1)", [this] { verty_Click(1); }},
      {"horz(0)", [this] { horz_Click(0); }},
      {"horz(1)", [this] { horz_Click(1); }},
      {"cmdblue(0)", [this] { cmdblue_Click(0); }},
      {"cmdblue(1)", [this] { cmdblue_Click(1); }},
      {"cmdblue(2)", [this] { cmdblue_Click(2); }},
      {"cmdblue(3)", [this] { cmdblue_Click(3); }},
      {"Command1", [this] { Command1_Click(); }},
  };
  for (const auto& [name, handler] : buttons)
    connect(findChild<QPushButton*>(name), &QPushButton::clicked, this, handler);
  const std::map<QString, std::function<void()>> labelClicks{
      {"Label8", [this] { Label8_Click(); }}, {"Label17", [this] { Label17_Click(); }},
      {"Label1", [this] { Label1_Click(); }}, {"Label2", [this] { Label2_Click(); }},
      {"Label4", [this] { Label4_Click(); }}, {"Label7", [this] { Label7_Click(); }},
  };
  for (const auto& [name, handler] : labelClicks)
    connect(findChild<ClickLabel*>(name), &ClickLabel::clicked, this, handler);
  connect(exitMark_, &ClickLabel::mouseMoved, this, &MainWindow::Label1_MouseMove);
  connect(leftExitMark_, &ClickLabel::mouseMoved, this, &MainWindow::Label4_MouseMove);
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

// --- Painting -----------------------------------------------------------------

void MainWindow::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QPoint scrolled = scroller_->offset();
  QRect area = event->rect();
  if (devicePixelRatioF() != canvasDensity_) {
    // Scaled to a fractional ratio: filtered, from a margin wide enough that
    // the filter's edges fall outside the area repainted.
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    area = area.adjusted(-2, -2, 2, 2) & QRect(-scrolled, canvas_.deviceIndependentSize().toSize());
  }
  painter.drawImage(area, canvas_,
                    QRect((area.topLeft() + scrolled) * canvasDensity_, area.size() * canvasDensity_));
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  growCanvas(size());
  if (scroller_) scroller_->fit();
  QWidget::resizeEvent(event);
}

// --- The render host ------------------------------------------------------------

std::string MainWindow::fieldText(Field which) { return field(which)->text().toStdString(); }

// Columns and rows count picture pixels, the pixel limit device pixels: every
// size the window paints on a plain screen it paints at any density.
PictureLimits MainWindow::pictureLimits() const {
  const auto density = static_cast<std::size_t>(canvasDensity_);
  return {kMaxPictureSide, kMaxPictureSide, kMaxPictureSide * kMaxPictureSide * density * density};
}

void MainWindow::plot(int x, int y, Colour colour) {
  if (x < 0 || y < 0 || x >= canvas_.width() || y >= canvas_.height()) return;
  reinterpret_cast<QRgb*>(canvas_.scanLine(y))[x] = qRgb(redOf(colour), greenOf(colour), blueOf(colour));
}

bool MainWindow::beginPicture(std::size_t columns, std::size_t rows) {
  // The render beginning is the one pressed last: nothing has yielded since.
  // Until it paints, what Save and Copy take stays the picture shown.
  if (columns == 0 || rows == 0) return true;
  latest_ = starting_;
  latest_.picture = QRect(static_cast<int>(kPictureLeft) + 1, static_cast<int>(kPictureTop) + 1,
                          static_cast<int>(columns), static_cast<int>(rows));
  scroller_->include(latest_.picture);
  return true;
}

void MainWindow::columnPainted(int x, int yTop, int yBottom) {
  const QRect column(x, yTop, 1, yBottom - yTop + 1);
  update(column.translated(-scroller_->offset()));
  // An outer render resuming paints over the most recent picture.
  if (activeRenders_.back() != latest_.serial && latest_.picture.intersects(column))
    latest_.overpainted = true;
}

void MainWindow::yield() {
  if (onYield) onYield(renderDepth_);
  QCoreApplication::processEvents();
}

// --- Pattern selection and halt -------------------------------------------------------

void MainWindow::CMD_Click(int index) {
  if (renderDepth_ >= kMaxRenderDepth || exiting_) {
    services_.beep();
    return;
  }
  halt_.clear();
  for (ColourButton* button : patternButtons_) button->setBackground(QColor::fromRgb(kNeutralButton));
  patternButtons_[static_cast<std::size_t>(index)]->setBackground(linkButton_->background());
  for (ColourButton* button : patternButtons_) button->repaint();
  const PatternEntry* pattern = patternAt(index);
  if (!pattern) return;
  if (renderDepth_ == 0) adoptScreenDensity();
  const int serial = ++renderSerial_;
  starting_ = RenderRecord{};
  starting_.serial = serial;
  starting_.pattern = index;
  starting_.fields = FieldTexts{fieldText(Field::One), fieldText(Field::Two), fieldText(Field::Three),
                                fieldText(Field::Four), fieldText(Field::Five)};
  const std::string sizeText = starting_.fields.size;
  explorer_->renderStarted(index, starting_.fields);
  activeRenders_.push_back(serial);
  ++renderDepth_;
  const RenderOutcome outcome = pattern->render(*this);
  --renderDepth_;
  activeRenders_.pop_back();
  if (latest_.serial == serial) latest_.complete = outcome.end == RenderEnd::Completed;
  if (outcome.end == RenderEnd::Faulted) reportRenderFault(pattern->caption, outcome, sizeText);
  if (renderDepth_ == 0) explorer_->rendersReturned();
}

void MainWindow::cmdstop_Click() { halt_ = "p"; }

void MainWindow::reportRenderFault(const char* caption, const RenderOutcome& outcome,
                                   const std::string& sizeText) {
  QString text = QString::fromUtf8(faultMessage(outcome.fault));
  if (outcome.fault == Fault::PictureTooLarge)
    text += QString(" (size %1; the window paints at most %2 x %2 pixels)")
                .arg(QString::fromStdString(sizeText))
                .arg(kMaxPictureSide);
  if (outcome.faultInSweep)
    text += QString("\n\nThe %1 picture stopped at pixel (%2, %3).")
                .arg(caption)
                .arg(161 + outcome.faultColumn / static_cast<std::size_t>(canvasDensity_))
                .arg(51 + outcome.faultRow / static_cast<std::size_t>(canvasDensity_));
  else
    text += QString("\n\nThe %1 picture could not start.").arg(caption);
  services_.showCritical(this, kProgramTitle, text);
}

// --- View parameters -------------------------------------------------------------

void MainWindow::reportOverflow() {
  services_.showCritical(this, kProgramTitle, faultMessage(Fault::Overflow));
}

void MainWindow::rewriteField(Field which, const std::function<double(double)>& compute) {
  double value = 0;
  try {
    value = val(fieldText(which));
  } catch (const ArithmeticFault&) {
    reportOverflow();
    return;
  }
  const double result = compute(value);
  if (!std::isfinite(result)) {
    reportOverflow();
    return;
  }
  field(which)->setText(QString::fromStdString(numberText(result)));
}

namespace {
double doubled(double v) { return v + v; }
double halved(double v) { return v / 2; }
double panForward(double v) { return v + 250; }
double panBack(double v) { return v - 250; }
}  // namespace

void MainWindow::cmd1_Click() { field(Field::Three)->setText("300"); }

void MainWindow::cmdb_Click() {
  field(Field::Four)->setText("0.2");
  field(Field::Three)->setText("500");
  field(Field::One)->setText("-250");
  field(Field::Two)->setText("-250");
}

void MainWindow::Command4_Click() {
  field(Field::Three)->setText("768");
  field(Field::Four)->setText("0.15");
}

void MainWindow::horz_Click(int index) { rewriteField(Field::One, index == 0 ? panForward : panBack); }
void MainWindow::verty_Click(int index) { rewriteField(Field::Two, index == 0 ? panForward : panBack); }
void MainWindow::cmdXX_Click(int index) { rewriteField(Field::Four, index == 0 ? doubled : halved); }
void MainWindow::Label8_Click() { rewriteField(Field::Four, doubled); }
void MainWindow::Label17_Click() { rewriteField(Field::Four, halved); }

void MainWindow::cmdblue_Click(int index) {
  rewriteField(index < 2 ? Field::Two : Field::One, index % 2 == 0 ? doubled : halved);
}

void MainWindow::Command3_Click() {
  halt_ = "p";
  field(Field::One)->setText("1");
  field(Field::Two)->setText("1");
  field(Field::Three)->setText("100");
  field(Field::Four)->setText("1");
  field(Field::Five)->setText("150");
}

void MainWindow::TextThree_LostFocus() {
  bool inRange = false;
  try {
    const double size = val(fieldText(Field::Three));
    inRange = size >= 1 && size <= 1024;
  } catch (const ArithmeticFault&) {
    // Beyond double precision is beyond 1024 too.
  }
  if (!inRange) field(Field::Three)->setText("100");
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const bool isField = std::find(fields_.begin(), fields_.end(), watched) != fields_.end();
  // Ctrl+C in a field copies its selection; without one it copies the picture.
  if (isField && event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy) &&
      !static_cast<QLineEdit*>(watched)->hasSelectedText())
    return true;
  // A picture file dropped on a field opens, as anywhere on the window.
  if (isField && (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
                  event->type() == QEvent::Drop)) {
    auto* drop = static_cast<QDropEvent*>(event);
    if (drop->mimeData()->hasUrls()) {
      if (event->type() == QEvent::Drop)
        dropEvent(drop);
      else
        acceptPictureDrag(drop);
      return true;
    }
  }
  if (watched == field(Field::Three) && event->type() == QEvent::FocusOut) {
    // Only a move to another control of this window counts, not a switch of window.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
      TextThree_LostFocus();
  }
  return QWidget::eventFilter(watched, event);
}

// --- Decorations -------------------------------------------------------------------

bool MainWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowActivate) Form_Activate();
  return QWidget::event(event);
}

void MainWindow::Form_Activate() {
  savedExitColour_ = exitMark_->textColour();
  exitMark_->setTextColour(kExitMarkActive);
}

void MainWindow::Timer1_Timer() {
  leftExitMark_->setTextColour(kLeftMarkRest);
  exitMark_->setTextColour(savedExitColour_);
}

void MainWindow::Label1_MouseMove() { exitMark_->setTextColour(kExitMarkHover); }
void MainWindow::Label4_MouseMove() { leftExitMark_->setTextColour(kLeftMarkHover); }

void MainWindow::exitNow() {
  // Every render level returns at its next yield without painting further; a
  // save in progress stops and leaves no file.
  exiting_ = true;
  saveJob_.cancel();
  timer_.stop();
  hide();
  services_.exitProgram();
}

// A render ends at once with the program; a save running is the user's to stop.
void MainWindow::exitClicked() {
  if (exiting_) return;
  const PictureSaveJob::Phase phase = saveJob_.phase();
  if (phase != PictureSaveJob::Phase::Rendering && phase != PictureSaveJob::Phase::Writing) {
    exitNow();
    return;
  }
  services_.askToStopSave(this, "A picture is still being saved. Stop saving it and end the program?",
                          [this] { exitNow(); });
}

void MainWindow::Label1_Click() { exitClicked(); }
void MainWindow::Label2_Click() { exitClicked(); }
void MainWindow::Label4_Click() { exitClicked(); }
void MainWindow::Label7_Click() { showMinimized(); }

void MainWindow::Command1_Click() {
  const QString address = QString::fromUtf8(kMakerAddress);
  if (!services_.startBrowser(address))
    services_.showCritical(this, "Cannot find Browser:", noBrowserMessage(address));
}

// --- Keeping pictures ------------------------------------------------------------------

namespace {

// The one local file a drag carries, or nothing.
QString droppedFile(const QMimeData* data) {
  const QList<QUrl> urls = data->urls();
  return urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
}

const char* const kSaveTitle = "Save picture";

}  // namespace

void MainWindow::addKeepingActions() {
  const auto add = [this](const char* text, QKeySequence::StandardKey key, void (MainWindow::*slot)()) {
    auto* action = new QAction(text, this);
    action->setShortcut(key);
    action->setShortcutContext(Qt::WindowShortcut);
    connect(action, &QAction::triggered, this, slot);
    addAction(action);
    return action;
  };
  saveAction_ = add("Save picture…", QKeySequence::Save, &MainWindow::savePicture);
  copyAction_ = add("Copy picture", QKeySequence::Copy, &MainWindow::copyPicture);
  openAction_ = add("Open picture…", QKeySequence::Open, &MainWindow::choosePictureToOpen);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addActions({saveAction_, copyAction_, openAction_});
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

void MainWindow::acceptPictureDrag(QDropEvent* event) {
  if (!droppedFile(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) { acceptPictureDrag(event); }

void MainWindow::dropEvent(QDropEvent* event) {
  const QString path = droppedFile(event->mimeData());
  if (path.isEmpty()) return;
  event->acceptProposedAction();
  // Opened after the drop has ended, so that the drag source is not kept
  // waiting through the render.
  QTimer::singleShot(0, this, [this, path] { openPicture(path); });
}

QImage MainWindow::shownPicture() const {
  if (latest_.picture.isEmpty()) return {};
  const QRect area(latest_.picture.topLeft() * canvasDensity_, latest_.picture.size() * canvasDensity_);
  QImage picture = canvas_.copy(area);
  picture.setDevicePixelRatio(1);
  return picture;
}

picture::PictureParameters MainWindow::shownParameters() const {
  picture::PictureParameters p;
  p.version = PLORVEX_VERSION;
  p.pattern = latest_.pattern >= 0 ? patternAt(latest_.pattern)->caption : "";
  p.fields = latest_.fields;
  p.density = canvasDensity_;
  p.smooth = 1;
  p.complete = latest_.complete && !latest_.overpainted;
  return p;
}

void MainWindow::copyPicture() {
  const QImage picture = shownPicture();
  if (picture.isNull()) {
    services_.beep();
    return;
  }
  QGuiApplication::clipboard()->setMimeData(pictureMimeData(picture, shownParameters()));
}

void MainWindow::savePicture() {
  if (exiting_) return;
  if (saveJob_.busy()) {
    services_.showCritical(this, kSaveTitle, "A picture is still being saved; wait for it or cancel it first.");
    return;
  }
  if (latest_.picture.isEmpty()) {
    services_.showCritical(this, kSaveTitle, "There is no picture to save yet: press a pattern button first.");
    return;
  }
  const QString name = QString("%1.png").arg(patternAt(latest_.pattern)->caption);
  const SaveChoice offered{QDir(pictureFolder_).filePath(name), 1, false, latest_.picture.size(), canvasDensity_};
  services_.chooseSave(this, offered, pictureFolder_,
                       [this](const SaveChoice& choice) { startSave(choice); });
}

void MainWindow::startSave(const SaveChoice& choice) {
  if (exiting_ || saveJob_.busy()) return;
  if (const QString problem = saveFormatProblem(choice.path); !problem.isEmpty()) {
    services_.showCritical(this, kSaveTitle, problem);
    return;
  }
  PictureSaveJob::Request request;
  request.path = choice.path;
  request.format = *picture::formatFromPath(choice.path);
  request.parameters = shownParameters();
  if (choice.scale == 1 && !choice.smooth) {
    // The pixels the window shows, as they are.
    request.image = shownPicture();
  } else {
    // The same view again, larger or smoothed, from what the render read.
    request.parameters.density = savedDensity(canvasDensity_, choice.scale);
    request.parameters.smooth = choice.smooth ? kSmoothEdges : 1;
    request.parameters.complete = true;
    request.pattern = patternAt(latest_.pattern);
    request.pool = pool_.workers() > 0 ? &pool_ : nullptr;
  }
  pictureFolder_ = QFileInfo(choice.path).absolutePath();
  saveJob_.start(std::move(request));
  saveProgress_ = openJobProgress(this, kSaveTitle, {saveAction_, copyAction_, openAction_}, saveJob_);
  saveTimer_.start();
}

void MainWindow::followSave() {
  if (!followJobProgress(saveJob_, saveProgress_)) return;
  saveTimer_.stop();
  const std::string failure = saveJob_.finish();
  if (!failure.empty() && failure != picture::kWriteCancelled && !exiting_)
    services_.showCritical(this, kSaveTitle,
                           QString("The picture was not saved: %1.").arg(QString::fromStdString(failure)));
}

void MainWindow::choosePictureToOpen() {
  if (exiting_) return;
  // Opened once the dialog has gone, not inside its signal.
  services_.chooseOpen(this, pictureFolder_, [this](const QString& path) {
    QTimer::singleShot(0, this, [this, path] { openPicture(path); });
  });
}

void MainWindow::openPicture(const QString& path) {
  if (exiting_) return;
  const picture::ReadResult read = picture::readParameters(path);
  if (!read.parameters) {
    services_.showCritical(this, "Open picture",
                           QString("This picture cannot be opened: %1.").arg(QString::fromStdString(read.error)));
    return;
  }
  const picture::PictureParameters& p = *read.parameters;
  const PatternEntry* pattern = findPattern(p.pattern);
  pictureFolder_ = QFileInfo(path).absolutePath();
  for (const auto& [which, text] : {std::pair{Field::One, &p.fields.x}, {Field::Two, &p.fields.y},
                                    {Field::Three, &p.fields.size}, {Field::Four, &p.fields.zoom},
                                    {Field::Five, &p.fields.brightness}})
    field(which)->setText(QString::fromStdString(*text));
  // As a click does: the highlight, the halt flag and nesting as usual.
  patternButtons_[static_cast<std::size_t>(pattern->index)]->click();
}

}  // namespace plorvex::app
