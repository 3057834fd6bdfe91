// SPDX-License-Identifier: GPL-3.0-or-later
#include "png_stream.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <vector>

#include "png_chunks.h"
#include "png_filter.h"

namespace plorvex::picture {
namespace {

// Deflate level: a little below zlib's default, which costs twice as much
// processor time on these pictures for a file a few per cent smaller.
constexpr int kDeflateLevel = 3;
// Output of the deflater between calls, and the room beyond twice a row's
// bytes it gets for a flush (more than the deflater holds back).
constexpr std::size_t kOutputBytes = 1 << 16;
constexpr std::size_t kFlushMargin = 1 << 18;
// The zlib stream's header for a 32 KiB window at that level (FLEVEL 1).
constexpr std::array<unsigned char, 2> kZlibHeader{0x78, 0x5E};
// Pixels a metre, both ways, as Qt's images say by default (about 100 dpi).
constexpr png_uint_32 kPixelsPerMetre = 3937;

struct HeadOutput {
  std::string bytes;
};

void appendToHead(png_structp png, png_bytep data, png_size_t length) {
  static_cast<HeadOutput*>(png_get_io_ptr(png))->bytes.append(reinterpret_cast<const char*>(data), length);
}

void noFlush(png_structp) {}

void refuse(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message;
  png_longjmp(png, 1);
}

void ignoreWarning(png_structp, png_const_charp) {}

// A chunk made by png_chunks.h, without its length, type and CRC.
std::string chunkData(const std::string& chunk) { return chunk.substr(8, chunk.size() - 12); }

bool writeHead(png_structp png, png_infop info, std::size_t width, std::size_t height, const std::string& texts,
               const std::string& software) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, kPixelsPerMetre, kPixelsPerMetre, PNG_RESOLUTION_METER);
  png_write_info_before_PLTE(png, info);
  // The texts right after IHDR, where readers looking for them stop soonest.
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("tEXt"), reinterpret_cast<png_const_bytep>(texts.data()),
                  texts.size());
  png_write_chunk(png, reinterpret_cast<png_const_bytep>("tEXt"), reinterpret_cast<png_const_bytep>(software.data()),
                  software.size());
  png_write_info(png, info);
  return true;
}

}  // namespace

struct BandEncoder::Deflater {
  z_stream stream{};
  uLong adler = adler32_z(0, nullptr, 0);
};

BandEncoder::BandEncoder(std::size_t band, std::size_t width, std::size_t rows, bool last, std::size_t heldBytes,
                         std::string folder)
    : deflater_(std::make_unique<Deflater>()), width_(width), rowsLeft_(rows), last_(last), heldBytes_(heldBytes),
      folder_(std::move(folder)), above_(width * 3), filtered_(width * 3 + 1), out_(kOutputBytes) {
  piece_.band = band;
  deflateInit2(&deflater_->stream, kDeflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
}

BandEncoder::~BandEncoder() { deflateEnd(&deflater_->stream); }

bool BandEncoder::addRows(const unsigned char* rgb, std::size_t rows) {
  for (std::size_t r = 0; r < rows; ++r)
    if (!addRow(rgb + r * width_ * 3)) return false;
  return true;
}

bool BandEncoder::addRow(const unsigned char* row) {
  const std::size_t rowBytes = width_ * 3;
  filterRow(row, haveAbove_ ? above_.data() : nullptr, rowBytes, filtered_.data(), trial_);
  std::copy(row, row + rowBytes, above_.begin());
  haveAbove_ = true;
  Deflater& d = *deflater_;
  d.adler = adler32_z(d.adler, filtered_.data(), filtered_.size());
  piece_.rawBytes += filtered_.size();
  const int flush = --rowsLeft_ > 0 ? Z_NO_FLUSH : last_ ? Z_FINISH : Z_SYNC_FLUSH;
  // A flush is made in one call, with room to spare: a call again after one
  // that filled the output exactly would add a second flush marker.
  if (flush != Z_NO_FLUSH) out_.resize(std::max(out_.size(), 2 * filtered_.size() + kFlushMargin));
  d.stream.next_in = filtered_.data();
  d.stream.avail_in = static_cast<uInt>(filtered_.size());
  for (;;) {
    d.stream.next_out = out_.data();
    d.stream.avail_out = static_cast<uInt>(out_.size());
    const int status = deflate(&d.stream, flush);
    if (!keep(out_.data(), out_.size() - d.stream.avail_out)) return false;
    if (flush == Z_FINISH ? status == Z_STREAM_END : d.stream.avail_out != 0) break;
  }
  return true;
}

bool BandEncoder::keep(const unsigned char* data, std::size_t length) {
  const char* bytes = reinterpret_cast<const char*>(data);
  piece_.deflatedBytes += length;
  if (!piece_.spilled && piece_.held.size() + length <= heldBytes_) return piece_.held.append(bytes, length), true;
  if (!piece_.spilled) {
    piece_.spilled = std::make_shared<ScratchFile>();
    if (!piece_.spilled->open(folder_, error_) || !piece_.spilled->append(piece_.held.data(), piece_.held.size()))
      return error_ = error_.empty() ? "a band could not be written to a temporary file" : error_, false;
    std::string().swap(piece_.held);
  }
  if (!piece_.spilled->append(bytes, length)) return error_ = "a band could not be written to a temporary file", false;
  return true;
}

BandPiece BandEncoder::finish() {
  piece_.adler = static_cast<std::uint32_t>(deflater_->adler);
  return std::move(piece_);
}

std::string pngHead(std::size_t width, std::size_t height, const PictureParameters& parameters, std::string& error) {
  if (width == 0 || height == 0 || width > kMaxPngSide || height > kMaxPngSide) {
    error = "a PNG holds 1 to " + std::to_string(kMaxPngSide) + " pixels a side, not " + std::to_string(width) +
            " x " + std::to_string(height);
    return {};
  }
  const std::string texts = chunkData(detail::parametersChunk(parameters));
  const std::string software = chunkData(detail::softwareChunk(parameters.version));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &error, refuse, ignoreWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  HeadOutput output;
  bool written = false;
  if (info) {
    png_set_write_fn(png, &output, appendToHead, noFlush);
    written = writeHead(png, info, width, height, texts, software);
  } else {
    error = "libpng could not start";
  }
  png_destroy_write_struct(&png, &info);
  return written ? std::move(output.bytes) : std::string();
}

struct PngBodyWriter::Png {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::string error;
};

namespace {

void passOn(png_structp png, png_bytep data, png_size_t length) {
  auto* writer = static_cast<PngBodyWriter::Sink*>(png_get_io_ptr(png));
  if (!(*writer)(reinterpret_cast<const char*>(data), length)) png_error(png, "the output refused the data");
}

// libpng's chunk writer, each call behind its own jump buffer.
bool chunkStart(png_structp png, const char* type, std::uint64_t length) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_chunk_start(png, reinterpret_cast<png_const_bytep>(type), static_cast<png_uint_32>(length));
  return true;
}
bool chunkData(png_structp png, const char* data, std::size_t length) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_chunk_data(png, reinterpret_cast<png_const_bytep>(data), length);
  return true;
}
bool chunkEnd(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_chunk_end(png);
  return true;
}

std::array<char, 4> bigEndian(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

}  // namespace

PngBodyWriter::PngBodyWriter(Sink sink, std::size_t bands) : sink_(std::move(sink)), png_(new Png), bands_(bands) {
  png_->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &png_->error, refuse, ignoreWarning);
  if (png_->png) png_->info = png_create_info_struct(png_->png);
  if (!png_->info) {
    failed_ = true;
    return;
  }
  png_set_write_fn(png_->png, &sink_, passOn, noFlush);
}

PngBodyWriter::~PngBodyWriter() {
  png_destroy_write_struct(&png_->png, &png_->info);
  delete png_;
}

bool PngBodyWriter::beginPiece(std::uint64_t deflatedBytes, std::uint64_t rawBytes, std::uint32_t adler) {
  if (failed_ || next_ >= bands_) return failed_ = true, false;
  const bool first = next_ == 0, last = next_ + 1 == bands_;
  const std::uint64_t length = deflatedBytes + (first ? kZlibHeader.size() : 0) + (last ? 4 : 0);
  if (length > PNG_UINT_31_MAX) return failed_ = true, false;
  adler_ = static_cast<std::uint32_t>(adler32_combine64(adler_, adler, static_cast<z_off64_t>(rawBytes)));
  if (!chunkStart(png_->png, "IDAT", length)) return failed_ = true, false;
  if (first && !pieceData(reinterpret_cast<const char*>(kZlibHeader.data()), kZlibHeader.size())) return false;
  return true;
}

bool PngBodyWriter::pieceData(const char* data, std::size_t length) {
  if (failed_ || !chunkData(png_->png, data, length)) return failed_ = true, false;
  return true;
}

bool PngBodyWriter::endPiece() {
  if (failed_) return false;
  if (++next_ == bands_) {
    const std::array<char, 4> check = bigEndian(adler_);
    if (!pieceData(check.data(), check.size())) return false;
  }
  if (!chunkEnd(png_->png)) return failed_ = true, false;
  return true;
}

bool PngBodyWriter::finish() {
  if (failed_ || next_ != bands_) return failed_ = true, false;
  if (!chunkStart(png_->png, "IEND", 0) || !chunkEnd(png_->png)) return failed_ = true, false;
  return true;
}

}  // namespace plorvex::picture
