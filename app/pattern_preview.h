// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hovering a pattern button shows, after a short pause, a small picture of
// that pattern at the texts the fields hold: the same part of the pattern as
// a press would paint, 128 pixels wide and of the picture's shape. It is rendered on a thread of its own,
// so the window never waits, and kept while the texts stay the same.

#include <QImage>
#include <QObject>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "headless.h"

class QLabel;
class QWidget;

namespace plorvex::picture {
class PictureHost;
}

namespace plorvex::app {

class FieldPanel;

class PatternPreview : public QObject {
  Q_OBJECT
 public:
  static constexpr int kPauseMs = 600;
  static constexpr int kSide = 128;  // the preview's width in pixels

  // Shown on `window` beside the button hovered.
  PatternPreview(QWidget& window, const FieldPanel& fields, const QList<QWidget*>& buttons);
  ~PatternPreview() override;

  // The texts a preview of `pattern` at these field texts is rendered from:
  // the same view, kSide pixels square; none when the view cannot be shown.
  static std::optional<FieldTexts> previewTexts(int pattern, const FieldTexts& fields);
  // The rows of that square that show the picture's part: all of them for a
  // square picture, the middle 96 for a picture of 1024 x 768.
  static QRect pictureRows(int pattern, const FieldTexts& fields);
  // The preview on show, if any (tests read it).
  const QLabel* shown() const;
  int rendersStarted() const { return rendersStarted_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void hovered(int pattern);
  void showPreview();
  void rendered(int pattern, FieldTexts fields, QImage image);
  void stopRender();

  QWidget& window_;
  const FieldPanel& fields_;
  QList<QWidget*> buttons_;
  QTimer pause_;
  QLabel* label_ = nullptr;
  int hoveredPattern_ = -1;
  // Previews of the current field texts, by pattern.
  FieldTexts cachedFields_;
  std::map<int, QImage> cache_;
  std::thread thread_;
  std::shared_ptr<picture::PictureHost> renderHost_;
  int rendering_ = -1;  // the pattern being rendered, or -1
  int rendersStarted_ = 0;
};

}  // namespace plorvex::app
