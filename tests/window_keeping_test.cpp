// SPDX-License-Identifier: GPL-3.0-or-later
// Keeping pictures from the window: saving what it shows or the same view
// larger, copying, and opening a saved picture as the view that made it.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "picture.h"
#include "picture_render.h"
#include "poster.h"
#include "sampled_cases.h"
#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

const QRgb kHighlight = qRgb(96, 160, 255);

QImage pictureOf(const TestWindow& w, int columns, int rows) {
  return w.window->canvas().copy(161, 51, columns, rows);
}

// What a render of the view paints, from the headless frame.
QImage rendered(const char* pattern, const FieldTexts& fields, Sampling sampling = {}) {
  picture::PictureHost host(fields, sampling);
  findPattern(pattern)->render(host);
  return host.image();
}

void pressKeys(TestWindow& w, Qt::Key key) { QTest::keyClick(w.window.get(), key, Qt::ControlModifier); }

void waitForSave(const TestWindow& w) {
  ASSERT_TRUE(eventually([&] { return !w.window->saveJob().busy(); }, 60000)) << "the save never ended";
}

bool writeFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

picture::PictureParameters readBack(const QString& path) {
  const picture::ReadResult read = picture::readParameters(path);
  EXPECT_TRUE(read.parameters) << read.error;
  return read.parameters.value_or(picture::PictureParameters{});
}

// plorvex-render with `arguments` writes `rendered`: the very bytes of `saved`.
void expectTheCommandLineWritesItsBytes(const QString& saved, QStringList arguments, const QString& rendered) {
  QProcess cli;
  cli.start(PLORVEX_RENDER_CLI, arguments << "--quiet" << "-o" << rendered);
  ASSERT_TRUE(cli.waitForFinished(60000));
  ASSERT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
  QFile a(saved), b(rendered);
  ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
  const QByteArray windowBytes = a.readAll(), cliBytes = b.readAll();
  EXPECT_EQ(windowBytes.size(), cliBytes.size());
  EXPECT_TRUE(windowBytes == cliBytes);
}

// What the window saves at x1: the pixels it shows now, marked whole only
// when one render painted all of them and nothing painted over them since.
TEST(SavePicture, AtX1WritesThePixelsShownAndWhetherTheyAreOneWholeRender) {
  QTemporaryDir dir;
  struct Case {
    const char* what;
    std::function<void(TestWindow&)> render;
    bool complete;
  };
  const Case cases[] = {
      {"a whole render", [](TestWindow& w) { click(w.pattern(11)); }, true},
      {"halted", [](TestWindow& w) {
         w.window->renderer().onYield = [&w](int) { w.window->renderer().halt(); };
         click(w.pattern(11));
       }, false},
      {"painted over by the render it interrupted", [](TestWindow& w) {
         bool nested = false;
         w.window->renderer().onYield = [&](int depth) {
           if (depth == 1 && !nested) {
             nested = true;
             click(w.pattern(11));
           }
         };
         click(w.pattern(3));
       }, false},
      {"stopped by an overflow", [](TestWindow& w) {
         w.field("Textfive")->setText("1E308");
         click(w.pattern(11));
         ASSERT_EQ(w.recorded.messageTexts.size(), 1);
         EXPECT_TRUE(w.recorded.messageTexts[0].contains("Overflow")) << w.recorded.messageTexts[0].toStdString();
         w.recorded.messageTexts.clear();  // the render's report; the save adds none
       }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow w;
    w.setFields(" 3", "-2.5E0", "40", "&H1", "150");
    c.render(w);
    w.window->renderer().onYield = nullptr;
    const QString path = dir.filePath(QString("x1-%1.png").arg(c.what));
    w.recorded.saveAnswer = SaveChoice{path};
    pressKeys(w, Qt::Key_S);
    waitForSave(w);
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), pictureOf(w, 40, 40));
    const picture::PictureParameters saved = readBack(path);
    EXPECT_EQ(saved.pattern, "lazy");
    EXPECT_EQ(saved.fields.x, " 3");
    EXPECT_EQ(saved.fields.y, "-2.5E0");
    EXPECT_EQ(saved.fields.zoom, "&H1");
    EXPECT_EQ(saved.density, 1);
    EXPECT_EQ(saved.smooth, 1);
    EXPECT_EQ(saved.complete, c.complete);
    EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
  }
}

// The window and the command line write PNG files with one writer: the same
// view gives the same bytes, metadata included.
TEST(SavePicture, AWindowSaveIsByteForByteTheCommandLinesPictureOfTheView) {
  QTemporaryDir dir;
  struct Case {
    int pattern;
    FieldTexts texts;
  };
  const Case cases[] = {{11, {" 3", "-2.5E0", "40", "&H1", "150"}}, {0, {"1", "1", "768", "0.15", "150"}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.texts.size);
    TestWindow w;
    w.setFields(c.texts.x.c_str(), c.texts.y.c_str(), c.texts.size.c_str(), c.texts.zoom.c_str(),
                c.texts.brightness.c_str());
    click(w.pattern(c.pattern));
    const QString saved = dir.filePath(QString("window-%1.png").arg(c.pattern));
    w.recorded.saveAnswer = SaveChoice{saved};
    pressKeys(w, Qt::Key_S);
    waitForSave(w);
    ASSERT_TRUE(readBack(saved).complete);
    expectTheCommandLineWritesItsBytes(saved, {"--from", saved},
                                       dir.filePath(QString("render-%1.png").arg(c.pattern)));
  }
}

// The larger and smoothed sizes the dialog offers, against the pictures worked
// out independently for them.
TEST(SavePicture, LargerOrSmoothedPaintsTheSameViewAgainOffTheWindowsThread) {
  QTemporaryDir dir;
  int saves = 0;
  for (const plorvex::testing_support::SampledCase& c : plorvex::testing_support::sampledCases()) {
    const int density = c.sampling.density, smooth = c.sampling.smooth;
    if (c.sampling.plain() || (density & (density - 1)) != 0 || (smooth != 1 && smooth != kSmoothEdges))
      continue;  // not a size the save dialog offers
    SCOPED_TRACE(c.name);
    TestWindow w;
    const FieldTexts& f = c.fields;
    w.setFields(f.x.c_str(), f.y.c_str(), f.size.c_str(), f.zoom.c_str(), f.brightness.c_str());
    click(w.pattern(findPattern(c.pattern)->index));
    w.setFields("1", "1", "5", "1", "150");  // edits after the render do not count
    const QString path = dir.filePath(QString("%1.png").arg(c.name));
    w.recorded.saveAnswer = SaveChoice{path, density, smooth == kSmoothEdges};
    pressKeys(w, Qt::Key_S);
    waitForSave(w);
    plorvex::testing_support::expectImage(c, QImage(path), "the window's save");
    const picture::PictureParameters saved = readBack(path);
    EXPECT_EQ(saved.density, density);
    EXPECT_EQ(saved.smooth, smooth);
    EXPECT_TRUE(saved.complete);
    ++saves;
  }
  EXPECT_EQ(saves, 3);  // x1 smoothed, x2, x2 smoothed
}

// Painted again larger, a view that a fault stopped stops again (at x2 its
// samples include those of x1): nothing is written, and the message names the fault.
TEST(SavePicture, LargerAfterAFaultWritesNothingAndSaysWhy) {
  QTemporaryDir dir;
  TestWindow w;
  w.setFields("1", "1", "40", "1", "1e308");
  click(w.pattern(0));
  const QString path = dir.filePath("stopped.png");
  w.recorded.saveAnswer = SaveChoice{path, 2, false};
  pressKeys(w, Qt::Key_S);
  waitForSave(w);
  ASSERT_EQ(w.recorded.messageTexts.size(), 2);  // the render's fault, then the save's
  EXPECT_TRUE(w.recorded.messageTexts[1].contains("not saved: the picture could not be painted again: Overflow"))
      << w.recorded.messageTexts[1].toStdString();
  EXPECT_FALSE(QFile::exists(path));
}

// A long save runs while the window paints; cancelled, it leaves
// no file and the one already there unchanged.
TEST(SavePicture, TheWindowStaysUsableAndACancelledSaveLeavesNothing) {
  QTemporaryDir dir;
  const QString path = dir.filePath("kept.png");
  ASSERT_TRUE(writeFile(path, "what was there before"));
  TestWindow w;
  w.setFields("1", "1", "100", "0.15", "150");
  click(w.pattern(0));
  w.recorded.saveAnswer = SaveChoice{path, 1, false, {}, 1, "6400"};  // 6400 x 6400: 25 bands
  pressKeys(w, Qt::Key_S);
  ASSERT_TRUE(eventually([&] { return w.window->saveJob().done() > 0; }, 30000));
  w.setFields("1", "1", "20", "1", "150");
  click(w.pattern(0));  // paints while the save renders
  EXPECT_EQ(pictureOf(w, 20, 20), rendered("atlas", {"1", "1", "20", "1", "150"}));
  EXPECT_TRUE(w.window->saveJob().busy());
  // Its progress shows; the keys still work, wherever the keyboard is.
  QProgressDialog* progress = nullptr;
  ASSERT_TRUE(eventually([&] {
    progress = w.window->findChild<QProgressDialog*>();
    return progress && progress->isVisible();
  }));
  QTest::keyClick(QApplication::activeWindow(), Qt::Key_S, Qt::ControlModifier);  // one save at a time
  EXPECT_EQ(w.recorded.messageTexts.size(), 1);
  QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);  // "Cancel"
  waitForSave(w);
  QFile existing(path);
  ASSERT_TRUE(existing.open(QIODevice::ReadOnly));
  EXPECT_EQ(existing.readAll(), "what was there before");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
            QStringList{"kept.png"});
  EXPECT_EQ(w.recorded.messageTexts.size(), 1);  // a cancel is no failure
}

TEST(SavePicture, WithoutAPictureOrToAFolderThatIsGoneSaysSoAndWritesNothing) {
  TestWindow w;
  pressKeys(w, Qt::Key_S);
  EXPECT_EQ(w.recorded.saveDialogs, 0);
  ASSERT_EQ(w.recorded.messageTexts.size(), 1);
  EXPECT_TRUE(w.recorded.messageTexts[0].contains("no picture")) << w.recorded.messageTexts[0].toStdString();

  w.setFields("1", "1", "10", "1", "150");
  click(w.pattern(0));
  w.recorded.saveAnswer = SaveChoice{"/nonexistent-folder/picture.png"};
  pressKeys(w, Qt::Key_S);
  waitForSave(w);
  ASSERT_EQ(w.recorded.messageTexts.size(), 2);
  EXPECT_TRUE(w.recorded.messageTexts[1].contains("not saved")) << w.recorded.messageTexts[1].toStdString();
  EXPECT_FALSE(QFile::exists("/nonexistent-folder/picture.png"));
}

// The name's suffix picks the format; PNG and JPEG keep the view. A suffix
// the program does not write is refused and nothing is written.
TEST(SavePicture, TheNamesSuffixPicksTheFormatAndAnUnknownOneIsRefused) {
  QTemporaryDir dir;
  TestWindow w;
  w.setFields(" 2", "1", "30", "0.5", "150");
  click(w.pattern(4));
  const struct {
    const char* name;
    QByteArray begins;  // empty: refused
    bool keepsView;
  } cases[] = {
      {"pic.jpg", "\xFF\xD8", true},  {"pic.JPEG", "\xFF\xD8", true}, {"pic.png", "\x89PNG", true},
      {"pic.bmp", "BM", false},       {"pic.ppm", "P6", false},       {"pic.gif", "", false},
      {"pic.tar", "", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString path = dir.filePath(c.name);
    EXPECT_EQ(resolvedSavePath(c.name, dir.path()), path);
    const int messages = w.recorded.messageTexts.size();
    w.recorded.saveAnswer = SaveChoice{path};
    pressKeys(w, Qt::Key_S);
    waitForSave(w);
    if (c.begins.isEmpty()) {
      ASSERT_EQ(w.recorded.messageTexts.size(), messages + 1);
      EXPECT_TRUE(w.recorded.messageTexts.back().contains(QString("\"%1\" does not end with").arg(c.name)))
          << w.recorded.messageTexts.back().toStdString();
      EXPECT_TRUE(w.recorded.messageTexts.back().contains(".png, .jpg, .bmp"));
      continue;
    }
    EXPECT_EQ(w.recorded.messageTexts.size(), messages);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().startsWith(c.begins));
    EXPECT_EQ(QImage(path).size(), QSize(30, 30));
    const picture::ReadResult read = picture::readParameters(path);
    EXPECT_EQ(read.parameters.has_value(), c.keepsView) << read.error;
    if (read.parameters) {
      EXPECT_EQ(*read.parameters, w.window->shownParameters());
    }
  }
  // Only the names asked for: no "pic.jpg.png", nothing for the refused ones.
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
            (QStringList{"pic.JPEG", "pic.bmp", "pic.jpg", "pic.png", "pic.ppm"}));
  EXPECT_EQ(resolvedSavePath("pic", dir.path()), dir.filePath("pic.png"));
}

// The size list names the pixels each size has: the window's picture at its
// density, times the scale, up to x16, past what formats other than PNG hold
// on a dense screen.
TEST(SavePicture, TheSizeListShowsThePixelsOfEachSize) {
  TestWindow w;
  w.setFields("1", "1", "768", "1", "150");
  click(w.pattern(0));
  pressKeys(w, Qt::Key_S);
  ASSERT_TRUE(w.recorded.saveOffered);
  const auto sizes = [](const SaveChoice& offered) {
    SaveDialog dialog(nullptr, offered, QDir::tempPath());
    const auto* list = dialog.findChild<QComboBox*>();
    QStringList texts;
    for (int k = 0; list && k < list->count(); ++k) texts << list->itemText(k);
    return texts;
  };
  EXPECT_EQ(sizes(*w.recorded.saveOffered),
            (QStringList{"x1 - 1024 x 768", "x2 - 2048 x 1536", "x4 - 4096 x 3072", "x8 - 8192 x 6144",
                         "x16 - 16384 x 12288", "a width typed in pixels"}));
  SaveChoice dense = *w.recorded.saveOffered;
  dense.density = 4;  // as on a screen of pixel ratio 4
  EXPECT_EQ(sizes(dense), (QStringList{"x1 - 4096 x 3072", "x2 - 8192 x 6144", "x4 - 16384 x 12288",
                                       "x8 - 32768 x 24576 (PNG only)", "x16 - 65536 x 49152 (PNG only)",
                                       "a width typed in pixels"}));
}

// A width typed in pixels gives the density whose picture has that width; a
// text that is no such width is refused with what is wrong, in the dialog as
// it is typed and in the window when the save starts.
TEST(SavePicture, AWidthTypedInPixelsIsAWholeMultipleOfThePictureWithinTheLimits) {
  const struct {
    const char* name;
    QString width;
    int density;          // 0: refused
    const char* message;  // part of the refusal
    QSize plain{1024, 768};
  } cases[] = {
      {"a.png", "3072", 3, ""},
      {"a.png", " 0002048 ", 2, ""},
      {"a.png", "999424", 976, ""},  // 999424 x 749568
      {"a.jpg", "16384", 16, ""},
      {"a.png", "", 0, "Type the width in pixels"},
      {"a.png", "3072px", 0, "\"3072px\" is not a whole number of pixels"},
      {"a.png", "-1024", 0, "not a whole number"},
      {"a.png", "1e4", 0, "not a whole number"},
      {"a.png", "2048.0", 0, "not a whole number"},
      {"a.png", QString::fromUtf8("\xd9\xa3\xd9\xa0\xd9\xa7\xd9\xa2"), 0, "not a whole number"},  // Arabic-Indic 3072
      {"a.png", QString(5000, u'9'), 0, "\"999999999999999999999999…\" is more than any picture saved can have"},
      {"a.png", "4294970368", 0, "at most 1,000,000 pixels a side"},  // 2^32 + 3072
      {"a.png", "1000448", 0, "at most 1,000,000 pixels a side"},
      {"a.png", "750336", 0, "At 750336 x 1000448 pixels the picture would pass 1,000,000 pixels a side, the most "
                             "a PNG reader takes: the largest size is 749568 x 999424.", {768, 1024}},
      {"a.png", "749568", 976, "", {768, 1024}},
      {"a.png", "0", 0, "0 pixels holds no picture"},
      {"a.png", "1000", 0, "not a whole multiple of 1024, the width of the picture's plain render: the smallest width is 1024"},
      {"a.png", "5000", 0, "the nearest widths are 4096 and 5120"},
      {"a.jpg", "17408", 0, "A JPEG picture of this view has at most 16384 x 12288 pixels; larger sizes are saved as PNG only"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.width.left(40).toStdString() + " as " + c.name);
    const SaveChoice choice{c.name, 1, false, c.plain, 1, c.width};
    QString problem;
    EXPECT_EQ(chosenDensity(choice, problem), c.density);
    EXPECT_EQ(problem.isEmpty(), c.density != 0) << problem.toStdString();
    EXPECT_TRUE(problem.contains(c.message)) << problem.toStdString();
    EXPECT_LT(problem.size(), 200);  // a long text is quoted by its start

    SaveDialog dialog(nullptr, choice, QDir::tempPath());
    const auto* note = dialog.findChild<QLabel*>("sizeNote");
    ASSERT_NE(note, nullptr);
    ASSERT_TRUE(dialog.choice().width);
    EXPECT_EQ(*dialog.choice().width, c.width);
    EXPECT_EQ(note->text(), c.density ? QString("%1 x %2 pixels")
                                            .arg(c.plain.width() * c.density)
                                            .arg(c.plain.height() * c.density)
                                      : problem);
  }
  // The window refuses what the dialog would, and saves nothing.
  QTemporaryDir dir;
  TestWindow w;
  w.setFields("1", "1", "30", "1", "150");
  click(w.pattern(0));
  w.recorded.saveAnswer = SaveChoice{dir.filePath("wide.png"), 1, false, {}, 1, "45"};
  pressKeys(w, Qt::Key_S);
  waitForSave(w);
  ASSERT_EQ(w.recorded.messageTexts.size(), 1);
  EXPECT_TRUE(w.recorded.messageTexts[0].contains("nearest widths are 30 and 60")) << w.recorded.messageTexts[0].toStdString();
  EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

// A larger PNG is a poster, made in bands as the command line makes it: the
// same view and density give the same bytes, whichever of the four patterns
// that carry a value or the others, from the list or a typed width.
TEST(SavePicture, APosterSavedIsByteForByteTheCommandLinesPoster) {
  QTemporaryDir dir;
  const struct {
    const char* pattern;
    FieldTexts texts;
    int scale;
    std::optional<QString> width;
    bool smooth;
    int density;
  } cases[] = {
      {"lazy", {" 3", "-2.5E0", "40", "&H1", "150"}, 1, "120", false, 3},
      {"atlas", {"1", "1", "20", "0.15", "150"}, 16, {}, true, 16},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    TestWindow w;
    const FieldTexts& f = c.texts;
    w.setFields(f.x.c_str(), f.y.c_str(), f.size.c_str(), f.zoom.c_str(), f.brightness.c_str());
    click(w.pattern(findPattern(c.pattern)->index));
    const QString saved = dir.filePath(QString("window-%1.png").arg(c.pattern));
    w.recorded.saveAnswer = SaveChoice{saved, c.scale, c.smooth, {}, 1, c.width};
    pressKeys(w, Qt::Key_S);
    waitForSave(w);
    EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
    expectTheCommandLineWritesItsBytes(
        saved,
        {"--pattern", c.pattern, "--x", f.x.c_str(), "--y", f.y.c_str(), "--size", f.size.c_str(), "--zoom",
         f.zoom.c_str(), "--brightness", f.brightness.c_str(), "--density", QString::number(c.density), "--smooth",
         c.smooth ? "4" : "1"},
        dir.filePath(QString("render-%1.png").arg(c.pattern)));
    const int side = std::stoi(f.size) * c.density;
    EXPECT_EQ(QImage(saved).size(), QSize(side, side));
  }
}

// Cancelled, a poster leaves nothing: no file under its name, no hidden part
// of its bands beside it, whether it was in its first pass (a carried value)
// or writing bands.
TEST(SavePicture, ACancelledPosterLeavesNoFileAndNoPart) {
  const struct {
    const char* pattern;
    bool partWritten;  // cancelled once its hidden part holds bands
  } cases[] = {{"atlas", true}, {"lazy", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    QTemporaryDir dir;
    const QString path = dir.filePath("poster.png");
    TestWindow w;
    w.setFields("1", "1", "100", "0.15", "150");
    click(w.pattern(findPattern(c.pattern)->index));
    w.recorded.saveAnswer = SaveChoice{path, 1, false, {}, 1, "6400"};  // 6400 x 6400
    pressKeys(w, Qt::Key_S);
    if (c.partWritten) {
      const QString part = QFile::decodeName(picture::resumeFileOf(QFile::encodeName(path)));
      ASSERT_TRUE(eventually([&] { return QFile::exists(part); }, 30000));
    }
    QProgressDialog* progress = nullptr;
    ASSERT_TRUE(eventually([&] {
      progress = w.window->findChild<QProgressDialog*>();
      return progress && progress->isVisible();
    }, 30000));
    EXPECT_TRUE(w.window->saveJob().busy());
    QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);  // "Cancel"
    waitForSave(w);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{});
    EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
  }
}

TEST(SavePicture, TheProgressOfALongSaveShowsTheTimeLeft) {
  QTemporaryDir dir;
  TestWindow w;
  w.setFields("1", "1", "100", "0.15", "150");
  click(w.pattern(0));
  w.recorded.saveAnswer = SaveChoice{dir.filePath("long.png"), 1, false, {}, 1, "6400"};  // 25 bands
  pressKeys(w, Qt::Key_S);
  QProgressDialog* progress = nullptr;
  ASSERT_TRUE(eventually([&] {
    progress = w.window->findChild<QProgressDialog*>();
    return progress && progress->isVisible() && progress->labelText().contains(" left");
  }, 30000)) << (progress ? progress->labelText().toStdString() : "no progress dialog");
  EXPECT_TRUE(progress->labelText().startsWith("Saving " + dir.filePath("long.png") + "…\n"));
  EXPECT_TRUE(progress->labelText().contains(" elapsed, ")) << progress->labelText().toStdString();
  QTest::mouseClick(progress->findChild<QPushButton*>(), Qt::LeftButton);  // "Cancel"
  waitForSave(w);
}

TEST(CopyPicture, PutsThePictureOnTheClipboardUnlessAFieldHasASelection) {
  TestWindow w;
  w.setFields("1", "1", "25", "2", "150");
  click(w.pattern(2));
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  w.field("TextThree")->setFocus();
  w.field("TextThree")->deselect();
  pressKeys(w, Qt::Key_C);
  EXPECT_EQ(clipboard->image().convertToFormat(QImage::Format_RGB32), pictureOf(w, 25, 25));

  w.field("TextFour")->setFocus();
  w.field("TextFour")->setText("0.125");
  w.field("TextFour")->setSelection(1, 3);
  QTest::keyClick(w.field("TextFour"), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(clipboard->text(), ".12");
}

// Beside the image the clipboard offers PNG bytes that keep the view: pasted
// into a file, they open again as the view that made them.
TEST(CopyPicture, OffersAPngThatKeepsTheView) {
  QTemporaryDir dir;
  TestWindow w;
  w.setFields(" -7", "+2.5", "33", "1D-1", "1.2E2 ");
  click(w.pattern(12));
  QClipboard* clipboard = QGuiApplication::clipboard();
  clipboard->clear();
  pressKeys(w, Qt::Key_C);
  ASSERT_NE(clipboard->mimeData(), nullptr);
  EXPECT_TRUE(clipboard->mimeData()->hasImage());
  const QByteArray png = clipboard->mimeData()->data("image/png");
  ASSERT_TRUE(png.startsWith("\x89PNG"));
  EXPECT_EQ(QImage::fromData(png).convertToFormat(QImage::Format_RGB32), pictureOf(w, 33, 33));
  const QString pasted = dir.filePath("pasted.png");
  ASSERT_TRUE(writeFile(pasted, png));

  TestWindow other;
  other.window->openPicture(pasted);
  ASSERT_TRUE(eventually([&] { return other.window->shownParameters().pattern == "nitegale"; }));
  EXPECT_EQ(other.field("TextOne")->text(), " -7");
  EXPECT_EQ(other.field("Textfive")->text(), "1.2E2 ");
  EXPECT_EQ(other.window->shownParameters(), w.window->shownParameters());
  EXPECT_EQ(pictureOf(other, 33, 33), pictureOf(w, 33, 33));
}

TEST(OpenPicture, SetsTheFieldsAndPaintsTheSavedView) {
  QTemporaryDir dir;
  const QString path = dir.filePath("saved.png");
  const FieldTexts view{" -7", "+2.5", "33", "1D-1", "1.2E2 "};
  std::string error;
  picture::PictureParameters saved{"1.2014", "nitegale", view, 3, 2, true};
  ASSERT_TRUE(picture::writePicture(rendered("nitegale", view, {3, 2}), path, picture::ImageFormat::Png,
                                    saved, error))
      << error;
  const auto expectView = [&](TestWindow& w, const char* how) {
    EXPECT_EQ(w.field("TextOne")->text(), " -7") << how;
    EXPECT_EQ(w.field("TextTwo")->text(), "+2.5") << how;
    EXPECT_EQ(w.field("TextThree")->text(), "33") << how;
    EXPECT_EQ(w.field("TextFour")->text(), "1D-1") << how;
    EXPECT_EQ(w.field("Textfive")->text(), "1.2E2 ") << how;
    EXPECT_EQ(qobject_cast<ColourButton*>(w.pattern(12))->background().rgb(), kHighlight) << how;
    // Painted at the window's own density and smoothing.
    EXPECT_EQ(pictureOf(w, 33, 33), rendered("nitegale", view)) << how;
  };
  {
    TestWindow w;
    w.recorded.openAnswer = path;
    pressKeys(w, Qt::Key_O);
    ASSERT_TRUE(eventually([&] { return w.window->shownParameters().pattern == "nitegale"; }));
    expectView(w, "Ctrl+O");
  }
  {
    TestWindow w;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    // Dragged over the size field and dropped there, as the window system
    // delivers a drag: a drop on a field opens the picture too.
    const QPoint overSizeField(40, 130);
    QDragEnterEvent enter(overSizeField, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window->windowHandle(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(overSizeField), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window->windowHandle(), &drop);
    ASSERT_TRUE(eventually([&] { return w.window->shownParameters().pattern == "nitegale"; }));
    expectView(w, "drop");
  }
}

TEST(OpenPicture, ADamagedOrMissingFileIsReportedAndChangesNothing) {
  QTemporaryDir dir;
  const QString damaged = dir.filePath("damaged.png");
  ASSERT_TRUE(writeFile(damaged, "\x89PNG\r\n\x1a\n and then nothing that makes sense"));
  TestWindow w;
  w.setFields("1", "1", "12", "1", "150");
  click(w.pattern(0));
  const QImage before = w.window->canvas();
  for (const QString& path : {damaged, dir.filePath("missing.png")}) {
    w.window->openPicture(path);
    EXPECT_EQ(w.field("TextThree")->text(), "12");
    EXPECT_EQ(w.window->canvas(), before);
    EXPECT_EQ(w.window->shownParameters().pattern, "atlas");
  }
  ASSERT_EQ(w.recorded.messageTexts.size(), 2);
  EXPECT_TRUE(w.recorded.messageTexts[0].contains("damaged.png")) << w.recorded.messageTexts[0].toStdString();
  EXPECT_TRUE(w.recorded.messageTexts[1].contains("missing.png")) << w.recorded.messageTexts[1].toStdString();
}

}  // namespace
}  // namespace plorvex::app::testing_support
