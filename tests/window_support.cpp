// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_support.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

namespace plorvex::app::testing_support {

WindowServices RecordedServices::services() {
  WindowServices s;
  s.showCritical = [this](QWidget*, const QString& title, const QString& text) {
    messageTitles << title;
    messageTexts << text;
  };
  s.startBrowser = [this](const QString& address) {
    browserStarts << address;
    return browserWorks;
  };
  s.askToStopSave = [this](QWidget*, const QString& question, std::function<void()> stop) {
    stopSaveQuestions << question;
    if (stopSave) stop();
  };
  s.exitProgram = [this] { ++exits; };
  s.beep = [this] { ++beeps; };
  s.chooseSave = [this](QWidget*, const SaveChoice& proposed, const QString&,
                        std::function<void(const SaveChoice&)> chosen) {
    ++saveDialogs;
    saveOffered = proposed;
    if (saveAnswer) chosen(*saveAnswer);
  };
  s.chooseOpen = [this](QWidget*, const QString&, std::function<void(const QString&)> chosen) {
    if (!openAnswer.isEmpty()) chosen(openAnswer);
  };
  return s;
}

TestWindow::TestWindow() : window(std::make_unique<MainWindow>(recorded.services())) {
  window->showMaximized();
  window->activateWindow();
  QCoreApplication::processEvents();
}

QLineEdit* TestWindow::field(const char* name) const { return window->findChild<QLineEdit*>(name); }

QWidget* TestWindow::control(const QString& name) const { return window->findChild<QWidget*>(name); }

QWidget* TestWindow::pattern(int index) const { return control(QString("CMD(%1)").arg(index)); }

void TestWindow::setFields(const char* x, const char* y, const char* size, const char* zoom,
                           const char* brightness) {
  field("TextOne")->setText(x);
  field("TextTwo")->setText(y);
  field("TextThree")->setText(size);
  field("TextFour")->setText(zoom);
  field("Textfive")->setText(brightness);
}

int TestWindow::paintedColumns(int y) const {
  int n = 0;
  while (canvasPixel(161 + n, y) != qRgb(64, 64, 64)) ++n;
  return n;
}

void postClick(QWidget* widget) {
  const QPointF centre = QRectF(widget->rect()).center();
  const QPointF global = widget->mapToGlobal(centre);
  QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonPress, centre, global,
                                                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
  QCoreApplication::postEvent(widget, new QMouseEvent(QEvent::MouseButtonRelease, centre, global,
                                                      Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
}

void click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }

bool eventually(const std::function<bool()>& condition, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > milliseconds) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace plorvex::app::testing_support
