// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the window refuses, and the sizes it must not refuse: a refusal
// names what is wrong and changes nothing, whatever the screen's density.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "picture_render.h"
#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

// Presses a pattern with the fields given, the keyboard kept out of the size
// field (leaving it would put a size beyond 1024 back to 100).
void paint(TestWindow& w, int pattern, const FieldTexts& fields) {
  w.field("TextOne")->setFocus();
  w.setFields(fields.x.c_str(), fields.y.c_str(), fields.size.c_str(), fields.zoom.c_str(),
              fields.brightness.c_str());
  click(w.pattern(pattern));
}

// A render that never paints leaves what Save and Copy take as it was: the
// picture on the screen and the view that painted it.
TEST(RefusedRender, LeavesThePictureThatSaveAndCopyTake) {
  struct Case {
    const char* what;
    int pattern;
    FieldTexts fields;
    const char* message;  // in the message shown; null: none
  };
  const Case cases[] = {
      {"offsets too large to count", 1, {"1e308", "1", "20", "1", "150"}, "offsets are too large"},
      {"a size beyond the window", 2, {"1", "1", "2000", "1", "150"}, "size 2000"},
      {"a size that paints no pixel", 3, {"1", "1", "0.5", "1", "150"}, nullptr},
  };
  QTemporaryDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow w;
    paint(w, 0, {"1", "1", "20", "1", "150"});
    const QImage shown = w.window->shownPicture();
    ASSERT_EQ(shown.size(), QSize(20, 20) * w.window->canvasDensity());

    paint(w, c.pattern, c.fields);
    if (c.message) {
      ASSERT_EQ(w.recorded.messageTexts.size(), 1);
      EXPECT_TRUE(w.recorded.messageTexts[0].contains(c.message)) << w.recorded.messageTexts[0].toStdString();
    } else {
      EXPECT_TRUE(w.recorded.messageTexts.isEmpty());
    }
    EXPECT_EQ(w.window->shownPicture(), shown);
    const picture::PictureParameters kept = w.window->shownParameters();
    EXPECT_EQ(kept.pattern, "atlas");
    EXPECT_EQ(kept.fields.size, "20");
    EXPECT_TRUE(kept.complete);

    QGuiApplication::clipboard()->clear();
    QTest::keyClick(w.window.get(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), shown);
    const QString path = dir.filePath(QString("after-%1.png").arg(c.pattern));
    w.recorded.saveAnswer = SaveChoice{path};
    QTest::keyClick(w.window.get(), Qt::Key_S, Qt::ControlModifier);
    while (w.window->saveJob().busy()) QCoreApplication::processEvents();
    EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), shown);
  }
}

// The window's limit is in picture pixels: the largest pictures paint whole
// at the screen's density (this suite also runs at QT_SCALE_FACTOR=2).
TEST(ScreenDensity, TheLargestPicturesPaintAtThisDensity) {
  struct Case {
    const char* what;
    FieldTexts fields;
    QSize picture;
  };
  const Case cases[] = {
      {"L: 1024 x 768", {"1", "1", "768", "0.15", "150"}, {1024, 768}},
      {"the largest square", {"1", "1", "1024", "0.15", "150"}, {1024, 1024}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestWindow w;
    paint(w, 0, c.fields);
    const int density = w.window->canvasDensity();  // the screen's, from the first render on
    if (const double factor = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(); factor > 0) {
      ASSERT_EQ(density, static_cast<int>(std::ceil(factor)));
    }
    EXPECT_TRUE(w.recorded.messageTexts.isEmpty()) << w.recorded.messageTexts.join("; ").toStdString();
    picture::PictureHost reference(c.fields, {density, 1});
    findPattern("atlas")->render(reference);
    ASSERT_EQ(reference.image().size(), c.picture * density);
    EXPECT_EQ(w.window->shownPicture(), reference.image());
  }
}

// One too many is refused, and the message says how large and what fits.
TEST(ScreenDensity, ARefusalNamesTheSizeAndTheLimit) {
  TestWindow w;
  paint(w, 0, {"1", "1", "1025", "1", "150"});
  ASSERT_EQ(w.recorded.messageTexts.size(), 1);
  const QString text = w.recorded.messageTexts[0];
  for (const char* named : {"too large", "size 1025", "1024 x 1024"})
    EXPECT_TRUE(text.contains(named)) << named << " not in: " << text.toStdString();
  EXPECT_EQ(w.paintedColumns(), 0);
}

}  // namespace
}  // namespace plorvex::app::testing_support
