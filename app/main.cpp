// SPDX-License-Identifier: GPL-3.0-or-later
// Plorvex Picture Maker: one maximised window that paints abstract patterns.
// `plorvex FILE.png` opens a picture saved by the program as the view that
// made it.

#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "controls.h"
#include "main_window.h"

namespace {

constexpr const char* kUsage = "usage: plorvex [--help] [--version] [FILE.png]\n";

void printHelp() {
  std::fputs(kUsage, stdout);
  std::fputs("\n"
             "Paints full-colour abstract patterns in one maximised window.\n"
             "\n"
             "  FILE.png       a picture saved by this program or by plorvex-render: the\n"
             "                 five fields are set to its texts and its pattern is painted\n"
             "  -h, --help     print this help\n"
             "  --version      print the version\n"
             "\n"
             "In the window: Ctrl+S saves the picture (also larger or with smooth edges),\n"
             "Ctrl+C copies it, Ctrl+O opens a saved picture; a picture dropped on the\n"
             "window opens too, and a right click shows the same commands.\n",
             stdout);
}

}  // namespace

int main(int argc, char** argv) {
  // --help and --version need no display.
  for (int k = 1; k < argc; ++k) {
    if (!std::strcmp(argv[k], "--help") || !std::strcmp(argv[k], "-h")) {
      printHelp();
      return 0;
    }
    if (!std::strcmp(argv[k], "--version")) {
      std::printf("plorvex %s\n", PLORVEX_VERSION);
      return 0;
    }
  }
  // Qt takes its own options (-platform, -display, ...) out of argv first.
  QApplication application(argc, argv);
  QGuiApplication::setDesktopFileName("example.plorvex.picturemaker");
  const char* file = nullptr;
  for (int k = 1; k < argc; ++k) {
    if ((argv[k][0] == '-' && argv[k][1] != '\0') || file) {
      std::fprintf(stderr, "plorvex: %s: %s\n%s",
                   file && argv[k][0] != '-' ? "one picture at a time" : "unknown option", argv[k], kUsage);
      return 2;
    }
    file = argv[k];
  }
  plorvex::app::registerFontSubstitutes();
  plorvex::app::MainWindow window;
  window.showMaximized();
  if (file)
    QTimer::singleShot(0, &window, [&window, path = QString::fromLocal8Bit(file)] { window.openPicture(path); });
  return QApplication::exec();
}
