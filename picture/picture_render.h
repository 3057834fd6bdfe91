// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A render into an image of the picture alone, at any density: what the
// command line writes and what the window saves at a larger size. The image is
// the only full copy of the picture; it is made once the picture's size is
// known and filled column by column.

#include <QImage>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "frame.h"
#include "headless.h"

namespace plorvex::picture {

// The largest picture rendered to an image: 2^28 pixels, 1 GiB at 4 bytes a
// pixel (16384 x 16384; size 768 at density 16, 16384 x 12288, fits).
inline constexpr std::size_t kMaxPicturePixels = std::size_t{1} << 28;
// The most columns or rows before density, as on a headless canvas.
inline constexpr std::size_t kMaxPictureSide = std::size_t{1} << 16;

// Every picture file written carries the same resolution, 96 dots per inch,
// whichever program made it and whatever screen it ran on.
void stampResolution(QImage& image);

// The limits above, in words, for a refusal.
std::string pictureLimitText();

// What stopped a render, for a message: the fault, the limits of a picture too
// large, the output pixel and the counters of a fault during the sweep.
std::string faultDescription(const RenderOutcome& outcome);

class PictureHost final : public RenderHost {
 public:
  PictureHost(FieldTexts fields, Sampling sampling, ColumnPool* pool = nullptr);

  // After every column, with the columns painted so far and their total.
  std::function<void(std::size_t done, std::size_t total)> onColumn;
  // May be called from any thread: the render halts after its current column.
  void cancel() { cancelled_ = true; }
  bool cancelled() const { return cancelled_; }
  // The picture; pixels not painted (after a fault or a halt) are the canvas grey.
  const QImage& image() const { return image_; }

  std::string fieldText(Field field) override { return fields_[field]; }
  PictureLimits pictureLimits() const override;
  Sampling sampling() const override { return sampling_; }
  bool beginPicture(std::size_t columns, std::size_t rows) override;
  void plot(int x, int y, Colour colour) override;
  void columnPainted(int, int, int) override {}
  void yield() override;
  std::string haltFlag() const override { return cancelled_ ? "p" : ""; }
  bool abandoned() const override { return false; }
  ColumnPool* columnPool() override { return pool_; }

 private:
  const FieldTexts fields_;
  const Sampling sampling_;
  ColumnPool* const pool_;
  std::atomic<bool> cancelled_{false};
  QImage image_;
  uchar* bits_ = nullptr;
  qsizetype bytesPerLine_ = 0;
  int left_ = 0;  // the picture's first canvas pixel at the density
  int top_ = 0;
  std::size_t columns_ = 0;
  std::size_t done_ = 0;
};

}  // namespace plorvex::picture
