// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A PNG written band by band. Each band of rows is filtered and deflated on
// its own, row by row, (its first row filtered without the row above, no dictionary, a
// sync flush at its end, the last band finishing the stream), so bands can be
// encoded on any thread, on any machine, in any order, and their pieces put
// one after the other make one zlib stream: the two header bytes, the pieces,
// and the Adler-32 of all rows, combined from the bands' own with
// adler32_combine. The file's bytes depend on the pixels and the parameters
// alone. libpng writes the signature, the header, the chunks and their CRCs.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "parameters.h"
#include "scratch_file.h"

namespace plorvex::picture {

// Where bytes go, a piece at a time; false when they could not be taken.
using ByteSink = std::function<bool(const char* data, std::size_t length)>;

// One band's rows, filtered and deflated: its bytes held in memory, or, for a
// piece too large for that, in an unnamed scratch file.
struct BandPiece {
  std::size_t band = 0;
  std::uint64_t rawBytes = 0;  // the filtered rows, a filter byte each
  std::uint32_t adler = 1;     // Adler-32 of those bytes
  std::uint64_t deflatedBytes = 0;
  std::string held;
  std::shared_ptr<ScratchFile> spilled;
  // The deflated bytes, in order; false when the sink or the file failed.
  bool copyTo(const ByteSink& sink) const {
    return spilled ? spilled->copyAppended(sink) : sink(held.data(), held.size());
  }
};

// Filters and deflates a band of `rows` rows of `width` RGB pixels (3 bytes
// each) as its rows come, a few at a time: its first row filtered without the
// row above, no dictionary, a sync flush after its last row (or, with `last`,
// the end of the stream). The deflated bytes are held in memory up to
// `heldBytes`; a larger piece goes whole to a scratch file in `folder`.
class BandEncoder {
 public:
  BandEncoder(std::size_t band, std::size_t width, std::size_t rows, bool last, std::size_t heldBytes,
              std::string folder);
  ~BandEncoder();
  BandEncoder(const BandEncoder&) = delete;
  BandEncoder& operator=(const BandEncoder&) = delete;

  // The next `rows` rows; false when the scratch file failed (error() says).
  bool addRows(const unsigned char* rgb, std::size_t rows);
  // After the band's last row.
  BandPiece finish();
  const std::string& error() const { return error_; }

 private:
  bool addRow(const unsigned char* row);
  bool keep(const unsigned char* data, std::size_t length);
  struct Deflater;
  std::unique_ptr<Deflater> deflater_;
  std::size_t width_, rowsLeft_;
  bool last_, haveAbove_ = false;
  std::size_t heldBytes_;
  std::string folder_;
  std::vector<unsigned char> above_, filtered_, trial_, out_;
  BandPiece piece_;
  std::string error_;
};

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
  using Sink = ByteSink;
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
    if (!beginPiece(piece.deflatedBytes, piece.rawBytes, piece.adler)) return false;
    if (!piece.copyTo([this](const char* data, std::size_t length) { return pieceData(data, length); }))
      return failed_ = true, false;
    return endPiece();
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
