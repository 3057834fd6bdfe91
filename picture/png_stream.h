// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A PNG written band by band. Each band of rows is filtered and deflated on
// its own (its first row filtered without the row above, no dictionary, a
// sync flush at its end, the last band finishing the stream), so bands can be
// encoded on any thread, on any machine, in any order, and their pieces put
// one after the other make one zlib stream: the two header bytes, the pieces,
// and the Adler-32 of all rows, combined from the bands' own with
// adler32_combine. The file's bytes depend on the pixels and the parameters
// alone. libpng writes the signature, the header, the chunks and their CRCs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "parameters.h"

namespace plorvex::picture {

// One band's rows, filtered and deflated.
struct BandPiece {
  std::size_t band = 0;
  std::uint64_t rawBytes = 0;  // the filtered rows, a filter byte each
  std::uint32_t adler = 1;     // Adler-32 of those bytes
  std::string deflated;
};

// Filters and deflates `rows` rows of `width` RGB pixels (3 bytes each);
// `last` finishes the stream with this band.
BandPiece encodeBand(std::size_t band, const unsigned char* rgb, std::size_t width, std::size_t rows, bool last);

// Everything before the image data: signature, IHDR (8-bit RGB), the
// 'plorvex' and 'Software' text chunks, pHYs (3937 pixels a metre, as Qt's
// images have). Empty, with the reason in error, when libpng refuses the size
// (at most 1,000,000 pixels a side: libpng's own limit for readers).
std::string pngHead(std::size_t width, std::size_t height, const PictureParameters& parameters, std::string& error);

// The largest side libpng reads by default.
inline constexpr std::size_t kMaxPngSide = 1000000;

// Writes the image data and the end of a PNG after its head, piece after
// piece, through `sink` (false: the output failed; nothing more is written).
class PngBodyWriter {
 public:
  using Sink = std::function<bool(const char* data, std::size_t length)>;
  PngBodyWriter(Sink sink, std::size_t bands);
  ~PngBodyWriter();
  PngBodyWriter(const PngBodyWriter&) = delete;
  PngBodyWriter& operator=(const PngBodyWriter&) = delete;

  // The next band's piece, as one IDAT chunk: its length, raw size and Adler-32
  // first, then its bytes through `read` (which fills a buffer and may fail).
  bool beginPiece(std::uint64_t deflatedBytes, std::uint64_t rawBytes, std::uint32_t adler);
  bool pieceData(const char* data, std::size_t length);
  bool endPiece();
  bool put(const BandPiece& piece) {
    return beginPiece(piece.deflated.size(), piece.rawBytes, piece.adler) &&
           pieceData(piece.deflated.data(), piece.deflated.size()) && endPiece();
  }
  // After the last piece: IEND.
  bool finish();
  bool failed() const { return failed_; }

 private:
  struct Png;
  Sink sink_;
  Png* png_;
  std::size_t bands_;
  std::size_t next_ = 0;
  std::uint32_t adler_ = 1;
  bool failed_ = false;
};

}  // namespace plorvex::picture
