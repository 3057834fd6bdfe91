// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window's kinds of control: a push button that shows its background
// colour, a label that reports clicks and mouse movement, and the inventory
// tables that place every control.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPushButton>

#include <span>

#include "catalogue.h"

namespace plorvex::app {

struct FontSpec {
  const char* family;
  double points;  // at 96 dots per inch
  bool bold;
};

inline constexpr FontSpec kDefaultFont{"MS Sans Serif", 8.25, true};

// A font with the pixel size its point size has at 96 dots per inch, so the
// layout does not depend on the screen's reported resolution.
QFont fontFor(const FontSpec& layout);

// Registers free fonts in place of the ones the layout was designed with.
void registerFontSubstitutes();

// A push button drawn flat in its own background colour.
class ColourButton : public QPushButton {
  Q_OBJECT
 public:
  using QPushButton::QPushButton;
  QColor background() const { return background_; }
  void setBackground(const QColor& colour);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor background_{128, 128, 128};
};

// A label that also reacts to clicks and to the mouse moving over it.
class ClickLabel : public QLabel {
  Q_OBJECT
 public:
  explicit ClickLabel(QWidget* parent);
  QColor textColour() const;
  void setTextColour(const QColor& colour);

 signals:
  void clicked();
  void mouseMoved();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
};

struct ButtonSpec {
  const char* name;
  const char* caption;
  int left, top, width, height;
  QRgb background;
  FontSpec font;
  const char* tooltip;
  int tab;
};

struct FieldSpec {
  const char* name;
  int left, top, width, height;
  QRgb background;
  QRgb text;
  FontSpec font;
  const char* initialText;
  const char* tooltip;
  int tab;
};

struct LabelSpec {
  const char* name;
  const char* caption;
  int left, top, width, height;
  QRgb text;
  FontSpec font;
  const char* tooltip;
  bool transparent;
  QRgb background;
};

inline constexpr QRgb kNeutralButton = 0xFF808080;  // RGB(128, 128, 128)

// Pattern button k: caption and tab position; all share size, colour and font.
struct PatternButtonSpec {
  const char* caption;
  int tab;
};
ButtonSpec patternButtonSpec(int index);

std::span<const ButtonSpec> otherButtonSpecs();
std::span<const FieldSpec> fieldSpecs();
std::span<const LabelSpec> labelSpecs();

// The maker's web address: the link button's caption and the browser's page.
inline constexpr const char* kMakerAddress = "https://plorvex.example/";

}  // namespace plorvex::app
