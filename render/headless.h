// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A render host without a window: a canvas in memory and five field texts.
// The command-line renderer, the tests and the benchmarks paint on it.

#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "frame.h"

namespace plorvex {

struct FieldTexts {
  std::string x = "1";
  std::string y = "1";
  std::string size = "150";
  std::string zoom = "1";
  std::string brightness = "150";

  const std::string& operator[](Field field) const;
};

inline constexpr Colour kBackground = rgb(64, 64, 64);
inline constexpr int kCanvasMinWidth = 1272;
inline constexpr int kCanvasMinHeight = 1016;
// The most pixels a headless canvas holds (1 GiB of colours).
inline constexpr std::size_t kMaxCanvasPixels = std::size_t{1} << 28;

class HeadlessHost : public RenderHost {
 public:
  explicit HeadlessHost(FieldTexts fields = {});

  FieldTexts fields;
  std::string halt;  // the halt flag; "p" stops the running render
  // Runs at every yield with the number of yields so far (tests use it to
  // halt, edit fields or start nested renders).
  std::function<void(std::size_t)> onYield;
  PictureLimits limits{1u << 16, 1u << 16, 1u << 27};
  // The canvas is painted at this density and smoothing.
  Sampling samplingToUse;
  // Workers that compute columns ahead; none: every column on this thread.
  ColumnPool* pool = nullptr;

  std::string fieldText(Field field) override { return fields[field]; }
  PictureLimits pictureLimits() const override { return limits; }
  Sampling sampling() const override { return samplingToUse; }
  // Refuses a picture whose canvas would hold more than kMaxCanvasPixels.
  bool beginPicture(std::size_t columns, std::size_t rows) override;
  void plot(int x, int y, Colour colour) override;
  void columnPainted(int, int, int) override {}
  void yield() override;
  std::string haltFlag() const override { return halt; }
  bool abandoned() const override { return false; }
  ColumnPool* columnPool() override { return pool; }

  // The canvas in pixels at the density of the last picture begun.
  int width() const { return width_; }
  int height() const { return height_; }
  Colour pixel(int x, int y) const { return canvas_[static_cast<std::size_t>(y) * width_ + x]; }
  // The size of the last sweep begun on this host.
  std::size_t pictureColumns() const { return pictureColumns_; }
  std::size_t pictureRows() const { return pictureRows_; }
  std::size_t yields() const { return yields_; }
  std::size_t plots() const { return plots_; }
  // Plots that fell outside the canvas (none should).
  std::size_t strayPlots() const { return strayPlots_; }

 private:
  void growCanvas(int width, int height);

  std::size_t density_ = 1;
  int width_ = 0;
  int height_ = 0;
  std::vector<Colour> canvas_;
  std::size_t pictureColumns_ = 0;
  std::size_t pictureRows_ = 0;
  std::size_t yields_ = 0;
  std::size_t plots_ = 0;
  std::size_t strayPlots_ = 0;
};

}  // namespace plorvex
