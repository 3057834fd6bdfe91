// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture_keeper.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QStandardPaths>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "canvas.h"
#include "catalogue.h"
#include "field_panel.h"
#include "picture.h"
#include "window_renderer.h"

namespace plorvex::app {
namespace {

const char* const kSaveTitle = "Save picture";

// The one local file a drag carries, or nothing.
QString droppedFile(const QMimeData* data) {
  const QList<QUrl> urls = data->urls();
  return urls.size() == 1 && urls.front().isLocalFile() ? urls.front().toLocalFile() : QString();
}

}  // namespace

PictureKeeper::PictureKeeper(QWidget& window, const WindowServices& services, const Canvas& canvas,
                             WindowRenderer& renderer, FieldPanel& fields)
    : window_(window),
      services_(services),
      canvas_(canvas),
      renderer_(renderer),
      fields_(fields),
      follower_(window, saveJob_, kSaveTitle, [this](const std::string& failure) { saved(failure); }) {
  saveAction_ = addAction("Save picture…", QKeySequence::Save, &PictureKeeper::save);
  copyAction_ = addAction("Copy picture", QKeySequence::Copy, &PictureKeeper::copy);
  openAction_ = addAction("Open picture…", QKeySequence::Open, &PictureKeeper::chooseToOpen);
  folder_ = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
  if (folder_.isEmpty() || !QFileInfo(folder_).isDir()) folder_ = QDir::homePath();
  window_.setAcceptDrops(true);
  window_.installEventFilter(this);
  for (QLineEdit* edit : fields_.edits()) edit->installEventFilter(this);
}

QAction* PictureKeeper::addAction(const char* text, QKeySequence::StandardKey key, void (PictureKeeper::*slot)()) {
  auto* action = new QAction(text, &window_);
  action->setShortcut(key);
  action->setShortcutContext(Qt::WindowShortcut);
  connect(action, &QAction::triggered, this, slot);
  window_.addAction(action);
  return action;
}

void PictureKeeper::addMenuEntries(QMenu& menu) { menu.addActions({saveAction_, copyAction_, openAction_}); }

bool PictureKeeper::saving() const {
  const PictureSaveJob::Phase phase = saveJob_.phase();
  return phase == PictureSaveJob::Phase::Rendering || phase == PictureSaveJob::Phase::Writing;
}

bool PictureKeeper::eventFilter(QObject* watched, QEvent* event) {
  const bool isField = watched != &window_;
  // Ctrl+C in a field copies its selection; without one it copies the picture.
  if (isField && event->type() == QEvent::ShortcutOverride &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy) &&
      !static_cast<QLineEdit*>(watched)->hasSelectedText())
    return true;
  // A picture file dropped on a field opens, as anywhere on the window.
  if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove)
    return drop(static_cast<QDropEvent*>(event), false);
  if (event->type() == QEvent::Drop) return drop(static_cast<QDropEvent*>(event), true);
  return false;
}

bool PictureKeeper::drop(QDropEvent* event, bool dropped) {
  if (!event->mimeData()->hasUrls()) return false;
  const QString path = droppedFile(event->mimeData());
  if (path.isEmpty()) return true;
  event->acceptProposedAction();
  // Opened after the drop has ended, so that the drag source is not kept
  // waiting through the render.
  if (dropped) QTimer::singleShot(0, this, [this, path] { open(path); });
  return true;
}

QImage PictureKeeper::shownPicture() const { return canvas_.shownPicture(); }

picture::PictureParameters PictureKeeper::shownParameters() const {
  const ShownPicture& shown = canvas_.shown();
  picture::PictureParameters p;
  p.version = PLORVEX_VERSION;
  p.pattern = shown.pattern >= 0 ? patternAt(shown.pattern)->caption : "";
  p.fields = shown.fields;
  p.density = canvas_.density();
  p.smooth = 1;
  p.complete = canvas_.whole();
  return p;
}

void PictureKeeper::copy() {
  const QImage picture = shownPicture();
  if (picture.isNull()) {
    services_.beep();
    return;
  }
  QGuiApplication::clipboard()->setMimeData(pictureMimeData(picture, shownParameters()));
}

void PictureKeeper::save() {
  if (renderer_.abandoned()) return;
  if (saveJob_.busy()) {
    services_.showCritical(&window_, kSaveTitle, "A picture is still being saved; wait for it or cancel it first.");
    return;
  }
  const ShownPicture& shown = canvas_.shown();
  if (shown.rect.isEmpty()) {
    services_.showCritical(&window_, kSaveTitle, "There is no picture to save yet: press a pattern button first.");
    return;
  }
  const QString name = QString("%1.png").arg(patternAt(shown.pattern)->caption);
  const SaveChoice offered{QDir(folder_).filePath(name), 1, false, shown.rect.size(), canvas_.density()};
  services_.chooseSave(&window_, offered, folder_, [this](const SaveChoice& choice) { start(choice); });
}

void PictureKeeper::start(const SaveChoice& answer) {
  if (renderer_.abandoned() || saveJob_.busy()) return;
  // Sizes are the shown picture's, whatever the answer carries.
  SaveChoice choice = answer;
  choice.plainSize = canvas_.shown().rect.size();
  choice.density = canvas_.density();
  QString problem = saveFormatProblem(choice.path);
  int density = 0;
  if (problem.isEmpty()) density = chosenDensity(choice, problem);
  if (!problem.isEmpty()) {
    services_.showCritical(&window_, kSaveTitle, problem);
    return;
  }
  PictureSaveJob::Request request;
  request.path = choice.path;
  request.format = *picture::formatFromPath(choice.path);
  request.parameters = shownParameters();
  if (density == canvas_.density() && !choice.smooth) {
    // The pixels the window shows, as they are.
    request.image = shownPicture();
  } else {
    // The same view again, larger or smoothed, from what the render read.
    request.parameters.density = density;
    request.parameters.smooth = choice.smooth ? kSmoothEdges : 1;
    request.parameters.complete = true;
    request.pattern = patternAt(canvas_.shown().pattern);
    request.pool = renderer_.columnPool();
  }
  folder_ = QFileInfo(choice.path).absolutePath();
  saveJob_.start(std::move(request));
  follower_.follow({saveAction_, copyAction_, openAction_});
}

void PictureKeeper::saved(const std::string& failure) {
  if (!failure.empty() && failure != picture::kWriteCancelled && !renderer_.abandoned())
    services_.showCritical(&window_, kSaveTitle,
                           QString("The picture was not saved: %1.").arg(QString::fromStdString(failure)));
}

void PictureKeeper::chooseToOpen() {
  if (renderer_.abandoned()) return;
  // Opened once the dialog has gone, not inside its signal.
  services_.chooseOpen(&window_, folder_, [this](const QString& path) {
    QTimer::singleShot(0, this, [this, path] { open(path); });
  });
}

void PictureKeeper::open(const QString& path) {
  if (renderer_.abandoned()) return;
  const picture::ReadResult read = picture::readParameters(path);
  if (!read.parameters) {
    services_.showCritical(&window_, "Open picture",
                           QString("This picture cannot be opened: %1.").arg(QString::fromStdString(read.error)));
    return;
  }
  const picture::PictureParameters& p = *read.parameters;
  folder_ = QFileInfo(path).absolutePath();
  fields_.setTexts(p.fields);
  // As a press does: the highlight, the halt flag and nesting as usual.
  renderer_.press(findPattern(p.pattern)->index);
}

}  // namespace plorvex::app
