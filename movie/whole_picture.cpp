// SPDX-License-Identifier: GPL-3.0-or-later
#include "whole_picture.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include "png_chunks.h"

namespace plorvex::movie {
namespace {

// An empty IEND chunk: length 0, type, CRC.
const QByteArray kIend = QByteArray::fromHex("0000000049454e44ae426082");
const QByteArray kJpegStart = QByteArray::fromHex("ffd8");
const QByteArray kJpegEnd = QByteArray::fromHex("ffd9");

bool isPng(const QByteArray& bytes) {
  const auto& signature = picture::detail::kPngSignature;
  return bytes.startsWith(QByteArray(reinterpret_cast<const char*>(signature.data()),
                                     static_cast<qsizetype>(signature.size())));
}

}  // namespace

std::string wholePictureProblem(const QByteArray& bytes, int megabytes, QSize& size) {
  const bool png = isPng(bytes);
  if (!png && !bytes.startsWith(kJpegStart)) return "it is neither a PNG nor a JPEG picture";
  // JPEG decoders fill a cut-short picture with grey and call it a success.
  if (png ? !bytes.endsWith(kIend) : !bytes.endsWith(kJpegEnd))
    return png ? "the picture is damaged (it does not end with an IEND chunk)"
               : "the picture is damaged (it does not end with the end-of-image marker)";
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, png ? "png" : "jpeg");
  reader.setAllocationLimit(megabytes);
  QImage image;
  if (!reader.read(&image) || image.isNull())
    return "the picture is damaged (its image data does not decode: " + reader.errorString().toStdString() + ")";
  size = image.size();
  return {};
}

}  // namespace plorvex::movie
