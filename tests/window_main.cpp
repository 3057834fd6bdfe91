// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the window tests inside one QApplication.

#include <gtest/gtest.h>

#include <QApplication>

#include "controls.h"

int main(int argc, char** argv) {
  // Headless unless told otherwise (a run under a real X server sets it).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  plorvex::app::registerFontSubstitutes();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
