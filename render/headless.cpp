// SPDX-License-Identifier: GPL-3.0-or-later
#include "headless.h"

#include <algorithm>

namespace plorvex {

const std::string& FieldTexts::operator[](Field field) const {
  switch (field) {
    case Field::One: return x;
    case Field::Two: return y;
    case Field::Three: return size;
    case Field::Four: return zoom;
    case Field::Five: return brightness;
  }
  return x;
}

HeadlessHost::HeadlessHost(FieldTexts texts) : fields(std::move(texts)) {
  growCanvas(kCanvasMinWidth, kCanvasMinHeight);
}

void HeadlessHost::growCanvas(int width, int height) {
  if (width <= width_ && height <= height_) return;
  const int newWidth = std::max(width, width_);
  const int newHeight = std::max(height, height_);
  std::vector<Colour> grown(static_cast<std::size_t>(newWidth) * newHeight, kBackground);
  for (int y = 0; y < height_; ++y)
    std::copy_n(canvas_.begin() + static_cast<std::ptrdiff_t>(y) * width_, width_,
                grown.begin() + static_cast<std::ptrdiff_t>(y) * newWidth);
  canvas_ = std::move(grown);
  width_ = newWidth;
  height_ = newHeight;
}

bool HeadlessHost::beginPicture(std::size_t columns, std::size_t rows) {
  const std::size_t density = static_cast<std::size_t>(samplingToUse.density);
  if (density != density_) {
    // A canvas painted at another density starts afresh.
    width_ = height_ = 0;
    canvas_.clear();
    density_ = density;
  }
  const std::size_t width = std::max<std::size_t>(kCanvasMinWidth, static_cast<std::size_t>(kPictureLeft) + 1 + columns);
  const std::size_t height = std::max<std::size_t>(kCanvasMinHeight, static_cast<std::size_t>(kPictureTop) + 1 + rows);
  if (width * height > kMaxCanvasPixels / (density * density)) return false;
  pictureColumns_ = columns;
  pictureRows_ = rows;
  growCanvas(static_cast<int>(width * density), static_cast<int>(height * density));
  return true;
}

void HeadlessHost::plot(int x, int y, Colour colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) {
    ++strayPlots_;
    return;
  }
  canvas_[static_cast<std::size_t>(y) * width_ + x] = colour;
  ++plots_;
}

void HeadlessHost::yield() {
  ++yields_;
  if (onYield) onYield(yields_);
}

}  // namespace plorvex
