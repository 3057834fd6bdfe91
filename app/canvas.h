// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The picture the window shows. Renders paint into its image; a gesture's
// instant feedback is a preview: the last whole picture moved or scaled to
// where it now belongs, painted over the image and never into it. The
// columns of the render that follows replace the preview as they arrive, so
// a run of gestures never shows background where a picture was.

#include <QImage>
#include <QObject>
#include <QRect>
#include <QTransform>

#include <vector>

#include "frame.h"
#include "headless.h"

class QPainter;

namespace plorvex::app {

// The most recent render that began a picture: what it read and where its
// picture lies.
struct ShownPicture {
  int serial = 0;
  int pattern = -1;
  FieldTexts fields;
  QRect rect;  // plain canvas pixels; empty: it painted nothing
  bool complete = false;     // the render ran to its end
  bool overpainted = false;  // another render painted over part of it since
};

class Canvas : public QObject {
  Q_OBJECT
 public:
  explicit Canvas(QSize plainSize);

  // The image renders paint, in pixels at the density.
  const QImage& image() const { return image_; }
  int density() const { return density_; }
  const ShownPicture& shown() const { return shown_; }
  // The shown picture is one render's own pixels, and no preview covers them.
  bool whole() const;
  bool previewing() const { return previewing_; }

  // Grows the image to cover `plainSize` (it never shrinks).
  void grow(QSize plainSize);
  // Paints at another density from now on (between renders).
  void adoptDensity(int density);

  // What a render does to it.
  void plot(int x, int y, Colour colour);
  void beginPicture(const ShownPicture& picture);
  // A column of plain pixels painted; by the shown picture's own render or another's.
  void columnPainted(int x, int yTop, int yBottom, bool byShownRender);
  void renderEnded(int serial, bool completed);

  // Moves or scales the preview by `step`, in plain canvas pixels; the first
  // step starts one from what is shown. The pictures of earlier steps of the
  // same run stay beneath it, moved and scaled along, to show where it does
  // not reach (zooming out of a picture that was zoomed into).
  void transformPreview(const QTransform& step);
  // An exact move: the image's pixels move by `step` (uncovered pixels are
  // background, for a moved render to fill), and the picture is then the
  // render of `fields`.
  void scrollPicture(QPoint step);
  void becameWhole(const FieldTexts& fields);

  // The shown picture as the window shows it, in pixels at the density.
  QImage shownPicture() const;
  // Paints the plain canvas area `area` (the painter in plain canvas pixels).
  void paint(QPainter& painter, const QRect& area) const;

 signals:
  // Plain canvas pixels that look different now.
  void changed(const QRect& area);
  // A render began a picture here.
  void pictureBegun(const QRect& rect);

 private:
  void paintPreview(QPainter& painter) const;
  // Writes the preview into the image and ends it: what was shown stays.
  void settlePreview();
  void endPreview();
  // The pictures beneath belong to another view now.
  void dropLayers();

  QImage image_;
  int density_ = 1;
  ShownPicture shown_;
  // A picture once shown, where it lay, and where it lies now.
  struct Layer {
    QImage pixels;  // at the density, shown one pixel for one
    QRect rect;     // plain canvas pixels
    QTransform transform;
  };
  static constexpr std::size_t kMaxLayers = 3;
  // The preview's pictures, the newest last; they outlive the preview while
  // the renders that follow are the same run of gestures.
  std::vector<Layer> layers_;
  bool previewing_ = false;
  // Columns of the shown picture its render painted since the preview last
  // moved; they show through the preview.
  int freshSerial_ = -1;
  std::vector<bool> fresh_;
  int freshCount_ = 0;
};

}  // namespace plorvex::app
