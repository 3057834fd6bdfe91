// SPDX-License-Identifier: GPL-3.0-or-later
// The window as it opens: every control in place with its look, the focus,
// the tab order, the initial texts.

#include <gtest/gtest.h>

#include <QLabel>
#include <QTest>

#include "window_support.h"

namespace plorvex::app::testing_support {
namespace {

struct Expected {
  const char* name;
  int left, top, width, height;
  const char* caption;
  QRgb background;  // 0: not checked
  const char* tooltip;
};

QRgb rgb(int r, int g, int b) { return qRgb(r, g, b); }

TEST(WindowInventory, EveryButtonSitsInPlaceWithItsCaptionColourAndTooltip) {
  TestWindow w;
  const char* captions[] = {"atlas", "bobcat", "canut", "dada", "entropy", "frazzle", "griffin",
                            "helios", "icey", "jolli", "kate", "lazy", "nitegale", "ombud",
                            "pluck", "quaff", "ripple", "sizzle", "tracer"};
  for (int k = 0; k < 19; ++k) {
    auto* button = qobject_cast<ColourButton*>(w.pattern(k));
    ASSERT_NE(button, nullptr) << k;
    EXPECT_EQ(button->geometry(), QRect(24, 320 + 32 * k, 105, 25)) << k;
    EXPECT_EQ(button->text(), captions[k]);
    EXPECT_EQ(button->background().rgb(), rgb(128, 128, 128));
    EXPECT_TRUE(button->isVisible());
  }
  const Expected buttons[] = {
      {"cmdstop", 80, 280, 65, 25, "halt !", rgb(0, 255, 255), ""},
      {"Command3", 8, 280, 65, 25, "reset", rgb(255, 0, 255), ""},
      {"cmd1", 16, 96, 24, 22, "S", rgb(144, 128, 192), "  Small  "},
      {"cmdb", 40, 96, 36, 25, "M", rgb(160, 128, 192), "  Medium  "},
      {"Command4", 76, 96, 60, 33, "L", rgb(176, 128, 192), "  Large  "},
      {"cmdXX(0)", 16, 36, 60, 45, "<", rgb(0, 192, 192), "Log Xoom"},
      {"cmdXX(1)", 76, 36, 61, 45, ">", rgb(0, 192, 192), "Log Xoom"},
      {"verty(0)", 88, 176, 49, 26, "V", rgb(192, 176, 255), ""},
      {"verty(1)", 88, 150, 49, 26, "^", rgb(192, 176, 255), ""},
      {"horz(0)", 112, 202, 25, 36, ">", rgb(160, 192, 255), ""},
      {"horz(1)", 88, 202, 25, 36, "<", rgb(160, 192, 255), ""},
      {"cmdblue(0)", 16, 160, 36, 20, "x", rgb(160, 48, 255), ""},
      {"cmdblue(1)", 52, 160, 36, 20, "/", rgb(160, 48, 255), ""},
      {"cmdblue(2)", 16, 218, 36, 20, "x", rgb(128, 128, 255), ""},
      {"cmdblue(3)", 52, 218, 36, 20, "/", rgb(128, 128, 255), ""},
      {"Command1", 992, 8, 193, 22, kMakerAddress, rgb(96, 160, 255), ""},
  };
  for (const Expected& e : buttons) {
    auto* button = qobject_cast<ColourButton*>(w.control(e.name));
    ASSERT_NE(button, nullptr) << e.name;
    EXPECT_EQ(button->geometry(), QRect(e.left, e.top, e.width, e.height)) << e.name;
    EXPECT_EQ(button->text(), e.caption) << e.name;
    EXPECT_EQ(button->background().rgb(), e.background) << e.name;
    EXPECT_EQ(button->toolTip(), e.tooltip) << e.name;
    EXPECT_TRUE(button->isVisible()) << e.name;
  }
  for (const char* hidden : {"cmdXX(2)", "cmdXX(3)"}) {
    QWidget* button = w.control(hidden);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isVisible()) << hidden;
  }
}

TEST(WindowInventory, FieldsShowTheirInitialTextsInTheirColours) {
  TestWindow w;
  struct Field {
    const char* name;
    QRect geometry;
    const char* text;
    QRgb base, ink;
    const char* tooltip;
  };
  const Field fields[] = {
      {"TextThree", {16, 122, 59, 19}, "150", rgb(96, 0, 128), rgb(255, 192, 255), "Size of image"},
      {"TextTwo", {16, 180, 73, 19}, "1", rgb(175, 128, 255), rgb(255, 255, 255), "Move image up or down"},
      {"TextOne", {16, 200, 73, 19}, "1", rgb(128, 128, 255), rgb(255, 255, 255), "Move image left or right"},
      {"Textfive", {80, 248, 57, 19}, "150", rgb(0, 64, 0), rgb(192, 255, 192), "Vary the brightness of colour"},
      {"TextFour", {76, 5, 273, 24}, "1", rgb(0, 128, 128), rgb(192, 255, 255),
       "  Set the Xoom to a frcation to xoom into the plorvex,  "},
  };
  for (const Field& f : fields) {
    QLineEdit* edit = w.field(f.name);
    ASSERT_NE(edit, nullptr) << f.name;
    EXPECT_EQ(edit->geometry(), f.geometry) << f.name;
    EXPECT_EQ(edit->text(), f.text) << f.name;
    EXPECT_EQ(edit->palette().color(QPalette::Base).rgb(), f.base) << f.name;
    EXPECT_EQ(edit->palette().color(QPalette::Text).rgb(), f.ink) << f.name;
    EXPECT_EQ(edit->toolTip(), f.tooltip) << f.name;
  }
}

TEST(WindowInventory, LabelsCarryTheirTextsColoursAndTooltips) {
  TestWindow w;
  struct Label {
    const char* name;
    QRect geometry;
    const char* caption;
    QRgb ink;
    const char* tooltip;
    bool opaque;
  };
  const Label labels[] = {
      {"Label5", {568, 8, 223, 25}, "PLORVEX PICTURE MAKER", rgb(128, 128, 128), "", false},
      {"Label6", {832, 8, 167, 25}, "VERSION   1.2014", rgb(128, 128, 128), "", false},
      {"Label7", {1240, 0, 17, 25}, "-", rgb(128, 128, 255), "minimize", true},
      {"Label2", {24, 8, 33, 17}, "exit", rgb(192, 0, 0), "", false},
      {"Label17", {356, 4, 20, 25}, "X", rgb(0, 192, 192), "", true},
      {"Label8", {376, 8, 41, 17}, "OOM", rgb(0, 192, 192), "", true},
      {"Label9(0)", {16, 248, 65, 17}, "brightness", rgb(192, 255, 192), "", false},
      {"Label9(1)", {96, 132, 41, 17}, "side", rgb(255, 192, 255), "", false},
      {"Label9(2)", {16, 144, 65, 17}, "zero point", rgb(192, 192, 255), "", false},
      {"Label3", {8, 88, 137, 184}, "", 0, "", true},
      {"Label10", {8, 312, 137, 773}, "", 0, "", true},
      {"Label13", {0, 992, 1273, 33}, "Label13", 0, "", true},
  };
  for (const Label& l : labels) {
    auto* label = w.window->findChild<QLabel*>(l.name);
    ASSERT_NE(label, nullptr) << l.name;
    EXPECT_EQ(label->geometry(), l.geometry) << l.name;
    EXPECT_EQ(label->text(), l.caption) << l.name;
    if (l.ink) {
      EXPECT_EQ(label->palette().color(QPalette::WindowText).rgb(), l.ink) << l.name;
    }
    EXPECT_EQ(label->toolTip(), l.tooltip) << l.name;
    EXPECT_EQ(label->autoFillBackground(), l.opaque) << l.name;
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << l.name;
  }
  for (const char* panel : {"Label3", "Label10", "Label13"})
    EXPECT_EQ(w.window->findChild<QLabel*>(panel)->palette().color(QPalette::Window).rgb(), rgb(0, 0, 0));
  // The exit marks: "<" keeps its design colour until the first tick.
  auto* left = w.window->findChild<QLabel*>("Label4");
  EXPECT_EQ(left->geometry(), QRect(8, 4, 17, 17));
  EXPECT_EQ(left->toolTip(), "  Exit  ");
  EXPECT_EQ(left->palette().color(QPalette::WindowText).rgb(), rgb(255, 0, 0));
  auto* exit = w.window->findChild<QLabel*>("Label1");
  EXPECT_EQ(exit->geometry(), QRect(1256, 0, 25, 33));
  EXPECT_EQ(exit->toolTip(), "exit");
}

TEST(WindowInventory, ThePanelsLieBehindTheControls) {
  TestWindow w;
  const QObjectList& children = w.window->children();
  const auto position = [&](const char* name) { return children.indexOf(w.control(name)); };
  for (const char* panel : {"Label3", "Label10"})
    for (const char* control : {"TextThree", "cmd1", "CMD(0)", "CMD(18)", "Label9(1)"})
      EXPECT_LT(position(panel), position(control)) << panel << " over " << control;
}

TEST(WindowInventory, OpensFramelessMaximisedGreyWithTheFocusInTheSizeField) {
  TestWindow w;
  EXPECT_EQ(w.window->objectName(), "qTac");
  EXPECT_TRUE(w.window->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_TRUE(w.window->windowState() & Qt::WindowMaximized);
  EXPECT_EQ(w.canvasPixel(600, 600), rgb(64, 64, 64));
  EXPECT_GE(w.window->canvas().width(), 1272);
  EXPECT_GE(w.window->canvas().height(), 51 + 1024);
  EXPECT_EQ(QApplication::focusWidget(), w.field("TextThree"));
}

TEST(WindowInventory, TabWalksTheFocusOrderAndSkipsHiddenButtons) {
  TestWindow w;
  const char* expected[] = {"TextTwo", "TextOne", "Textfive", "Command3", "CMD(0)", "CMD(1)",
                            "CMD(2)", "CMD(3)", "CMD(4)", "CMD(5)", "CMD(6)", "CMD(7)", "CMD(8)",
                            "TextFour", "CMD(9)", "CMD(10)", "cmdstop", "CMD(11)", "CMD(12)",
                            "CMD(13)", "CMD(14)", "CMD(15)", "CMD(16)", "cmd1", "cmdb",
                            "Command4", "CMD(17)", "cmdXX(0)", "cmdXX(1)", "verty(0)", "verty(1)",
                            "horz(0)", "horz(1)", "cmdblue(0)", "cmdblue(1)", "cmdblue(2)",
                            "cmdblue(3)", "Command1", "CMD(18)", "TextThree"};
  w.field("TextThree")->setFocus();
  for (const char* name : expected) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget()->objectName(), name);
  }
}

}  // namespace
}  // namespace plorvex::app::testing_support
