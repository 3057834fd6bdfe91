// SPDX-License-Identifier: GPL-3.0-or-later
// Starting plorvex where no window can be shown: one line that says so and
// where to turn instead, exit status 1; no abort.

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

namespace {

struct Started {
  int status = -1;
  bool crashed = false;
  QString errors;
};

Started startApp(const QStringList& arguments, const QStringList& unset, const QStringList& set) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const QString& name : unset) environment.remove(name);
  for (const QString& entry : set) environment.insert(entry.section('=', 0, 0), entry.section('=', 1));
  QProcess app;
  app.setProcessEnvironment(environment);
  app.start(PLORVEX_APP, arguments);
  if (!app.waitForFinished(30000)) {
    app.kill();
    app.waitForFinished();
  }
  return {app.exitCode(), app.exitStatus() == QProcess::CrashExit, QString::fromLocal8Bit(app.readAllStandardError())};
}

const QStringList kDisplays{"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"};

TEST(Startup, WithoutADisplayOneLineSaysSoAndPointsToTheRenderer) {
  struct Case {
    const char* what;
    QStringList arguments;
    QStringList set;
  };
  const Case cases[] = {
      {"nothing set", {}, {}},
      {"empty variables", {}, {"DISPLAY=", "WAYLAND_DISPLAY="}},
      {"the X platform named", {}, {"QT_QPA_PLATFORM=xcb"}},
      {"Wayland, then X", {}, {"QT_QPA_PLATFORM=wayland;xcb"}},
      {"-platform xcb over offscreen", {"-platform", "xcb"}, {"QT_QPA_PLATFORM=offscreen"}},
      {"with a picture to open", {"picture.png"}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Started started = startApp(c.arguments, kDisplays, c.set);
    EXPECT_FALSE(started.crashed);
    EXPECT_EQ(started.status, 1);
    EXPECT_EQ(started.errors.count('\n'), 1) << started.errors.toStdString();
    EXPECT_TRUE(started.errors.contains("no display")) << started.errors.toStdString();
    EXPECT_TRUE(started.errors.contains("plorvex-render")) << started.errors.toStdString();
  }
}

// A platform that needs no display gets past the check: here to the option
// check that follows Qt's start.
TEST(Startup, APlatformThatNeedsNoDisplayIsLetThrough) {
  for (const QStringList& set : {QStringList{"QT_QPA_PLATFORM=offscreen"}, QStringList{"QT_QPA_PLATFORM=minimal:enable_fonts"}}) {
    SCOPED_TRACE(set.join(' ').toStdString());
    const Started started = startApp({"--bogus"}, kDisplays, set);
    EXPECT_EQ(started.status, 2) << started.errors.toStdString();
    EXPECT_TRUE(started.errors.contains("plorvex: unknown option")) << started.errors.toStdString();
  }
}

}  // namespace
