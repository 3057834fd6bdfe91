// SPDX-License-Identifier: GPL-3.0-or-later
// Plorvex Picture Maker: one maximised window that paints abstract patterns.

#include <QApplication>

#include "controls.h"
#include "main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  plorvex::app::registerFontSubstitutes();
  plorvex::app::MainWindow window;
  window.showMaximized();
  return QApplication::exec();
}
