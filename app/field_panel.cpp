// SPDX-License-Identifier: GPL-3.0-or-later
#include "field_panel.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>

#include <cmath>

#include "controls.h"
#include "val.h"

namespace plorvex::app {
namespace {

constexpr double kPanStep = 250;
constexpr double kLargestSize = 1024;
const char* const kSizeAfterCheck = "100";

// The inventory lists the fields in tab order, not in the order of the texts.
constexpr Field kInventoryOrder[] = {Field::Three, Field::Two, Field::One, Field::Five, Field::Four};

}  // namespace

FieldPanel::FieldPanel(QWidget& window, std::function<void()> tellOverflow)
    : tellOverflow_(std::move(tellOverflow)) {
  for (std::size_t k = 0; k < fieldSpecs().size(); ++k) {
    const FieldSpec& layout = fieldSpecs()[k];
    auto* edit = new QLineEdit(QString::fromUtf8(layout.initialText), &window);
    edit->setObjectName(layout.name);
    edit->setGeometry(layout.left, layout.top, layout.width, layout.height);
    edit->setFont(fontFor(layout.font));
    edit->setToolTip(layout.tooltip);
    edit->setTextMargins(0, 0, 0, 0);
    QPalette p = edit->palette();
    p.setColor(QPalette::Base, QColor::fromRgb(layout.background));
    p.setColor(QPalette::Text, QColor::fromRgb(layout.text));
    edit->setPalette(p);
    edit->setProperty("tabPosition", layout.tab);
    const Field which = kInventoryOrder[k];
    descriptions_[static_cast<std::size_t>(which)] = layout.tooltip;
    connect(edit, &QLineEdit::textChanged, this, [this, which] { describe(which); });
    edit->installEventFilter(this);
    edits_[static_cast<std::size_t>(which)] = edit;
  }
}

// A text too long for its field is read whole in the tooltip, under what the field is for.
void FieldPanel::describe(Field which) {
  QLineEdit* field = edit(which);
  const QString& description = descriptions_[static_cast<std::size_t>(which)];
  field->setToolTip(description.trimmed().isEmpty() ? field->text() : description + "\n" + field->text());
}

std::string FieldPanel::text(Field which) const { return edit(which)->text().toStdString(); }

FieldTexts FieldPanel::texts() const {
  return FieldTexts{text(Field::One), text(Field::Two), text(Field::Three), text(Field::Four), text(Field::Five)};
}

void FieldPanel::setTexts(const FieldTexts& texts) {
  for (const Field which : {Field::One, Field::Two, Field::Three, Field::Four, Field::Five})
    show(which, QString::fromStdString(texts[which]));
}

// A number longer than its field shows its sign, integer part and point.
void FieldPanel::show(Field which, const QString& text) {
  QLineEdit* field = edit(which);
  field->setText(text);
  field->setCursorPosition(0);
  describe(which);
}

void FieldPanel::presetSmall() { show(Field::Three, "300"); }

void FieldPanel::presetMedium() {
  show(Field::Four, "0.2");
  show(Field::Three, "500");
  show(Field::One, "-250");
  show(Field::Two, "-250");
}

void FieldPanel::presetLarge() {
  show(Field::Three, "768");
  show(Field::Four, "0.15");
}

void FieldPanel::reset() { setTexts(FieldTexts{"1", "1", "100", "1", "150"}); }

void FieldPanel::pan(Field which, bool forward) {
  rewrite(which, [forward](double v) { return forward ? v + kPanStep : v - kPanStep; });
}

void FieldPanel::scale(Field which, bool doubled) {
  rewrite(which, [doubled](double v) { return doubled ? v + v : v / 2; });
}

void FieldPanel::rewrite(Field which, const std::function<double(double)>& compute) {
  double result = 0;
  try {
    result = compute(val(text(which)));
  } catch (const ArithmeticFault&) {
    result = NAN;
  }
  if (!std::isfinite(result)) {
    tellOverflow_();
    return;
  }
  show(which, QString::fromStdString(numberText(result)));
}

void FieldPanel::checkSize() {
  bool inRange = false;
  try {
    const double size = val(text(Field::Three));
    inRange = size >= 1 && size <= kLargestSize;
  } catch (const ArithmeticFault&) {
    // Beyond double precision is beyond the largest size too.
  }
  if (!inRange) show(Field::Three, kSizeAfterCheck);
}

bool FieldPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit(Field::Three) && event->type() == QEvent::FocusOut) {
    // Only a move to another control of this window counts, not a switch of window.
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) checkSize();
    return false;
  }
  if (event->type() != QEvent::KeyPress) return false;
  const auto* key = static_cast<QKeyEvent*>(event);
  if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) return false;
  if (key->modifiers() & ~Qt::KeypadModifier) return false;
  // As leaving the size field would, the size is checked first.
  if (watched == edit(Field::Three)) checkSize();
  emit returnPressed();
  return true;
}

}  // namespace plorvex::app
