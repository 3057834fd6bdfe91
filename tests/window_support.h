// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers for driving the window as a user does: clicks posted into the event
// queue, so that handlers run inside a render's yield like real input.

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "catalogue.h"
#include "headless.h"
#include "main_window.h"

namespace plorvex::app::testing_support {

// Services that record instead of acting.
struct RecordedServices {
  QStringList messageTitles;
  QStringList messageTexts;
  QStringList browserStarts;
  bool browserWorks = true;
  int exits = 0;
  // The questions asked before a running save is stopped, and the answer.
  QStringList stopSaveQuestions;
  bool stopSave = false;
  int beeps = 0;
  // What the save and open dialogs answer (nothing: the user cancels).
  std::optional<SaveChoice> saveAnswer;
  QString openAnswer;
  int saveDialogs = 0;
  std::optional<SaveChoice> saveOffered;  // what the window proposed last
  WindowServices services();
};

// A window with recording services, shown maximised (offscreen).
struct TestWindow {
  RecordedServices recorded;
  std::unique_ptr<MainWindow> window;

  TestWindow();
  QLineEdit* field(const char* name) const;
  QWidget* control(const QString& name) const;
  QWidget* pattern(int index) const;
  void setFields(const char* x, const char* y, const char* size, const char* zoom,
                 const char* brightness);
  QRgb canvasPixel(int x, int y) const { return window->canvas().pixel(x, y); }
  // Columns painted from (161, y), stopping at the first unpainted pixel.
  int paintedColumns(int y = 51) const;
};

// Stands in for the desktop's browser (QDesktopServices::setUrlHandler).
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> opened;
 public slots:
  void open(const QUrl& url) { opened << url; }
};

// Posts a press and release at the widget's centre.
void postClick(QWidget* widget);
// Clicks at once (outside renders).
void click(QWidget* widget);
// Lets events run until the condition holds; false after the time given.
bool eventually(const std::function<bool()>& condition, int milliseconds = 10000);

}  // namespace plorvex::app::testing_support
