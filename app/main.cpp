// SPDX-License-Identifier: GPL-3.0-or-later
// Plorvex Picture Maker: one maximised window that paints abstract patterns.
// `plorvex FILE.png` opens a picture saved by the program as the view that
// made it.

#include <QApplication>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "controls.h"
#include "main_window.h"

namespace {

constexpr const char* kUsage = "usage: plorvex [--help] [--version] [PICTURE]\n";

void printHelp() {
  std::fputs(kUsage, stdout);
  std::fputs("\n"
             "Paints full-colour abstract patterns in one maximised window.\n"
             "\n"
             "  PICTURE        a PNG or JPEG picture saved by this program or by plorvex-render: the\n"
             "                 five fields are set to its texts and its pattern is painted\n"
             "  -h, --help     print this help\n"
             "  --version      print the version\n"
             "\n"
             "In the window: Ctrl+S saves the picture (also larger or with smooth edges),\n"
             "Ctrl+C copies it, Ctrl+O opens a saved picture; a picture dropped on the\n"
             "window opens too, and a right click shows the same commands.\n",
             stdout);
}

// Qt's platforms that draw on something other than a display server.
bool paintsWithoutDisplay(const QByteArray& platform) {
  for (const char* name : {"offscreen", "minimal", "minimalegl", "vnc", "linuxfb", "eglfs", "vkkhrdisplay"})
    if (platform == name) return true;
  return false;
}

// Whether the window has somewhere to appear: a display server named in the
// environment (or by -display), or a platform that needs none. Checked before
// Qt starts, which would abort without one.
bool hasDisplay([[maybe_unused]] int argc, [[maybe_unused]] char** argv) {
#if !defined(Q_OS_UNIX) || defined(Q_OS_MACOS)
  return true;  // the desktop is always there
#else
  QByteArray platforms = qgetenv("QT_QPA_PLATFORM");
  for (int k = 1; k + 1 < argc; ++k) {
    if (!std::strcmp(argv[k], "-platform")) platforms = argv[k + 1];
    if (!std::strcmp(argv[k], "-display")) return true;
  }
  // "name:options", several tried in turn when separated by ';'.
  for (const QByteArray& entry : platforms.split(';'))
    if (paintsWithoutDisplay(entry.split(':').front().trimmed())) return true;
  return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#endif
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
  if (!hasDisplay(argc, argv)) {
    std::fputs("plorvex: there is no display to show the window on (DISPLAY and WAYLAND_DISPLAY are "
               "unset); plorvex-render paints pictures without one\n",
               stderr);
    return 1;
  }
  // A save into a pipe whose reader has gone must fail as a write, not end the
  // program and whatever the user was doing with it.
  std::signal(SIGPIPE, SIG_IGN);
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
