// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the 'plorvex' comment by walking a JPEG's marker segments: the start
// of image, then each marker with its 16-bit length and data, up to the start
// of the scan. The image data is never read.

#include "jpeg_comment.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include "byte_source.h"

namespace plorvex::picture::detail {
namespace {

constexpr unsigned char kMarker = 0xFF;
constexpr unsigned char kStartOfImage = 0xD8;
constexpr unsigned char kEndOfImage = 0xD9;
constexpr unsigned char kStartOfScan = 0xDA;
constexpr unsigned char kComment = 0xFE;

ReadResult refused(std::string why) { return {std::nullopt, std::move(why)}; }

std::string markerName(unsigned char code) {
  char name[8];
  std::snprintf(name, sizeof name, "0x%02X", code);
  return name;
}

// Markers that stand alone, without a length: TEM and the restart markers.
bool standsAlone(unsigned char code) { return code == 0x01 || (code >= 0xD0 && code <= 0xD7); }

}  // namespace

std::string parametersComment(const PictureParameters& parameters) {
  const std::string text = std::string(kCommentPrefix) + parametersToJson(parameters);
  if (text.size() > kMaxCommentBytes) return {};
  const std::size_t length = text.size() + 2;
  std::string segment{static_cast<char>(kMarker), static_cast<char>(kComment), static_cast<char>(length >> 8),
                      static_cast<char>(length & 0xFF)};
  return segment + text;
}

ReadResult walkSegments(ByteSource& in) {
  const auto ended = [&](const char* where) {
    if (!in.readError.empty()) return refused("the file cannot be read (" + in.readError + ")");
    return refused(std::string("the JPEG file is truncated (it ends ") + where + ")");
  };
  unsigned char start[2];
  if (in.read(start, 2) != 2 || start[0] != kMarker || start[1] != kStartOfImage)
    return refused("not a JPEG file (it does not begin with a start-of-image marker)");
  for (;;) {
    unsigned char code = 0;
    if (in.read(&code, 1) != 1) return ended("before its image data");
    if (code != kMarker) return refused("the JPEG file is damaged (a segment does not begin with a marker)");
    // Any number of fill bytes may come before the marker's code.
    while (code == kMarker)
      if (in.read(&code, 1) != 1) return ended("inside a marker");
    if (code == kStartOfScan || code == kEndOfImage)
      return refused("the JPEG file has no 'plorvex' comment (no parameters of this program)");
    if (code == 0x00 || code == kStartOfImage)
      return refused("the JPEG file is damaged (marker " + markerName(code) + " where a segment should begin)");
    if (standsAlone(code)) continue;
    unsigned char size[2];
    if (in.read(size, 2) != 2) return ended("inside a segment's length");
    const std::size_t length = std::size_t{size[0]} << 8 | size[1];
    if (length < 2)
      return refused("the JPEG file is damaged (segment " + markerName(code) + " is shorter than its length field)");
    const std::size_t dataBytes = length - 2;
    const auto left = in.remaining();
    if (left && *left < dataBytes)
      return refused("the JPEG file is damaged (segment " + markerName(code) + " runs past the end of the file)");
    if (code != kComment || dataBytes < kCommentPrefix.size()) {
      if (!in.skip(dataBytes)) return ended("inside a segment");
      continue;
    }
    std::string data(dataBytes, '\0');
    if (in.read(reinterpret_cast<unsigned char*>(data.data()), dataBytes) != dataBytes)
      return ended("inside a comment");
    if (data.compare(0, kCommentPrefix.size(), kCommentPrefix) != 0) continue;  // someone else's comment
    return parametersFromJson(std::string_view(data).substr(kCommentPrefix.size()));
  }
}

}  // namespace plorvex::picture::detail
