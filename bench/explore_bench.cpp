// SPDX-License-Identifier: GPL-3.0-or-later
// The hand's gestures in the window (offscreen), size 768 (1024 x 768), with
// the window's column workers: per pattern, a 16-pixel drag step to the
// exact picture (median and 95th percentile); a wheel notch to its preview on
// the canvas; and a storm of 50 notches during a render, from the last notch
// to the finished picture, against one plain render.
//
//   build-bench/bench/plorvex_explore_bench [STEPS]
//
// prints a Markdown table. A pattern that carries a value has no exact step:
// its step moves the old pixels, and the release renders it whole.

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QWheelEvent>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "catalogue.h"
#include "controls.h"
#include "explorer.h"
#include "main_window.h"

namespace {

using plorvex::app::MainWindow;

double millis(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5)];
}

void settle() {
  for (int k = 0; k < 5; ++k) QCoreApplication::processEvents();
}

void sendMouse(MainWindow& window, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
  QMouseEvent event(type, QPointF(at), window.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&window, &event);
}

QWheelEvent* notch(MainWindow& window, QPoint at, int delta) {
  return new QWheelEvent(QPointF(at), window.mapToGlobal(QPointF(at)), QPoint(), QPoint(0, delta), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
}

struct Window {
  plorvex::app::WindowServices services = plorvex::app::defaultServices();
  MainWindow window{services};
  Window() {
    // The whole layout on screen: no scroll bars, so the wheel zooms.
    window.showNormal();
    window.resize(1280, 1024);
    settle();
  }
  void startView() {
    const char* texts[][2] = {{"TextOne", "1"}, {"TextTwo", "1"}, {"TextThree", "768"}, {"TextFour", "0.15"},
                              {"Textfive", "150"}};
    for (const auto& [name, text] : texts) window.findChild<QLineEdit*>(name)->setText(text);
  }
  QPushButton* pattern(int k) { return window.findChild<QPushButton*>(QString("CMD(%1)").arg(k)); }
};

// Drag steps of 16 pixels, right then back left, each timed to the exact
// picture on the canvas (or, with a carried value, to the pixels moved).
std::vector<double> dragSteps(Window& w, int steps) {
  std::vector<double> times;
  QPoint at(600, 400);
  sendMouse(w.window, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
  for (int k = 0; k < steps; ++k) {
    at.rx() += k < steps / 2 ? 16 : -16;
    QElapsedTimer timer;
    timer.start();
    sendMouse(w.window, QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton);
    times.push_back(millis(timer));
  }
  sendMouse(w.window, QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
  settle();
  return times;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  plorvex::app::registerFontSubstitutes();
  const int steps = argc > 1 ? std::max(4, std::atoi(argv[1])) : 40;
  Window w;
  std::printf("| pattern | plain render ms | drag step median ms | drag step p95 ms | step |\n|---|---|---|---|---|\n");
  for (const plorvex::PatternEntry& entry : plorvex::patternCatalogue()) {
    w.startView();
    QElapsedTimer timer;
    timer.start();
    w.pattern(entry.index)->click();
    const double plain = millis(timer);
    const std::vector<double> times = dragSteps(w, steps);
    std::printf("| %s | %.0f | %.2f | %.2f | %s |\n", entry.caption, plain, percentile(times, 0.5),
                percentile(times, 0.95), entry.moved ? "exact" : "pixels moved, rendered at the release");
    std::fflush(stdout);
  }

  // Wheel notches to their preview: in and out in turn, the renders they ask
  // for left until the end.
  w.startView();
  w.pattern(0)->click();
  std::vector<double> previews;
  for (int k = 0; k < steps; ++k) {
    std::unique_ptr<QWheelEvent> event(notch(w.window, {600, 400}, k % 2 ? -120 : 120));
    QElapsedTimer timer;
    timer.start();
    QCoreApplication::sendEvent(&w.window, event.get());
    previews.push_back(millis(timer));
  }
  settle();
  std::printf("\nwheel notch to preview (atlas): median %.2f ms, p95 %.2f ms\n", percentile(previews, 0.5),
              percentile(previews, 0.95));

  // A storm of 50 notches 100 ms into a render: from the last notch handled
  // to the finished picture, against one plain render.
  std::vector<double> ratios;
  for (int run = 0; run < 3; ++run) {
    w.startView();
    QElapsedTimer plainTimer;
    plainTimer.start();
    w.pattern(0)->click();
    const double plain = millis(plainTimer);
    w.startView();
    QElapsedTimer sinceLast;
    bool posted = false;
    QElapsedTimer renderTimer;
    renderTimer.start();
    w.window.renderer().onYield = [&](int) {
      if (posted || renderTimer.elapsed() < 100) return;
      posted = true;
      for (int k = 0; k < 50; ++k) QCoreApplication::sendEvent(&w.window, std::unique_ptr<QWheelEvent>(notch(w.window, {600 + k, 400}, k < 30 ? 120 : -120)).get());
      sinceLast.start();
    };
    w.pattern(0)->click();
    settle();
    const double finish = millis(sinceLast);
    w.window.renderer().onYield = nullptr;
    ratios.push_back(finish / plain);
    std::printf("storm %d: last notch to finished picture %.0f ms, plain render %.0f ms, ratio %.3f\n", run + 1,
                finish, plain, finish / plain);
  }
  std::printf("storm ratio median %.3f\n", percentile(ratios, 0.5));
  return 0;
}
