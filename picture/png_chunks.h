// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the PNG reader and writer share: the signature, the keyword, the limits
// and the text chunks as bytes. Not part of the interface; the tests and the
// fuzz target use it to build and check files.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "parameters.h"

class QIODevice;

namespace plorvex::picture::detail {

inline constexpr std::array<unsigned char, 8> kPngSignature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
inline constexpr std::string_view kKeyword = "plorvex";
// The JSON text, once inflated: far more than ten members need, small enough
// that a decompression bomb is refused after 64 KiB of output.
inline constexpr std::size_t kMaxTextBytes = 64 * 1024;
// A 'plorvex' chunk's stored data; larger ones are refused before being read.
inline constexpr std::size_t kMaxChunkBytes = 256 * 1024;

// The CRC-32 of a chunk: over its type and its data.
std::uint32_t chunkCrc(std::string_view type, std::string_view data);
// A whole chunk: length, type, data, CRC.
std::string chunk(std::string_view type, std::string_view data);
// The tEXt chunk 'plorvex' holding parametersToJson(parameters), plain ASCII.
std::string parametersChunk(const PictureParameters& parameters);
// The tEXt chunk 'Software' naming this program and its version.
std::string softwareChunk(std::string_view version);

// parametersFromPicture from a device open for reading, read up to the first
// 'plorvex' chunk or comment and no further. The error does not name the file.
ReadResult readParametersFrom(QIODevice& device);

// A UTF-8 check as strict as the Unicode standard's: no overlong forms, no
// surrogates, nothing past U+10FFFF, no sequence cut short.
bool isValidUtf8(std::string_view text);

}  // namespace plorvex::picture::detail
