// SPDX-License-Identifier: GPL-3.0-or-later
// Writes pictures. A PNG goes through the band writer (poster.h), as posters
// and movie frames do: one encoder for every PNG this program makes. The other
// formats use Qt's image writers; a JPEG gets its comment from a small device
// that passes the writer's bytes on and inserts the comment after the JFIF
// segment: Qt's own comments squeeze the blanks out of a text, and the field
// texts keep theirs.

#include <QFile>
#include <QFileDevice>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QString>

#include "file_write.h"
#include "jpeg_comment.h"
#include "picture.h"
#include "png_chunks.h"
#include "poster.h"

namespace plorvex::picture {
namespace {

// Where the encoder's output gets the texts: the number of bytes of its head
// they follow, 0 while more bytes are needed to tell, -1 (with the reason in
// failure) when the output does not begin as the format does.
using HeadEnd = std::function<qint64(const std::string& head, std::string& failure)>;

// JPEG: after the start of image and, when it follows, the JFIF segment
// (APP0), which must come first.
qint64 jpegHeadEnd(const std::string& head, std::string& failure) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(head[k]); };
  if (head.size() < 4) return 0;
  if (byte(0) != 0xFF || byte(1) != 0xD8) {
    failure = "the JPEG writer did not begin with a start-of-image marker";
    return -1;
  }
  if (byte(2) != 0xFF || byte(3) != 0xE0) return 2;
  if (head.size() < 6) return 0;
  return 4 + (qint64{byte(4)} << 8 | byte(5));
}

// Passes the encoder's bytes on to the output and inserts the texts where
// headEnd says.
class TextInserter : public QIODevice {
 public:
  TextInserter(QIODevice& out, std::string texts, HeadEnd headEnd, const std::function<bool()>& keepGoing)
      : out_(out), texts_(std::move(texts)), headEnd_(std::move(headEnd)), keepGoing_(keepGoing) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return true; }
  // True once the head has been seen and the texts written after it.
  bool inserted() const { return inserted_; }
  const std::string& failure() const { return failure_; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 length) override {
    if (!failure_.empty()) return -1;
    if (keepGoing_ && !keepGoing_()) {
      failure_ = kWriteCancelled;
      return -1;
    }
    qint64 taken = 0;
    // The head is a few dozen bytes: taken one at a time until its end is known.
    while (!inserted_ && taken < length) {
      head_ += data[taken++];
      const qint64 end = headEnd_(head_, failure_);
      if (end < 0) return -1;
      if (end == 0 || static_cast<qint64>(head_.size()) < end) continue;
      if (!pass(head_.data(), end) || !pass(texts_.data(), static_cast<qint64>(texts_.size())) ||
          !pass(head_.data() + end, static_cast<qint64>(head_.size()) - end))
        return -1;
      inserted_ = true;
    }
    if (taken < length && !pass(data + taken, length - taken)) return -1;
    return length;
  }

 private:
  bool pass(const char* data, qint64 length) {
    while (length > 0) {
      const qint64 written = out_.write(data, length);
      if (written <= 0) {
        failure_ = out_.errorString().toStdString();
        if (failure_.empty() || failure_ == "Unknown error") failure_ = "the output refused the data";
        return false;
      }
      data += written;
      length -= written;
    }
    return true;
  }

  QIODevice& out_;
  std::string texts_;
  HeadEnd headEnd_;
  const std::function<bool()>& keepGoing_;
  std::string head_;
  bool inserted_ = false;
  std::string failure_;
};

const char* formatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Png: return "png";
    case ImageFormat::Jpeg: return "jpeg";
    case ImageFormat::Bmp: return "bmp";
    case ImageFormat::Ppm: return "ppm";
    case ImageFormat::Webp: return "webp";
  }
  return "png";
}

// Plenty for the fine stripes of the patterns; Qt's default of 75 smears them.
constexpr int kJpegQuality = 95;

}  // namespace

const char* formatLabel(ImageFormat format) {
  switch (format) {
    case ImageFormat::Png: return "PNG";
    case ImageFormat::Jpeg: return "JPEG";
    case ImageFormat::Bmp: return "BMP";
    case ImageFormat::Ppm: return "PPM";
    case ImageFormat::Webp: return "WebP";
  }
  return "PNG";
}

bool canWrite(ImageFormat format) {
  return QImageWriter::supportedImageFormats().contains(formatName(format));
}

bool writePicture(const QImage& image, QIODevice& out, ImageFormat format, const PictureParameters& parameters,
                  std::string& error, const std::function<bool()>& keepGoing) {
  if (image.isNull()) {
    error = "there is no picture to write";
    return false;
  }
  if (!canWrite(format)) {
    error = std::string("this system's Qt cannot write ") + formatLabel(format) + " images";
    return false;
  }
  if (keepsParameters(format)) {
    const std::string problem = parametersProblem(parameters);
    if (!problem.empty()) {
      error = "cannot keep the parameters: " + problem;
      return false;
    }
  }
  if (!out.isOpen() || !out.isWritable()) {
    error = "the output is not open for writing";
    return false;
  }
  bool written = false;
  if (format == ImageFormat::Png) {
    written = writePngImage(image, out, parameters, error, keepGoing);
    if (!written && error.empty()) error = deviceError(out, "the image could not be encoded");
    if (!written) return false;
  } else if (keepsParameters(format)) {
    std::string texts = detail::parametersComment(parameters);
    if (texts.empty()) {
      error = "cannot keep the parameters: they are too long for a JPEG comment";
      return false;
    }
    TextInserter inserter(out, std::move(texts), HeadEnd(jpegHeadEnd), keepGoing);
    QImageWriter writer(&inserter, formatName(format));
    writer.setQuality(kJpegQuality);
    written = writer.write(image) && inserter.failure().empty() && inserter.inserted();
    if (!written)
      error = !inserter.failure().empty() ? inserter.failure()
                                           : "the image could not be encoded (" + writer.errorString().toStdString() + ")";
  } else {
    QImageWriter writer(&out, formatName(format));
    written = writer.write(image);
    if (!written) error = deviceError(out, "the image could not be encoded (" + writer.errorString().toStdString() + ")");
  }
  if (!written) return false;
  if (auto* file = qobject_cast<QFileDevice*>(&out); file && !file->flush()) {
    error = deviceError(*file, "the data could not be flushed");
    return false;
  }
  return true;
}

bool writePicture(const QImage& image, const QString& path, ImageFormat format, const PictureParameters& parameters,
                  std::string& error, const std::function<bool()>& keepGoing) {
  return writeFile(
      path,
      [&](QIODevice& file, std::string& reason) {
        return writePicture(image, file, format, parameters, reason, keepGoing);
      },
      error, keepGoing);
}

}  // namespace plorvex::picture
