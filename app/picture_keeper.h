// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeping the shown picture: Ctrl+S saves it (off the window's thread when
// it is painted again larger or smoothed), Ctrl+C copies it, Ctrl+O opens a
// saved picture, and so does a picture file dropped onto the window.

#include <QObject>
#include <QString>

#include "keeping.h"
#include "parameters.h"
#include "services.h"

class QAction;
class QDropEvent;
class QMenu;
class QWidget;

namespace plorvex::app {

class Canvas;
class FieldPanel;
class WindowRenderer;

class PictureKeeper : public QObject {
  Q_OBJECT
 public:
  PictureKeeper(QWidget& window, const WindowServices& services, const Canvas& canvas, WindowRenderer& renderer,
                FieldPanel& fields);

  void save();
  void copy();
  void chooseToOpen();
  // Sets the five fields to a saved picture's texts and presses its pattern's
  // button; a file that cannot be opened is reported and changes nothing.
  void open(const QString& path);
  // Stops a save in progress; it leaves no file.
  void stopSaving() { saveJob_.cancel(); }
  bool saving() const;

  // The most recent render's picture as the window shows it now; null if no
  // render has painted a picture yet.
  QImage shownPicture() const;
  // The parameters a save of the shown picture carries.
  picture::PictureParameters shownParameters() const;
  const PictureSaveJob& saveJob() const { return saveJob_; }
  void addMenuEntries(QMenu& menu);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void start(const SaveChoice& choice);
  void saved(const std::string& failure);
  QAction* addAction(const char* text, QKeySequence::StandardKey key, void (PictureKeeper::*slot)());
  bool drop(QDropEvent* event, bool dropped);

  // Where the save and open dialogs begin: the folder of the last picture kept.
  QString folder_;
  QWidget& window_;
  const WindowServices& services_;
  const Canvas& canvas_;
  WindowRenderer& renderer_;
  FieldPanel& fields_;
  // Ctrl+S, Ctrl+C and Ctrl+O, in the context menu and in a save's progress dialog.
  QAction* saveAction_ = nullptr;
  QAction* copyAction_ = nullptr;
  QAction* openAction_ = nullptr;
  JobFollower follower_;
  // Declared last: a save still running is cancelled and joined first.
  PictureSaveJob saveJob_;
};

}  // namespace plorvex::app
