// SPDX-License-Identifier: GPL-3.0-or-later
// Writes pictures with Qt's image writers. For PNG, Qt's writer streams the
// image row by row into a small device that passes its bytes on and inserts
// the two text chunks right after IHDR: Qt would compress a long text into
// zTXt by itself and writes no other chunk types, and going through it keeps
// a second copy of a large picture out of memory.

#include <QFileDevice>
#include <QFileInfo>
#include <QDir>
#include <QIODevice>
#include <QImage>
#include <QImageWriter>
#include <QSaveFile>
#include <QString>

#include <cstring>

#include "picture.h"
#include "png_chunks.h"

namespace plorvex::picture {
namespace {

// Signature (8 bytes) and IHDR (length, type, 13 bytes of data, CRC).
constexpr qint64 kHeadBytes = 8 + 4 + 4 + 13 + 4;

class ChunkInserter : public QIODevice {
 public:
  ChunkInserter(QIODevice& out, std::string chunks, const std::function<bool()>& keepGoing)
      : out_(out), chunks_(std::move(chunks)), keepGoing_(keepGoing) {
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
  }
  bool isSequential() const override { return true; }
  // True once the head has been seen and the chunks written after it.
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
    if (inserted_) return pass(data, length) ? length : -1;
    const qint64 taken = std::min(length, kHeadBytes - static_cast<qint64>(head_.size()));
    head_.append(data, static_cast<std::size_t>(taken));
    if (static_cast<qint64>(head_.size()) == kHeadBytes) {
      if (std::memcmp(head_.data(), detail::kPngSignature.data(), 8) != 0 ||
          head_.compare(8, 8, std::string("\0\0\0\15IHDR", 8)) != 0) {
        failure_ = "the PNG writer did not begin with a signature and IHDR";
        return -1;
      }
      if (!pass(head_.data(), kHeadBytes) || !pass(chunks_.data(), static_cast<qint64>(chunks_.size())))
        return -1;
      inserted_ = true;
      if (taken < length && !pass(data + taken, length - taken)) return -1;
    }
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
  std::string chunks_;
  const std::function<bool()>& keepGoing_;
  std::string head_;
  bool inserted_ = false;
  std::string failure_;
};

const char* formatName(ImageFormat format) {
  switch (format) {
    case ImageFormat::Png: return "png";
    case ImageFormat::Ppm: return "ppm";
    case ImageFormat::Bmp: return "bmp";
  }
  return "png";
}

std::string deviceError(const QIODevice& out, const std::string& fallback) {
  const std::string reason = out.errorString().toStdString();
  return reason.empty() || reason == "Unknown error" ? fallback : reason;
}

}  // namespace

bool writePicture(const QImage& image, QIODevice& out, ImageFormat format, const PictureParameters& parameters,
                  std::string& error, const std::function<bool()>& keepGoing) {
  if (image.isNull()) {
    error = "there is no picture to write";
    return false;
  }
  if (format == ImageFormat::Png) {
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
    ChunkInserter inserter(out, detail::parametersChunk(parameters) + detail::softwareChunk(parameters.version),
                           keepGoing);
    QImageWriter writer(&inserter, formatName(format));
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
  const std::string name = QDir::toNativeSeparators(path).toStdString();
  // QSaveFile writes a temporary file beside the target and renames it over the
  // target on commit; anything short of that leaves the folder as it was.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = "cannot write '" + name + "': " + deviceError(file, "the file cannot be created");
    return false;
  }
  std::string reason;
  bool written = writePicture(image, file, format, parameters, reason, keepGoing);
  if (written && keepGoing && !keepGoing()) {
    written = false;
    reason = kWriteCancelled;
  }
  if (!written) {
    file.cancelWriting();
    error = reason == kWriteCancelled ? reason : "cannot write '" + name + "': " + reason;
    return false;
  }
  if (!file.commit()) {
    error = "cannot write '" + name + "': " + deviceError(file, "the file could not be completed");
    return false;
  }
  return true;
}

}  // namespace plorvex::picture
