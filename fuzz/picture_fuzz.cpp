// SPDX-License-Identifier: GPL-3.0-or-later
// The picture file reader against any bytes, as a PNG or a JPEG (by its first
// bytes) and as the JSON text.
//
// The PNG side runs libpng's reader with the limits and the watch of
// png_reader.cpp. A mutated chunk almost never keeps a right CRC, so each input is also read
// with every whole chunk's CRC made right; that way the mutations reach the
// text chunks and the JSON behind them. Properties:
// - every refusal says why;
// - the file read from memory and from a device gives the same verdict;
// - parameters that are accepted could be written (nothing the writer would
//   refuse), and written again as JSON and as a chunk they read back equal.
// A broken property prints what it saw and aborts, so libFuzzer keeps the input.

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "jpeg_comment.h"
#include "parameters.h"
#include "png_chunks.h"

namespace {

using namespace plorvex::picture;
namespace detail = plorvex::picture::detail;

[[noreturn]] void broken(const char* property, std::string_view seen) {
  std::fprintf(stderr, "\n*** %s\n    %.*s\n", property, static_cast<int>(seen.size()), seen.data());
  std::abort();
}

std::uint32_t bigEndian(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The input with the CRC of every chunk that lies whole in it recomputed.
std::string withRightCrcs(std::string bytes) {
  for (std::size_t at = 8; at + 12 <= bytes.size();) {
    const std::uint64_t length = bigEndian(reinterpret_cast<const unsigned char*>(bytes.data() + at));
    if (length > bytes.size() - at - 12) break;
    const std::uint32_t crc = detail::chunkCrc(std::string_view(bytes).substr(at + 4, 4),
                                               std::string_view(bytes).substr(at + 8, length));
    for (int k = 0; k < 4; ++k) bytes[at + 8 + length + k] = static_cast<char>(crc >> (24 - 8 * k));
    at += length + 12;
  }
  return bytes;
}

void checkAccepted(const PictureParameters& p, const char* how) {
  const std::string problem = parametersProblem(p);
  if (!problem.empty()) broken("accepted parameters that the writer refuses", std::string(how) + ": " + problem);
  const std::string json = parametersToJson(p);
  const ReadResult again = parametersFromJson(json);
  if (!again.parameters || !(*again.parameters == p))
    broken("the JSON written from accepted parameters reads back different", json + " / " + again.error);
  // A minimal file as the writer lays it out: IHDR, the two text chunks, IEND.
  std::string file(reinterpret_cast<const char*>(detail::kPngSignature.data()), 8);
  file += detail::chunk("IHDR", std::string("\0\0\0\1\0\0\0\1\x08\x02\0\0\0", 13));
  file += detail::parametersChunk(p) + detail::softwareChunk(p.version) + detail::chunk("IEND", "");
  const ReadResult fromFile =
      parametersFromPng({reinterpret_cast<const unsigned char*>(file.data()), file.size()});
  if (!fromFile.parameters || !(*fromFile.parameters == p))
    broken("the chunk written from accepted parameters reads back different", json + " / " + fromFile.error);
  // And a minimal JPEG: start of image, the comment, start of scan.
  const std::string jpeg = std::string("\xFF\xD8", 2) + detail::parametersComment(p) +
                           std::string("\xFF\xDA\x00\x02\xFF\xD9", 6);
  const ReadResult fromJpeg =
      parametersFromPicture({reinterpret_cast<const unsigned char*>(jpeg.data()), jpeg.size()});
  if (!fromJpeg.parameters || !(*fromJpeg.parameters == p))
    broken("the comment written from accepted parameters reads back different", json + " / " + fromJpeg.error);
}

void checkPicture(const std::string& bytes) {
  const ReadResult fromMemory =
      parametersFromPicture({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
  QByteArray copy(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&copy);
  buffer.open(QIODevice::ReadOnly);
  const ReadResult fromDevice = detail::readParametersFrom(buffer);
  if (fromMemory.parameters.has_value() != fromDevice.parameters.has_value() ||
      fromMemory.error != fromDevice.error ||
      (fromMemory.parameters && !(*fromMemory.parameters == *fromDevice.parameters)))
    broken("memory and device readings differ", fromMemory.error + " / " + fromDevice.error);
  if (fromMemory.parameters)
    checkAccepted(*fromMemory.parameters, "picture");
  else if (fromMemory.error.empty())
    broken("a picture refused without a reason", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  checkPicture(bytes);
  if (size >= 8 && std::memcmp(data, detail::kPngSignature.data(), 8) == 0) {
    const std::string fixed = withRightCrcs(bytes);
    if (fixed != bytes) checkPicture(fixed);
  } else if (!(size >= 2 && data[0] == 0xFF && data[1] == 0xD8)) {
    const ReadResult fromJson = parametersFromJson(bytes);
    if (fromJson.parameters)
      checkAccepted(*fromJson.parameters, "json");
    else if (fromJson.error.empty())
      broken("a JSON text refused without a reason", bytes);
  }
  return 0;
}
