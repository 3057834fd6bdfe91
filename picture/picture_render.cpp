// SPDX-License-Identifier: GPL-3.0-or-later
#include "picture_render.h"

#include "val.h"

namespace plorvex::picture {

std::string pictureLimitText() {
  return "at most " + std::to_string(kMaxPicturePixels) + " pixels (1 GiB of image, e.g. 16384 x " +
         "16384) and " + std::to_string(kMaxPictureSide) + " columns or rows before density";
}

std::string faultDescription(const RenderOutcome& outcome) {
  std::string text = faultMessage(outcome.fault);
  if (outcome.fault == Fault::PictureTooLarge) text += " (" + pictureLimitText() + ")";
  if (outcome.faultInSweep)
    text += " at pixel (" + std::to_string(outcome.faultColumn) + ", " + std::to_string(outcome.faultRow) +
            ") of the picture (i = " + numberText(outcome.faultI) + ", j = " + numberText(outcome.faultJ) + ")";
  return text;
}

void stampResolution(QImage& image) {
  constexpr int kDotsPerMetre = 3780;  // 96 dots per inch
  image.setDotsPerMeterX(kDotsPerMetre);
  image.setDotsPerMeterY(kDotsPerMetre);
}

PictureHost::PictureHost(FieldTexts fields, Sampling sampling, ColumnPool* pool)
    : fields_(std::move(fields)), sampling_(sampling), pool_(pool) {}

PictureLimits PictureHost::pictureLimits() const {
  return {kMaxPictureSide, kMaxPictureSide, kMaxPicturePixels};
}

bool PictureHost::beginPicture(std::size_t columns, std::size_t rows) {
  const int density = sampling_.density;
  image_ = QImage(static_cast<int>(columns) * density, static_cast<int>(rows) * density,
                  QImage::Format_RGB32);
  if (columns > 0 && rows > 0 && image_.isNull()) return false;  // no memory for it
  image_.fill(qRgb(redOf(kBackground), greenOf(kBackground), blueOf(kBackground)));
  stampResolution(image_);
  left_ = (static_cast<int>(kPictureLeft) + 1) * density;
  top_ = (static_cast<int>(kPictureTop) + 1) * density;
  columns_ = columns;
  done_ = 0;
  bits_ = image_.bits();
  bytesPerLine_ = image_.bytesPerLine();
  return true;
}

void PictureHost::plot(int x, int y, Colour colour) {
  x -= left_;
  y -= top_;
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) return;
  reinterpret_cast<QRgb*>(bits_ + static_cast<qsizetype>(y) * bytesPerLine_)[x] =
      qRgb(redOf(colour), greenOf(colour), blueOf(colour));
}

void PictureHost::yield() {
  ++done_;
  if (onColumn) onColumn(done_, columns_);
}

}  // namespace plorvex::picture
