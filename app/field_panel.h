// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The five fields a render reads (x offset, y offset, size, zoom,
// brightness): their texts in one order, the presets and steps that rewrite
// them, the size check, and Return. A text written here shows its start,
// with the whole text in the field's tooltip.

#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <string>

#include "frame.h"
#include "headless.h"

class QLineEdit;
class QWidget;

namespace plorvex::app {

class FieldPanel : public QObject {
  Q_OBJECT
 public:
  // The fields are laid out on `window`; `tellOverflow` reports a step beyond double precision.
  FieldPanel(QWidget& window, std::function<void()> tellOverflow);

  QLineEdit* edit(Field which) const { return edits_[static_cast<std::size_t>(which)]; }
  const std::array<QLineEdit*, 5>& edits() const { return edits_; }
  std::string text(Field which) const;
  FieldTexts texts() const;
  void setTexts(const FieldTexts& texts);

  // S, M, L and reset.
  void presetSmall();
  void presetMedium();
  void presetLarge();
  void reset();
  // Pans by 250 either way, doubles and halves a field's number.
  void pan(Field which, bool forward);
  void scale(Field which, bool doubled);
  // A size outside 1..1024 becomes 100.
  void checkSize();

 signals:
  // Return or Enter in any field, after the size check.
  void returnPressed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void show(Field which, const QString& text);
  void describe(Field which);
  // Rewrites a field with a number computed from its value; an overflow is
  // reported and leaves the field as it was.
  void rewrite(Field which, const std::function<double(double)>& compute);

  std::array<QLineEdit*, 5> edits_{};
  std::array<QString, 5> descriptions_;  // what each field is for
  std::function<void()> tellOverflow_;
};

}  // namespace plorvex::app
