// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A JPEG keeps the parameters in a comment segment (COM): "plorvex: " and the
// same JSON a PNG's chunk holds, the "key: text" form Qt's JPEG reader shows
// as the text 'plorvex'. Not part of the interface; the writer, the readers,
// the tests and the fuzz target share it.

#include <cstddef>
#include <string>
#include <string_view>

#include "parameters.h"

namespace plorvex::picture::detail {

class ByteSource;

inline constexpr std::string_view kCommentPrefix = "plorvex: ";
// A segment's length field counts itself and is 16 bits wide.
inline constexpr std::size_t kMaxCommentBytes = 65535 - 2;

// The whole COM segment (marker, length, "plorvex: " and the JSON); empty when
// the JSON is too long for one segment.
std::string parametersComment(const PictureParameters& parameters);

// Walks a JPEG's segments up to its image data for the first 'plorvex'
// comment; the error does not name the file.
ReadResult walkSegments(ByteSource& in);

}  // namespace plorvex::picture::detail
