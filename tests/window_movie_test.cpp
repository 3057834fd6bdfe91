// SPDX-License-Identifier: GPL-3.0-or-later
// Movies from the window: the way to the view shown, saved as a path file the
// command line reads, or made into frames that are the command line's own,
// off the window's thread and cancelled without leaving anything half made.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QFile>
#include <QMenu>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <tuple>

#include "cli_support.h"
#include "explorer.h"
#include "movie_maker.h"
#include "path_file.h"
#include "picture.h"
#include "picture_render.h"
#include "video.h"
#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

using testing_cli::runRenderer;

constexpr int kAtlas = 0;
constexpr int kLazy = 11;

constexpr int kLongWaitMs = 60000;

void renderView(TestWindow& w, int pattern, const FieldTexts& t) {
  w.setFields(t.x.c_str(), t.y.c_str(), t.size.c_str(), t.zoom.c_str(), t.brightness.c_str());
  click(w.pattern(pattern));
}

// A way of another pattern, then three views of atlas at one size: only
// those three make the way here.
const FieldTexts kOther{"1", "1", "30", "1", "150"};
const FieldTexts kWay[] = {{"1", "1", "40", "0.2", "150"}, {"30", "-10", "40", "0.05", "150"},
                           {"32", "-8", "40", "0.02", "180"}};

void walkTheWay(TestWindow& w) {
  renderView(w, kLazy, kOther);
  for (const FieldTexts& view : kWay) renderView(w, kAtlas, view);
  ASSERT_EQ(w.window->explorer().history().viewsUpToCurrent().size(), 4u);
}

QString saveWay(TestWindow& w, const QString& file, QString* note = nullptr) {
  w.window->movieMaker().asks.chooseWayFile = [&](QWidget*, const QString&, const QString& given,
                                                  std::function<void(const QString&)> chosen) {
    if (note) *note = given;
    chosen(file);
  };
  w.window->movieMaker().saveWayHere();
  return file;
}

void makeMovie(TestWindow& w, const MovieChoice& choice, QString* note = nullptr) {
  w.window->movieMaker().asks.chooseMovie = [&, choice](QWidget*, const MovieChoice&, const QString& given,
                                                        std::function<void(const MovieChoice&)> chosen) {
    if (note) *note = given;
    chosen(choice);
  };
  w.window->movieMaker().makeMovie();
}

QStringList entriesOf(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

std::string bytesOf(const QString& file) {
  QFile in(file);
  return in.open(QIODevice::ReadOnly) ? in.readAll().toStdString() : std::string();
}

// The right-click menu holds both entries, and they answer through it: with
// no way here, Save says why and Make a movie asks for pictures, whose
// different patterns it refuses by name.
TEST(MovieMenu, BothEntriesAnswerFromTheMenuWithoutAWayHere) {
  QTemporaryDir dir;
  TestWindow w;
  renderView(w, kAtlas, kWay[0]);
  const QString atlas = dir.filePath("atlas.png"), lazy = dir.filePath("lazy.png");
  for (const auto& [file, pattern, view] : {std::tuple{atlas, "atlas", kWay[0]}, {lazy, "lazy", kOther}}) {
    picture::PictureHost host(view, {});
    findPattern(pattern)->render(host);
    std::string error;
    ASSERT_TRUE(picture::writePicture(host.image(), file, picture::ImageFormat::Png,
                                      {PLORVEX_VERSION, pattern, view, 1, 1, true}, error))
        << error;
  }
  QStringList offered;
  w.window->movieMaker().asks.choosePictures = [&](QWidget*, const QString&,
                                                   std::function<void(const QStringList&)> chosen) {
    offered << "pictures";
    chosen({atlas, lazy});
  };
  for (const char* entry : {"Save the way here…", "Make a movie…"}) {
    QStringList texts;
    QTimer::singleShot(0, [&] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      ASSERT_TRUE(menu);
      for (QAction* action : menu->actions()) texts << action->text();
      menu->close();
      for (QAction* action : menu->actions())
        if (action->text() == entry) action->trigger();
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(300, 300), w.window->mapToGlobal(QPoint(300, 300)));
    QCoreApplication::sendEvent(w.window.get(), &event);
    EXPECT_TRUE(texts.contains("Make a movie…")) << texts.join(", ").toStdString();
    EXPECT_TRUE(texts.contains("Save the way here…")) << texts.join(", ").toStdString();
  }
  EXPECT_EQ(offered, QStringList{"pictures"});
  ASSERT_EQ(w.recorded.messageTexts.size(), 2);
  EXPECT_TRUE(w.recorded.messageTexts[0].contains("fewer than two views")) << w.recorded.messageTexts[0].toStdString();
  EXPECT_TRUE(w.recorded.messageTexts[1].contains("lazy.png")) << w.recorded.messageTexts[1].toStdString();
  EXPECT_FALSE(w.window->movieMaker().job().busy());
  EXPECT_EQ(entriesOf(dir.path()), (QStringList{"atlas.png", "lazy.png"}));
}

// The path file holds the way's run of one pattern and size, in order, says
// so, and the command line follows it from its first view to its last.
TEST(SaveTheWayHere, WritesTheRunOfThePatternAndSizeShownForTheCommandLine) {
  QTemporaryDir dir;
  TestWindow w;
  walkTheWay(w);
  QString note;
  const QString file = saveWay(w, dir.filePath("way.json"), &note);
  EXPECT_TRUE(note.contains("holds 4 views") && note.contains("last 3")) << note.toStdString();
  const picture::PathReadResult read = picture::readPathFile(file);
  ASSERT_TRUE(read.path) << read.error;
  ASSERT_EQ(read.path->views.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(read.path->views[k].pattern, "atlas");
    const FieldTexts& seen = read.path->views[k].fields;
    EXPECT_EQ((std::array{seen.x, seen.y, seen.size, seen.zoom, seen.brightness}),
              (std::array{kWay[k].x, kWay[k].y, kWay[k].size, kWay[k].zoom, kWay[k].brightness}))
        << k;
  }
  const auto listed = runRenderer("--movie " + file.toStdString() + " --seconds 1 --fps 5 --list-frames");
  ASSERT_EQ(listed.exitCode, 0) << listed.errors;
  EXPECT_EQ(listed.output.substr(0, listed.output.find('\n')), "0\t1\t1\t40\t0.2\t150");
  EXPECT_NE(listed.output.find("\n4\t32\t-8\t40\t0.02\t180\n"), std::string::npos) << listed.output;
  EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
  EXPECT_EQ(entriesOf(dir.path()), QStringList{"way.json"});
}

// Frames made by the window are pixel for pixel, and in their views, those
// the command line makes of the same way, size and smoothing.
TEST(MakeAMovie, IntoAFolderOrALosslessVideoMakesTheCommandLinesFrames) {
  QTemporaryDir dir;
  TestWindow w;
  walkTheWay(w);
  QString note;
  makeMovie(w, {dir.filePath("window"), 0.6, 10, 2, true}, &note);
  EXPECT_TRUE(note.contains("last 3")) << note.toStdString();
  ASSERT_TRUE(eventually([&] { return !w.window->movieMaker().job().busy(); }, kLongWaitMs)) << "the movie never ended";
  EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
  const QString way = saveWay(w, dir.filePath("way.json"));
  const auto run = runRenderer("--movie " + way.toStdString() + " --seconds 0.6 --fps 10 --density 2 --smooth 4 -o " +
                               dir.filePath("cli").toStdString() + " --quiet");
  ASSERT_EQ(run.exitCode, 0) << run.errors;
  const QStringList frames = entriesOf(dir.filePath("cli"));
  ASSERT_EQ(frames.size(), 6);
  EXPECT_EQ(entriesOf(dir.filePath("window")), frames);
  for (const QString& frame : frames) {
    SCOPED_TRACE(frame.toStdString());
    const QString mine = dir.filePath("window/" + frame), theirs = dir.filePath("cli/" + frame);
    const QImage made(mine);
    ASSERT_FALSE(made.isNull());
    EXPECT_EQ(made.convertToFormat(QImage::Format_RGB32), QImage(theirs).convertToFormat(QImage::Format_RGB32));
    const picture::ReadResult a = picture::readParameters(mine), b = picture::readParameters(theirs);
    ASSERT_TRUE(a.parameters && b.parameters);
    EXPECT_EQ(*a.parameters, *b.parameters);
  }
  // As a lossless video, the same pictures, and nothing left beside it.
  if (!movie::ffmpegInstalled()) return;
  makeMovie(w, {dir.filePath("movie.mkv"), 0.6, 10, 2, true});
  ASSERT_TRUE(eventually([&] { return !w.window->movieMaker().job().busy(); }, kLongWaitMs)) << "the video never ended";
  EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
  EXPECT_EQ(entriesOf(dir.path()), (QStringList{"cli", "movie.mkv", "way.json", "window"}));
  ASSERT_TRUE(QDir(dir.path()).mkdir("decoded"));
  const std::string decode = "ffmpeg -nostdin -loglevel error -i " + dir.filePath("movie.mkv").toStdString() +
                             " -start_number 0 " + dir.filePath("decoded/frame-%05d.png").toStdString();
  ASSERT_EQ(std::system(decode.c_str()), 0);
  ASSERT_EQ(entriesOf(dir.filePath("decoded")), frames);
  for (const QString& frame : frames)
    EXPECT_EQ(QImage(dir.filePath("decoded/" + frame)).convertToFormat(QImage::Format_RGB32),
              QImage(dir.filePath("cli/" + frame)).convertToFormat(QImage::Format_RGB32))
        << frame.toStdString();
}

// Cancelled while it renders, a video leaves no file and no frames, and the
// file it would have replaced as it was; a folder keeps only whole frames.
TEST(MakeAMovie, ACancelLeavesNothingHalfMade) {
  for (const bool video : {true, false}) {
    SCOPED_TRACE(video ? "video" : "folder");
    if (video && !movie::ffmpegInstalled()) continue;  // a video is refused before it starts
    QTemporaryDir dir;
    const QString output = dir.filePath(video ? "movie.mkv" : "frames");
    if (video) {
      QFile before(output);
      ASSERT_TRUE(before.open(QIODevice::WriteOnly) && before.write("what was there before") > 0);
    }
    TestWindow w;
    walkTheWay(w);
    makeMovie(w, {output, 10, 30, 4, true});
    const MovieJob& job = w.window->movieMaker().job();
    ASSERT_TRUE(eventually([&] { return job.done() > 0; }, kLongWaitMs));
    QProgressDialog* progress = nullptr;
    ASSERT_TRUE(eventually([&] {
      progress = w.window->findChild<QProgressDialog*>();
      return progress && progress->isVisible();
    }));
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);  // "Cancel"
    ASSERT_TRUE(eventually([&] { return !job.busy(); }, kLongWaitMs));
    EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
    if (video) {
      EXPECT_EQ(entriesOf(dir.path()), QStringList{"movie.mkv"});
      EXPECT_EQ(bytesOf(output), "what was there before");
      continue;
    }
    const QStringList frames = entriesOf(output);
    EXPECT_LT(frames.size(), 300);
    for (const QString& frame : frames) {
      const picture::ReadResult read = picture::readParameters(dir.filePath("frames/" + frame));
      ASSERT_TRUE(read.parameters) << frame.toStdString() << ": " << read.error;
      EXPECT_TRUE(read.parameters->complete) << frame.toStdString();
    }
  }
}

}  // namespace
}  // namespace plorvex::app::testing_support

namespace plorvex::app::testing_support {
namespace {

// Whether this process has an ffmpeg child that is still running.
bool encoderRunning() {
  const std::string parent = std::to_string(::getpid());
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    const std::string stat = testing_cli::readFile(entry.path() / "stat");
    const std::size_t close = stat.rfind(')');
    if (stat.find("(ffmpeg)") == std::string::npos || close == std::string::npos) continue;
    char state = 0;
    int ppid = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %d", &state, &ppid) == 2 && state != 'Z' &&
        std::to_string(ppid) == parent)
      return true;
  }
  return false;
}

// While ffmpeg writes the video, Cancel and closing the window each stop it
// at once, where it would run for over a minute: no encoder left, no video,
// no part file, the old file kept.
TEST(MakeAMovie, CancelOrCloseWhileWritingStopsTheEncoder) {
  if (!movie::ffmpegInstalled()) GTEST_SKIP() << "no ffmpeg here (Debian package ffmpeg)";
  QTemporaryDir slow;
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString(testing_cli::slowFfmpegPath(slow.path().toStdString())));
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "close" : "cancel");
    QTemporaryDir dir;
    const QString output = dir.filePath("movie.webm");
    QFile before(output);
    ASSERT_TRUE(before.open(QIODevice::WriteOnly) && before.write("what was there before") > 0);
    before.close();
    TestWindow w;
    walkTheWay(w);
    makeMovie(w, {output, 4, 30, 2, false});
    const MovieJob& job = w.window->movieMaker().job();
    // Stopped once the encoder writes its part file, so that the file's going is seen.
    const QString part = dir.filePath(".movie.webm.part-" + QString::number(::getpid()));
    ASSERT_TRUE(eventually(
        [&] { return job.phase() == BackgroundJob::Phase::Writing && encoderRunning() && QFile::exists(part); },
        kLongWaitMs));
    QElapsedTimer stopping;
    stopping.start();
    if (close) {
      w.window.reset();
    } else {
      auto* progress = w.window->findChild<QProgressDialog*>();
      ASSERT_TRUE(progress);
      QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);  // "Cancel"
      ASSERT_TRUE(eventually([&] { return !job.busy(); }, kLongWaitMs));
    }
    // A generous bound, far below the 80 s the encoder takes when left alone;
    // the time itself is printed for the record (the target is a second).
    std::printf("the encoder stopped %lld ms after the %s\n", static_cast<long long>(stopping.elapsed()),
                close ? "close" : "Cancel");
    EXPECT_LT(stopping.elapsed(), 3000);
    EXPECT_FALSE(encoderRunning());
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"movie.webm"});
    EXPECT_EQ(bytesOf(output), "what was there before");
  }
  qputenv("PATH", path);
}

// An older view the path cannot leave is left out, with a line that says so,
// and the finished movie says where it went.
TEST(MakeAMovie, StartsAfterAViewThePathCannotLeaveAndSaysWhereTheMovieWent) {
  QTemporaryDir dir;
  TestWindow w;
  // From a view 1E12 away into a zoom of 1E-300, the way is beyond the doubles.
  for (const FieldTexts& view : {FieldTexts{"1E12", "1", "40", "1", "150"}, FieldTexts{"1", "1", "40", "1E-300", "150"},
                                 FieldTexts{"1", "1", "40", "1E-299", "150"}})
    renderView(w, kAtlas, view);
  QString made;
  w.window->movieMaker().asks.showMade = [&](QWidget*, const QString& output) { made = output; };
  QString note;
  makeMovie(w, {dir.filePath("frames"), 0.4, 5, 1, false}, &note);
  EXPECT_TRUE(note.contains("oldest view is left out") && note.contains("double precision") &&
              note.contains("last 2"))
      << note.toStdString();
  ASSERT_TRUE(eventually([&] { return !w.window->movieMaker().job().busy(); }, kLongWaitMs));
  EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
  EXPECT_EQ(made, dir.filePath("frames"));
  EXPECT_EQ(entriesOf(dir.filePath("frames")).size(), 2);
}

// When the last step itself is beyond the doubles, both entries say so in
// the window's words (no keyframe numbers) and no movie dialog opens.
TEST(MakeAMovie, AWayWhoseLastStepCannotBeMadeIsRefusedInTheWindowsWords) {
  TestWindow w;
  for (const FieldTexts& view : {FieldTexts{"1", "1", "40", "1", "150"}, FieldTexts{"1E12", "1", "40", "1", "150"},
                                 FieldTexts{"1", "1", "40", "1E-300", "150"}})
    renderView(w, kAtlas, view);
  bool dialogOpened = false, picturesAsked = false;
  w.window->movieMaker().asks.chooseMovie = [&](QWidget*, const MovieChoice&, const QString&,
                                                std::function<void(const MovieChoice&)>) { dialogOpened = true; };
  w.window->movieMaker().asks.choosePictures = [&](QWidget*, const QString&,
                                                   std::function<void(const QStringList&)>) { picturesAsked = true; };
  w.window->movieMaker().makeMovie();
  w.window->movieMaker().saveWayHere();
  EXPECT_FALSE(dialogOpened);
  EXPECT_TRUE(picturesAsked) << "the user may still pick pictures to join";
  ASSERT_EQ(w.recorded.messageTexts.size(), 2);
  for (const QString& told : w.recorded.messageTexts) {
    EXPECT_TRUE(told.contains("view shown lies beyond double precision")) << told.toStdString();
    EXPECT_FALSE(told.contains("keyframe")) << told.toStdString();
  }
}

// The dialog explains in its body, lists each size with its pixels, and
// counts the frames the seconds and rate make.
TEST(MovieDialogText, ShowsTheNoteSizesWithPixelsAndTheFrameCount) {
  MovieChoice proposed{"movie.mp4", 10, 30, 1, false};
  proposed.plainSize = QSize(1024, 768);
  MovieDialog dialog(nullptr, proposed, "Why some views are left out.");
  const auto* sizes = dialog.findChild<QComboBox*>();
  ASSERT_NE(sizes, nullptr);
  EXPECT_EQ(sizes->itemText(0), "x1 - 1024 x 768");
  EXPECT_EQ(sizes->itemText(2), "x4 - 4096 x 3072");
  const auto labelSaying = [&](const QString& text) {
    for (const QLabel* label : dialog.findChildren<QLabel*>())
      if (label->text() == text) return true;
    return false;
  };
  EXPECT_TRUE(labelSaying("Why some views are left out."));
  EXPECT_TRUE(labelSaying("300 frames"));
  dialog.findChildren<QDoubleSpinBox*>().front()->setValue(2);  // seconds
  EXPECT_TRUE(labelSaying("60 frames"));
}

}  // namespace
}  // namespace plorvex::app::testing_support
