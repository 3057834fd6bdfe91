// SPDX-License-Identifier: GPL-3.0-or-later
// The view parameter controls: each rewrite with its exact text.

#include <gtest/gtest.h>

#include <QTest>

#include "pattern_cases.h"
#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

QStringList fieldTexts(const TestWindow& w) {
  return {w.field("TextOne")->text(), w.field("TextTwo")->text(), w.field("TextThree")->text(),
          w.field("TextFour")->text(), w.field("Textfive")->text()};
}

TEST(ViewParameters, PresetsWriteTheirLiteralTexts) {
  TestWindow w;
  click(w.control("cmdb"));
  EXPECT_EQ(fieldTexts(w), (QStringList{"-250", "-250", "500", "0.2", "150"}));
  click(w.control("cmd1"));
  EXPECT_EQ(w.field("TextThree")->text(), "300");
  click(w.control("Command4"));
  EXPECT_EQ(w.field("TextThree")->text(), "768");
  EXPECT_EQ(w.field("TextFour")->text(), "0.15");
  click(w.control("Command3"));
  EXPECT_EQ(fieldTexts(w), (QStringList{"1", "1", "100", "1", "150"}));
}

struct Step {
  const char* control;  // a button, or a label when it starts with "Label"
  const char* field;
  const char* before;
  const char* after;
};

class OneStep : public testing::TestWithParam<Step> {};

// "cmdXX_1_from_0p15": the control and the text it starts from.
std::string stepName(const testing::TestParamInfo<Step>& info) {
  return plorvex::testing_support::namePart(info.param.control) + "_from_" +
         plorvex::testing_support::namePart(info.param.before);
}

TEST_P(OneStep, RewritesItsField) {
  const Step& s = GetParam();
  TestWindow w;
  w.field(s.field)->setText(s.before);
  QWidget* control = w.control(s.control);
  ASSERT_NE(control, nullptr) << s.control;
  if (QString(s.control).startsWith("Label")) {
    QTest::mousePress(control, Qt::LeftButton);
  } else {
    click(control);
  }
  EXPECT_EQ(w.field(s.field)->text(), s.after) << s.control << " on \"" << s.before << '"';
  EXPECT_TRUE(w.recorded.messageTexts.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Panning, OneStep, testing::Values(
    Step{"horz(0)", "TextOne", "1", "251"}, Step{"horz(1)", "TextOne", "1", "-249"},
    Step{"verty(0)", "TextTwo", "-250", "0"}, Step{"verty(1)", "TextTwo", "0.5", "-249.5"},
    Step{"horz(0)", "TextOne", "abc", "250"}, Step{"horz(1)", "TextOne", "1E20", "1E+20"}),
    stepName);

INSTANTIATE_TEST_SUITE_P(Zoom, OneStep, testing::Values(
    Step{"cmdXX(0)", "TextFour", "1", "2"}, Step{"cmdXX(1)", "TextFour", "1", "0.5"},
    Step{"Label8", "TextFour", "0.15", "0.3"}, Step{"Label17", "TextFour", "0.15", "0.075"},
    Step{"cmdXX(0)", "TextFour", "", "0"}, Step{"cmdXX(1)", "TextFour", "0.0001220703125",
                                                "6.103515625E-05"}), stepName);

INSTANTIATE_TEST_SUITE_P(OffsetScaling, OneStep, testing::Values(
    Step{"cmdblue(0)", "TextTwo", "-250", "-500"}, Step{"cmdblue(1)", "TextTwo", "-250", "-125"},
    Step{"cmdblue(2)", "TextOne", "3", "6"}, Step{"cmdblue(3)", "TextOne", "3", "1.5"},
    Step{"cmdblue(2)", "TextOne", "&H10", "32"}), stepName);

TEST(ViewParameters, FourteenZoomHalvingsEndInScientificForm) {
  TestWindow w;
  QStringList texts;
  for (int n = 0; n < 14; ++n) {
    click(w.control("cmdXX(1)"));
    texts << w.field("TextFour")->text();
  }
  EXPECT_EQ(texts.first(), "0.5");
  EXPECT_EQ(texts[1], "0.25");
  EXPECT_EQ(texts[12], "0.0001220703125");
  EXPECT_EQ(texts.last(), "6.103515625E-05");
}

TEST(ViewParameters, ADoublingThatOverflowsReportsItAndLeavesTheField) {
  TestWindow w;
  for (const char* start : {"1E308", "1.7976931348623157E308", "1E309"}) {
    w.recorded.messageTexts.clear();
    w.field("TextFour")->setText(start);
    click(w.control("cmdXX(0)"));
    EXPECT_EQ(w.field("TextFour")->text(), start);
    ASSERT_EQ(w.recorded.messageTexts.size(), 1) << start;
    EXPECT_EQ(w.recorded.messageTexts.first(), "Overflow");
  }
  w.field("TextOne")->setText("-1E308");
  click(w.control("cmdblue(2)"));
  EXPECT_EQ(w.field("TextOne")->text(), "-1E308");
}

TEST(ViewParameters, LeavingTheSizeFieldKeepsSizesFrom1To1024) {
  TestWindow w;
  struct Case {
    const char* typed;
    const char* kept;
  };
  for (const Case c : {Case{"0.5", "100"}, Case{"2000", "100"}, Case{"1", "1"}, Case{"1024", "1024"},
                       Case{"1024.5", "100"}, Case{"512.25", "512.25"}, Case{"abc", "100"},
                       Case{"-3", "100"}, Case{"1E400", "100"}, Case{"768", "768"}}) {
    QLineEdit* size = w.field("TextThree");
    size->setFocus();
    size->setText(c.typed);
    QTest::keyClick(size, Qt::Key_Tab);
    EXPECT_EQ(size->text(), c.kept) << c.typed;
  }
}

TEST(ViewParameters, ClickingALabelDoesNotMoveTheFocusOrCheckTheSize) {
  TestWindow w;
  QLineEdit* size = w.field("TextThree");
  size->setFocus();
  size->setText("2000");
  QTest::mousePress(w.control("Label8"), Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), size);
  EXPECT_EQ(size->text(), "2000");
  // Pressing a button takes the focus, so the size is checked before the press acts.
  click(w.control("cmdXX(1)"));
  EXPECT_EQ(size->text(), "100");
}

TEST(ViewParameters, TypedTextGoesIntoTheSizeField) {
  TestWindow w;
  QTest::keyClicks(QApplication::focusWidget(), "7");
  EXPECT_EQ(w.field("TextThree")->text(), "1507");
}

}  // namespace
}  // namespace plorvex::app::testing_support
