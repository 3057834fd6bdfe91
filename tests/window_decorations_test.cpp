// SPDX-License-Identifier: GPL-3.0-or-later
// Exit and minimise marks, hover colours, the one-second timer, the link button.

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <QTest>

#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

const QRgb kDesignBlue = qRgb(128, 128, 255);
const QRgb kActiveBlue = qRgb(0, 0, 255);
const QRgb kHoverBlue = qRgb(0, 128, 255);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kLightGrey = qRgb(192, 192, 192);
const QRgb kWhite = qRgb(255, 255, 255);

QRgb ink(const TestWindow& w, const char* label) {
  return w.window->findChild<QLabel*>(label)->palette().color(QPalette::WindowText).rgb();
}

void moveMouseOver(QWidget* widget) {
  const QPointF centre = QRectF(widget->rect()).center();
  QMouseEvent move(QEvent::MouseMove, centre, widget->mapToGlobal(centre), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &move);
}

void activate(MainWindow& window) {
  QEvent activation(QEvent::WindowActivate);
  QCoreApplication::sendEvent(&window, &activation);
}

TEST(Decorations, TheExitMarksFollowActivationHoverAndTheTimer) {
  TestWindow w;  // shown and activated, as at start-up
  EXPECT_EQ(ink(w, "Label1"), kActiveBlue);
  EXPECT_EQ(ink(w, "Label4"), kRed);
  w.window->restMarks();
  EXPECT_EQ(ink(w, "Label1"), kDesignBlue);
  EXPECT_EQ(ink(w, "Label4"), kLightGrey);
  w.window->restMarks();
  EXPECT_EQ(ink(w, "Label4"), kLightGrey);

  moveMouseOver(w.control("Label1"));
  EXPECT_EQ(ink(w, "Label1"), kHoverBlue);
  moveMouseOver(w.control("Label4"));
  EXPECT_EQ(ink(w, "Label4"), kWhite);
  w.window->restMarks();  // the mouse may stay; the tick takes the colours back
  EXPECT_EQ(ink(w, "Label1"), kDesignBlue);
  EXPECT_EQ(ink(w, "Label4"), kLightGrey);
}

TEST(Decorations, ActivationSavesWhateverColourTheExitMarkShows) {
  TestWindow w;
  w.window->restMarks();
  moveMouseOver(w.control("Label1"));
  activate(*w.window);  // saves the hover colour
  EXPECT_EQ(ink(w, "Label1"), kActiveBlue);
  w.window->restMarks();
  EXPECT_EQ(ink(w, "Label1"), kHoverBlue);
  w.window->restMarks();
  EXPECT_EQ(ink(w, "Label1"), kHoverBlue);

  TestWindow again;
  activate(*again.window);  // again before any tick: the active blue itself is saved
  again.window->restMarks();
  EXPECT_EQ(ink(again, "Label1"), kActiveBlue);
}

TEST(Decorations, TheTimerTicksDuringARender) {
  TestWindow w;
  w.setFields("1", "1", "300", "1", "150");
  QElapsedTimer clock;
  clock.start();
  bool ticked = false;
  w.window->renderer().onYield = [&](int) {
    ticked = ink(w, "Label4") == kLightGrey;
    if (ticked) postClick(w.control("cmdstop"));
  };
  while (!ticked && clock.elapsed() < 10000) click(w.pattern(0));
  EXPECT_TRUE(ticked) << "no tick within 10 s of rendering";
}

TEST(Decorations, AnExitClickEndsTheProgramAtOnceEvenInARender) {
  for (const char* mark : {"Label1", "Label2", "Label4"}) {
    TestWindow w;
    w.setFields("1", "1", "40", "1", "150");
    QImage atExit;
    int yields = 0;
    w.window->renderer().onYield = [&](int) {
      if (++yields == 3) {
        QTest::mousePress(w.control(mark), Qt::LeftButton);
        atExit = w.window->canvas().copy();
      }
    };
    click(w.pattern(0));
    EXPECT_EQ(w.recorded.exits, 1) << mark;
    EXPECT_FALSE(w.window->isVisible()) << mark;
    EXPECT_EQ(yields, 3) << mark;
    EXPECT_EQ(w.paintedColumns(), 3) << mark;
    EXPECT_EQ(w.window->canvas(), atExit) << mark << ": painted after the exit click";
    EXPECT_EQ(w.window->renderDepth(), 0);
  }
}

// A save is the user's work: while one runs, an exit mark asks first. Going on
// keeps the program and the save; stopping ends both and leaves no file.
TEST(Decorations, AnExitClickDuringASaveAsksWhetherToStopIt) {
  QTemporaryDir dir;
  const auto saveEnds = [](TestWindow& w) {
    QElapsedTimer clock;
    clock.start();
    while (w.window->saveJob().busy() && clock.elapsed() < 60000) QCoreApplication::processEvents();
    return !w.window->saveJob().busy();
  };
  for (const char* mark : {"Label1", "Label2", "Label4"})
    for (const bool stop : {false, true}) {
      SCOPED_TRACE(std::string(mark) + (stop ? ": stop" : ": go on"));
      TestWindow w;
      w.setFields("1", "1", "150", "1", "150");
      click(w.pattern(0));
      const QString path = dir.filePath(QString("%1-%2.png").arg(mark).arg(stop));
      w.recorded.saveAnswer = SaveChoice{path, 2, true};  // 300 x 300 pixels of 16 samples
      w.recorded.stopSave = stop;
      QTest::keyClick(w.window.get(), Qt::Key_S, Qt::ControlModifier);
      ASSERT_TRUE(w.window->saveJob().busy());
      QTest::mousePress(w.control(mark), Qt::LeftButton);
      EXPECT_EQ(w.recorded.stopSaveQuestions.size(), 1);
      EXPECT_EQ(w.recorded.exits, stop ? 1 : 0);
      EXPECT_EQ(w.window->isVisible(), !stop);
      ASSERT_TRUE(saveEnds(w));
      EXPECT_EQ(QFile::exists(path), !stop);
      if (stop) continue;
      // With the save done, the mark ends the program at once.
      QTest::mousePress(w.control(mark), Qt::LeftButton);
      EXPECT_EQ(w.recorded.stopSaveQuestions.size(), 1);
      EXPECT_EQ(w.recorded.exits, 1);
    }
}

// The question itself: going on is the default; only the stop button stops.
TEST(Decorations, TheQuestionBeforeStoppingASaveDefaultsToGoingOn) {
  for (const bool pressStop : {false, true}) {
    SCOPED_TRACE(pressStop ? "stop" : "go on");
    QWidget parent;
    parent.show();
    int stops = 0;
    defaultServices().askToStopSave(&parent, "Stop it?", [&] { ++stops; });
    auto* box = parent.findChild<QMessageBox*>();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), "Stop it?");
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), "Go on saving");
    for (QAbstractButton* button : box->buttons())
      if ((button == box->defaultButton()) != pressStop) button->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(stops, pressStop ? 1 : 0);
  }
}

TEST(Decorations, AnExitClickInANestedRenderEndsEveryLevel) {
  TestWindow w;
  w.setFields("1", "1", "40", "1", "150");
  std::map<int, int> yields;
  w.window->renderer().onYield = [&](int depth) {
    const int n = ++yields[depth];
    if (depth == 1 && n == 3) postClick(w.pattern(1));
    if (depth == 2 && n == 2) postClick(w.control("Label2"));
  };
  click(w.pattern(0));
  EXPECT_EQ(w.recorded.exits, 1);
  EXPECT_EQ(yields[1], 3);
  EXPECT_EQ(yields[2], 2);
  // Inner columns 1 and 2 over the outer ones, the outer third, nothing else.
  EXPECT_EQ(w.paintedColumns(), 3);
  // A press that arrives after the exit starts nothing.
  click(w.pattern(0));
  EXPECT_EQ(w.paintedColumns(), 3);
}

TEST(Decorations, TheMinimiseMarkMinimisesAndThePictureSurvives) {
  TestWindow w;
  w.setFields("1", "1", "20", "1", "150");
  click(w.pattern(0));
  const QImage before = w.window->canvas().copy();
  QTest::mousePress(w.control("Label7"), Qt::LeftButton);
  EXPECT_TRUE(w.window->windowState() & Qt::WindowMinimized);
  w.window->showMaximized();
  QCoreApplication::processEvents();
  EXPECT_EQ(w.window->canvas(), before);
  EXPECT_EQ(w.recorded.exits, 0);
}

TEST(Decorations, TheLinkButtonStartsTheBrowserOnTheMakersAddress) {
  TestWindow w;
  click(w.control("Command1"));
  EXPECT_EQ(w.recorded.browserStarts, QStringList{kMakerAddress});
  EXPECT_EQ(qobject_cast<QPushButton*>(w.control("Command1"))->text(), kMakerAddress);
  EXPECT_TRUE(w.recorded.messageTitles.isEmpty());
}

#ifndef Q_OS_WIN
// The button's own service opens the page with the desktop's default browser
// (here a handler that stands in for it).
TEST(Decorations, TheBrowserIsTheDesktopsDefaultOne) {
  UrlCatcher browser;
  QDesktopServices::setUrlHandler("https", &browser, "open");
  const bool started = defaultServices().startBrowser(kMakerAddress);
  QDesktopServices::unsetUrlHandler("https");
  EXPECT_TRUE(started);
  EXPECT_EQ(browser.opened, QList<QUrl>{QUrl(kMakerAddress)});
}
#endif

TEST(Decorations, WithoutABrowserTheStopBoxExplainsAndTheProgramGoesOn) {
  RecordedServices recorded;
  recorded.browserWorks = false;
  WindowServices services = recorded.services();
  services.showCritical = defaultServices().showCritical;  // the real modal box
  MainWindow window(services);
  window.show();
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int buttons = 0;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = static_cast<int>(box->buttons().size());
    box->button(QMessageBox::Ok)->click();
  });
  click(window.findChild<QWidget*>("Command1"));
  EXPECT_EQ(recorded.browserStarts.size(), 1);
  EXPECT_EQ(title, "Cannot find Browser:");
#ifdef Q_OS_WIN
  EXPECT_EQ(text, "This function requires internet explorer (iexplore.exe) to be in the directory "
                  "c:\\Program Files\\  ");
#else
  // What this system lacks, not a Windows path.
  for (const char* named : {"xdg-open", "xdg-utils", "BROWSER", kMakerAddress})
    EXPECT_TRUE(text.contains(named)) << named << " not in: " << text.toStdString();
  EXPECT_FALSE(text.contains("iexplore")) << text.toStdString();
#endif
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, 1);
  EXPECT_TRUE(window.isVisible());
}

TEST(Decorations, TheWindowHasASixteenColourIcon) {
  TestWindow w;
  const QImage icon = w.window->windowIcon().pixmap(32, 32).toImage();
  ASSERT_EQ(icon.size(), QSize(32, 32));
  QSet<QRgb> colours;
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 32; ++x) colours.insert(icon.pixel(x, y));
  EXPECT_LE(colours.size(), 16);
  EXPECT_GE(colours.size(), 4);
}

}  // namespace
}  // namespace plorvex::app::testing_support
