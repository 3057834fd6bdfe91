// SPDX-License-Identifier: GPL-3.0-or-later
#include "whole_picture.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

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

// A PNG decoded row by row by libpng, from memory; the first error or warning
// it gives is the problem. Nothing is printed: the caller says what is wrong.
struct PngDecoding {
  explicit PngDecoding(const QByteArray& given) : bytes(given) {}
  const QByteArray& bytes;
  std::size_t at = 0;
  std::string problem;
  std::vector<unsigned char> row;
  QSize size;
};

PngDecoding& decodingOf(png_structp png) { return *static_cast<PngDecoding*>(png_get_error_ptr(png)); }

[[noreturn]] void stopDecoding(png_structp png, png_const_charp message) {
  if (PngDecoding& decoding = decodingOf(png); decoding.problem.empty()) decoding.problem = message;
  png_longjmp(png, 1);
}

void noteWarning(png_structp png, png_const_charp message) {
  if (PngDecoding& decoding = decodingOf(png); decoding.problem.empty()) decoding.problem = message;
}

void readFromMemory(png_structp png, png_bytep out, std::size_t count) {
  PngDecoding& decoding = decodingOf(png);
  if (count > static_cast<std::size_t>(decoding.bytes.size()) - decoding.at) png_error(png, "the file ends early");
  std::memcpy(out, decoding.bytes.constData() + decoding.at, count);
  decoding.at += count;
}

// Reads every row of every pass and then the chunks to IEND. Its errors jump
// back to the caller's setjmp, so it holds nothing that needs destroying.
void decodeEveryRow(png_structp png, png_infop info, PngDecoding& decoding, int megabytes) {
  // A cut-short or overlong image data stream is an error here, not a warning.
  png_set_benign_errors(png, 0);
  png_set_read_fn(png, nullptr, readFromMemory);
  png_read_info(png, info);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  if (megabytes > 0 && static_cast<double>(rowBytes) * height > megabytes * 1048576.0)
    png_error(png, "the picture is larger than this program decodes");
  decoding.row.resize(rowBytes);
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, decoding.row.data(), nullptr);
  png_read_end(png, nullptr);
  decoding.size = QSize(static_cast<int>(width), static_cast<int>(height));
}

// libpng's errors jump back here, to a frame that holds nothing else.
void decodeCatching(png_structp png, png_infop info, PngDecoding& decoding, int megabytes) {
  if (setjmp(png_jmpbuf(png)) == 0) decodeEveryRow(png, info, decoding, megabytes);
}

std::string pngProblem(const QByteArray& bytes, int megabytes, QSize& size) {
  PngDecoding decoding(bytes);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &decoding, stopDecoding, noteWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool started = info != nullptr;
  if (started) decodeCatching(png, info, decoding, megabytes);
  png_destroy_read_struct(&png, started ? &info : nullptr, nullptr);
  if (!started) return "the picture cannot be decoded (out of memory)";
  if (!decoding.problem.empty())
    return "the picture is damaged (its image data does not decode: " + decoding.problem + ")";
  size = decoding.size;
  return {};
}

}  // namespace

std::string wholePictureProblem(const QByteArray& bytes, int megabytes, QSize& size) {
  const bool png = isPng(bytes);
  if (!png && !bytes.startsWith(kJpegStart)) return "it is neither a PNG nor a JPEG picture";
  // JPEG decoders fill a cut-short picture with grey and call it a success.
  if (png ? !bytes.endsWith(kIend) : !bytes.endsWith(kJpegEnd))
    return png ? "the picture is damaged (it does not end with an IEND chunk)"
               : "the picture is damaged (it does not end with the end-of-image marker)";
  if (png) return pngProblem(bytes, megabytes, size);
  QByteArray copy = bytes;
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "jpeg");
  reader.setAllocationLimit(megabytes);
  QImage image;
  if (!reader.read(&image) || image.isNull())
    return "the picture is damaged (its image data does not decode: " + reader.errorString().toStdString() + ")";
  size = image.size();
  return {};
}

}  // namespace plorvex::movie
