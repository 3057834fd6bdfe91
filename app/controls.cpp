// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include <array>
#include <cmath>

namespace plorvex::app {

QFont fontFor(const FontSpec& layout) {
  QFont font(layout.family);
  font.setPixelSize(static_cast<int>(std::lround(layout.points * 96.0 / 72.0)));
  font.setBold(layout.bold);
  return font;
}

void registerFontSubstitutes() {
  QFont::insertSubstitutions("MS Sans Serif", {"Liberation Sans", "DejaVu Sans"});
  QFont::insertSubstitutions("Verdana", {"DejaVu Sans", "Liberation Sans"});
  QFont::insertSubstitutions("Courier New", {"Liberation Mono", "DejaVu Sans Mono"});
}

void ColourButton::setBackground(const QColor& colour) {
  background_ = colour;
  update();
}

void ColourButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect r = rect();
  painter.fillRect(r, background_);
  // A raised edge, sunk while the button is held down.
  const bool down = isDown();
  painter.setPen(down ? QColor(64, 64, 64) : QColor(255, 255, 255));
  painter.drawLine(r.topLeft(), r.topRight());
  painter.drawLine(r.topLeft(), r.bottomLeft());
  painter.setPen(down ? QColor(255, 255, 255) : QColor(0, 0, 0));
  painter.drawLine(r.bottomLeft(), r.bottomRight());
  painter.drawLine(r.topRight(), r.bottomRight());
  painter.setFont(font());
  painter.setPen(Qt::black);
  painter.drawText(r.translated(down ? 1 : 0, down ? 1 : 0), Qt::AlignCenter, text());
  if (hasFocus()) {
    QPen dotted(Qt::black, 1, Qt::DotLine);
    painter.setPen(dotted);
    painter.drawRect(r.adjusted(3, 3, -4, -4));
  }
}

ClickLabel::ClickLabel(QWidget* parent) : QLabel(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::NoFocus);
}

QColor ClickLabel::textColour() const { return palette().color(QPalette::WindowText); }

void ClickLabel::setTextColour(const QColor& colour) {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, colour);
  setPalette(p);
}

void ClickLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) emit clicked();
}

void ClickLabel::mouseMoveEvent(QMouseEvent*) { emit mouseMoved(); }

namespace {

constexpr FontSpec kVerdana12{"Verdana", 12, true};
constexpr FontSpec kVerdana975{"Verdana", 9.75, true};

constexpr std::array<PatternButtonSpec, kPatternButtons> kPatternButtonLayout{{
    {"atlas", 5},   {"bobcat", 6},  {"canut", 7},    {"dada", 8},    {"entropy", 9},
    {"frazzle", 10}, {"griffin", 11}, {"helios", 12},  {"icey", 13},   {"jolli", 21},
    {"kate", 22},   {"lazy", 25},   {"nitegale", 26}, {"ombud", 27},  {"pluck", 28},
    {"quaff", 29},  {"ripple", 30}, {"sizzle", 34},  {"tracer", 55},
}};

constexpr QRgb rgbOf(int r, int g, int b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

const std::array kOtherButtons{
    ButtonSpec{"cmdstop", "halt !", 80, 280, 65, 25, rgbOf(0, 255, 255), kVerdana975, "", 24},
    ButtonSpec{"Command3", "reset", 8, 280, 65, 25, rgbOf(255, 0, 255), kVerdana975, "", 4},
    ButtonSpec{"cmd1", "S", 16, 96, 24, 22, rgbOf(144, 128, 192), kDefaultFont, "  Small  ", 31},
    ButtonSpec{"cmdb", "M", 40, 96, 36, 25, rgbOf(160, 128, 192), {"MS Sans Serif", 9.75, true},
               "  Medium  ", 32},
    ButtonSpec{"Command4", "L", 76, 96, 60, 33, rgbOf(176, 128, 192), {"MS Sans Serif", 18, true},
               "  Large  ", 33},
    ButtonSpec{"cmdXX(0)", "<", 16, 36, 60, 45, rgbOf(0, 192, 192), kDefaultFont, "Log Xoom", 37},
    ButtonSpec{"cmdXX(1)", ">", 76, 36, 61, 45, rgbOf(0, 192, 192), kDefaultFont, "Log Xoom", 38},
    ButtonSpec{"cmdXX(2)", ">>", 1144, 0, 53, 20, rgbOf(0, 192, 192), kDefaultFont, "Log Xoom", 48},
    ButtonSpec{"cmdXX(3)", "<<", 1088, 0, 53, 20, rgbOf(0, 192, 192), kDefaultFont, "Log Xoom", 49},
    ButtonSpec{"verty(0)", "V", 88, 176, 49, 26, rgbOf(192, 176, 255), {"Courier New", 14.25, true},
               "", 39},
    ButtonSpec{"verty(1)", "^", 88, 150, 49, 26, rgbOf(192, 176, 255), {"Verdana", 14.25, true}, "",
               40},
    ButtonSpec{"horz(0)", ">", 112, 202, 25, 36, rgbOf(160, 192, 255), kDefaultFont, "", 41},
    ButtonSpec{"horz(1)", "<", 88, 202, 25, 36, rgbOf(160, 192, 255), kDefaultFont, "", 42},
    ButtonSpec{"cmdblue(0)", "x", 16, 160, 36, 20, rgbOf(160, 48, 255), kDefaultFont, "", 50},
    ButtonSpec{"cmdblue(1)", "/", 52, 160, 36, 20, rgbOf(160, 48, 255), kDefaultFont, "", 51},
    ButtonSpec{"cmdblue(2)", "x", 16, 218, 36, 20, rgbOf(128, 128, 255), kDefaultFont, "", 52},
    ButtonSpec{"cmdblue(3)", "/", 52, 218, 36, 20, rgbOf(128, 128, 255), kDefaultFont, "", 53},
    ButtonSpec{"Command1", kMakerAddress, 992, 8, 193, 22, rgbOf(96, 160, 255),
               {"Verdana", 8.25, false}, "", 54},
};

const std::array kFields{
    FieldSpec{"TextThree", 16, 122, 59, 19, rgbOf(96, 0, 128), rgbOf(255, 192, 255), kDefaultFont,
              "150", "Size of image", 0},
    FieldSpec{"TextTwo", 16, 180, 73, 19, rgbOf(175, 128, 255), rgbOf(255, 255, 255), kDefaultFont,
              "1", "Move image up or down", 1},
    FieldSpec{"TextOne", 16, 200, 73, 19, rgbOf(128, 128, 255), rgbOf(255, 255, 255), kDefaultFont,
              "1", "Move image left or right", 2},
    FieldSpec{"Textfive", 80, 248, 57, 19, rgbOf(0, 64, 0), rgbOf(192, 255, 192), kDefaultFont,
              "150", "Vary the brightness of colour", 3},
    FieldSpec{"TextFour", 76, 5, 273, 24, rgbOf(0, 128, 128), rgbOf(192, 255, 255), kVerdana975, "1",
              "  Set the Xoom to a frcation to xoom into the plorvex,  ", 16},
};

constexpr QRgb kWindowGrey = rgbOf(64, 64, 64);
constexpr QRgb kBlack = rgbOf(0, 0, 0);
constexpr FontSpec kPlainSans{"MS Sans Serif", 8.25, false};

// Panels first: they lie behind every other control.
const std::array kLabels{
    LabelSpec{"Label3", "", 8, 88, 137, 184, kBlack, kPlainSans, "", false, kBlack},
    LabelSpec{"Label10", "", 8, 312, 137, 773, kBlack, kPlainSans, "", false, kBlack},
    LabelSpec{"Label13", "Label13", 0, 992, 1273, 33, kBlack, kPlainSans, "", false, kBlack},
    LabelSpec{"Label5", "PLORVEX PICTURE MAKER", 568, 8, 223, 25, rgbOf(128, 128, 128),
              {"Verdana", 8.25, true}, "", true, kWindowGrey},
    LabelSpec{"Label6", "VERSION   1.2014", 832, 8, 167, 25, rgbOf(128, 128, 128),
              {"Verdana", 8.25, true}, "", true, kWindowGrey},
    LabelSpec{"Label1", "x", 1256, 0, 25, 33, rgbOf(128, 128, 255), {"MS Sans Serif", 13.5, true},
              "exit", false, kWindowGrey},
    LabelSpec{"Label7", "-", 1240, 0, 17, 25, rgbOf(128, 128, 255), {"MS Sans Serif", 13.5, true},
              "minimize", false, kWindowGrey},
    LabelSpec{"Label4", "<", 8, 4, 17, 17, rgbOf(255, 0, 0), {"MS Sans Serif", 12, true},
              "  Exit  ", false, kWindowGrey},
    LabelSpec{"Label2", "exit", 24, 8, 33, 17, rgbOf(192, 0, 0), kDefaultFont, "", true, kWindowGrey},
    LabelSpec{"Label17", "X", 356, 4, 20, 25, rgbOf(0, 192, 192), {"Verdana", 18, true}, "", false,
              kWindowGrey},
    LabelSpec{"Label8", "OOM", 376, 8, 41, 17, rgbOf(0, 192, 192), {"Verdana", 11.25, true}, "",
              false, kWindowGrey},
    LabelSpec{"Label9(0)", "brightness", 16, 248, 65, 17, rgbOf(192, 255, 192), kDefaultFont, "",
              true, kWindowGrey},
    LabelSpec{"Label9(1)", "side", 96, 132, 41, 17, rgbOf(255, 192, 255), kDefaultFont, "", true,
              kWindowGrey},
    LabelSpec{"Label9(2)", "zero point", 16, 144, 65, 17, rgbOf(192, 192, 255), kDefaultFont, "",
              true, kWindowGrey},
};

}  // namespace

ButtonSpec patternButtonSpec(int index) {
  const PatternButtonSpec& p = kPatternButtonLayout[static_cast<std::size_t>(index)];
  return ButtonSpec{"", p.caption, 24, 320 + 32 * index, 105, 25, kNeutralButton, kVerdana12, "",
                    p.tab};
}

std::span<const ButtonSpec> otherButtonSpecs() { return kOtherButtons; }
std::span<const FieldSpec> fieldSpecs() { return kFields; }
std::span<const LabelSpec> labelSpecs() { return kLabels; }

}  // namespace plorvex::app
