// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the 'plorvex' text chunk by walking the PNG's chunks: signature, then
// length, type, data and CRC of each. The pixels are never decoded and, from
// a file, the image data is seeked past rather than read. A JPEG goes to the
// segment walk of jpeg_reader.cpp instead.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "byte_source.h"
#include "jpeg_comment.h"
#include "parameters.h"
#include "png_chunks.h"

namespace plorvex::picture {
namespace {

using detail::kKeyword;
using detail::kMaxChunkBytes;
using detail::kMaxTextBytes;

using detail::ByteSource;

ReadResult refused(std::string why) { return {std::nullopt, std::move(why)}; }

std::uint32_t bigEndian(const unsigned char* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

bool isChunkType(std::string_view type) {
  return std::all_of(type.begin(), type.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

std::string latin1ToUtf8(std::string_view latin1) {
  std::string out;
  out.reserve(latin1.size());
  for (const char c : latin1) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | byte >> 6);
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

// Inflates a zlib stream, refusing more than kMaxTextBytes of output.
std::optional<std::string> inflateText(std::string_view compressed, std::string& error) {
  std::string out(kMaxTextBytes + 1, '\0');
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) {
    error = "the 'plorvex' text cannot be inflated (zlib failed to start)";
    return std::nullopt;
  }
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  stream.avail_in = static_cast<uInt>(compressed.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  const uLong produced = stream.total_out;
  inflateEnd(&stream);
  // The buffer holds one byte more than allowed: filling it means too much.
  if (produced > kMaxTextBytes) {
    error = "the 'plorvex' text inflates to more than 64 KiB; refused";
    return std::nullopt;
  }
  if (result != Z_STREAM_END) {
    error = "the compressed 'plorvex' text is damaged (" +
            std::string(result == Z_BUF_ERROR ? "it ends early" : "not a valid zlib stream") + ")";
    return std::nullopt;
  }
  out.resize(produced);
  return out;
}

// The JSON text of a 'plorvex' chunk, from the data after its keyword's NUL.
std::optional<std::string> chunkText(std::string_view type, std::string_view rest, std::string& error) {
  if (type == "tEXt") {
    if (rest.size() > kMaxTextBytes) {
      error = "the 'plorvex' text is larger than 64 KiB; refused";
      return std::nullopt;
    }
    return latin1ToUtf8(rest);  // tEXt and zTXt hold Latin-1
  }
  if (type == "zTXt") {
    if (rest.empty() || rest[0] != 0) {
      error = "the 'plorvex' chunk uses an unknown compression method";
      return std::nullopt;
    }
    auto text = inflateText(rest.substr(1), error);
    if (!text) return std::nullopt;
    return latin1ToUtf8(*text);
  }
  // iTXt: compression flag, method, language tag NUL, translated keyword NUL, text.
  if (rest.size() < 2) {
    error = "the 'plorvex' chunk is malformed (it ends before its compression flag)";
    return std::nullopt;
  }
  const auto flag = static_cast<unsigned char>(rest[0]);
  const auto method = static_cast<unsigned char>(rest[1]);
  if (flag > 1) {
    error = "the 'plorvex' chunk is malformed (its compression flag is neither 0 nor 1)";
    return std::nullopt;
  }
  if (flag == 1 && method != 0) {
    error = "the 'plorvex' chunk uses an unknown compression method";
    return std::nullopt;
  }
  const std::size_t languageEnd = rest.find('\0', 2);
  const std::size_t translatedEnd =
      languageEnd == std::string_view::npos ? languageEnd : rest.find('\0', languageEnd + 1);
  if (translatedEnd == std::string_view::npos) {
    error = "the 'plorvex' chunk is malformed (its language tag or translated keyword is not ended)";
    return std::nullopt;
  }
  std::string_view stored = rest.substr(translatedEnd + 1);
  std::optional<std::string> text;
  if (flag == 1) {
    text = inflateText(stored, error);
    if (!text) return std::nullopt;
  } else {
    if (stored.size() > kMaxTextBytes) {
      error = "the 'plorvex' text is larger than 64 KiB; refused";
      return std::nullopt;
    }
    text = std::string(stored);
  }
  if (!detail::isValidUtf8(*text)) {
    error = "the 'plorvex' text is not valid UTF-8";
    return std::nullopt;
  }
  return text;
}

ReadResult walkChunks(ByteSource& in) {
  const auto ioFailure = [&] { return refused("the file cannot be read (" + in.readError + ")"); };
  unsigned char signature[8];
  const std::size_t got = in.read(signature, sizeof signature);
  if (!in.readError.empty()) return ioFailure();
  if (got == 0) return refused("not a PNG file (it is empty)");
  if (std::memcmp(signature, detail::kPngSignature.data(), got) != 0)
    return refused("not a PNG file (its signature is wrong)");
  if (got < sizeof signature) return refused("the PNG file is truncated (it ends inside its signature)");

  for (bool first = true;; first = false) {
    unsigned char header[8];
    const std::size_t headerBytes = in.read(header, sizeof header);
    if (!in.readError.empty()) return ioFailure();
    if (headerBytes == 0)
      return refused(first ? "the PNG file is truncated (it ends after its signature)"
                           : "the PNG file is truncated (it ends before its IEND chunk)");
    if (headerBytes < sizeof header) return refused("the PNG file is truncated (it ends inside a chunk header)");
    const std::uint32_t length = bigEndian(header);
    const std::string type(reinterpret_cast<const char*>(header + 4), 4);
    if (!isChunkType(type)) return refused("not a PNG file (a chunk type is not four letters)");
    if (length > 0x7FFFFFFFu) return refused("not a PNG file (chunk '" + type + "' is longer than PNG allows)");
    const std::uint64_t stored = std::uint64_t{length} + 4;  // data and CRC
    const auto left = in.remaining();
    if (left && *left < stored)
      return refused("the PNG file is damaged (chunk '" + type + "' runs past the end of the file)");
    if (first && (type != "IHDR" || length != 13))
      return refused("not a PNG file (it does not begin with an IHDR chunk)");
    if (type == "IEND") return refused("the PNG file has no 'plorvex' chunk (no parameters of this program)");

    const bool text = type == "tEXt" || type == "zTXt" || type == "iTXt";
    if (!first && !text) {
      if (!in.skip(stored)) {
        if (!in.readError.empty()) return ioFailure();
        return refused("the PNG file is damaged (chunk '" + type + "' runs past the end of the file)");
      }
      continue;
    }
    // IHDR is read for its CRC; a text chunk first for its keyword (at most 79
    // bytes and a NUL), then whole only if it is ours.
    std::string data(std::min<std::size_t>(length, first ? 13 : 80), '\0');
    const auto readData = [&](std::size_t from) {
      return in.read(reinterpret_cast<unsigned char*>(data.data()) + from, data.size() - from) ==
             data.size() - from;
    };
    const auto runsPast = [&] {
      if (!in.readError.empty()) return ioFailure();
      return refused("the PNG file is damaged (chunk '" + type + "' runs past the end of the file)");
    };
    if (!readData(0)) return runsPast();
    const std::size_t keywordEnd = first ? std::string::npos : data.find('\0');
    const bool ours = keywordEnd != std::string::npos && std::string_view(data).substr(0, keywordEnd) == kKeyword;
    if (!first && !ours) {
      if (!in.skip(stored - data.size())) return runsPast();
      continue;
    }
    if (length > kMaxChunkBytes) return refused("the 'plorvex' chunk is larger than 256 KiB; refused");
    const std::size_t head = data.size();
    data.resize(length);
    if (!readData(head)) return runsPast();
    unsigned char crc[4];
    if (in.read(crc, 4) != 4) return runsPast();
    if (bigEndian(crc) != detail::chunkCrc(type, data))
      return refused("the PNG file is damaged (chunk '" + (ours ? std::string("plorvex") : type) +
                     "' fails its CRC check)");
    if (first) continue;

    std::string error;
    const auto json = chunkText(type, std::string_view(data).substr(keywordEnd + 1), error);
    if (!json) return refused(error);
    return parametersFromJson(*json);
  }
}

// A JPEG begins with its start-of-image marker; anything else is read as a
// PNG, whose reader says what is wrong with it.
ReadResult walkPicture(ByteSource& in) {
  unsigned char start[2];
  if (in.peek(start, 2) == 2 && start[0] == 0xFF && start[1] == 0xD8) return detail::walkSegments(in);
  return walkChunks(in);
}

}  // namespace

ReadResult parametersFromPng(std::span<const unsigned char> bytes) {
  detail::MemorySource source(bytes);
  return walkChunks(source);
}

ReadResult parametersFromPicture(std::span<const unsigned char> bytes) {
  detail::MemorySource source(bytes);
  return walkPicture(source);
}

ReadResult readParameters(const QString& path) {
  const std::string name = QDir::toNativeSeparators(path).toStdString();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    return refused(name + ": cannot be opened (" + file.errorString().toStdString() + ")");
  ReadResult result = detail::readParametersFrom(file);
  if (!result.parameters) result.error = name + ": " + result.error;
  return result;
}

namespace detail {

ReadResult readParametersFrom(QIODevice& device) {
  DeviceSource source(device);
  return walkPicture(source);
}

std::uint32_t chunkCrc(std::string_view type, std::string_view data) {
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(type.data()), static_cast<uInt>(type.size()));
  // zlib's length is 32 bits wide; a chunk's data may be up to 2^31 - 1 bytes.
  crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), data.size());
  return static_cast<std::uint32_t>(crc);
}

std::string chunk(std::string_view type, std::string_view data) {
  std::string out;
  out.reserve(data.size() + 12);
  const auto put32 = [&](std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
  };
  put32(static_cast<std::uint32_t>(data.size()));
  out += type;
  out += data;
  put32(chunkCrc(type, data));
  return out;
}

std::string parametersChunk(const PictureParameters& parameters) {
  // Keyword, NUL, then the text: the JSON is plain ASCII (every other
  // character is escaped), so it is also the Latin-1 text tEXt holds.
  std::string data(kKeyword);
  data += '\0';
  data += parametersToJson(parameters);
  return chunk("tEXt", data);
}

std::string softwareChunk(std::string_view version) {
  // tEXt is Latin-1 without NUL; a version is printable ASCII in practice.
  std::string text = "Plorvex Picture Maker ";
  for (const char c : version) text += (c >= 0x20 && c < 0x7F) ? c : '?';
  std::string data = "Software";
  data += '\0';
  data += text;
  return chunk("tEXt", data);
}

}  // namespace detail
}  // namespace plorvex::picture
