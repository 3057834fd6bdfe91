// SPDX-License-Identifier: GPL-3.0-or-later
// Finds the 'plorvex' text chunk with libpng's sequential reader: libpng
// checks the signature, the chunk framing and the CRCs, and reads and inflates
// the text chunks, within the limits set below. A small watch on the bytes
// libpng asks for does what libpng cannot:
// - the pixels are never decoded, nor even read from a file: each IDAT, and
//   each ancillary chunk but the three text chunks, reaches libpng empty with
//   a CRC to match while its bytes are seeked past (libpng then checks the
//   CRCs of IHDR, PLTE, tRNS and the text chunks);
// - it says where a file ends early;
// - it knows which text chunk holds our keyword, so that a fault in someone
//   else's text chunk is passed over while one in ours is refused;
// - it stops the reading once our chunk is read: nothing after it is read.
// A JPEG goes to the segment walk of jpeg_comment.cpp instead.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QIODevice>
#include <QString>

#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "byte_source.h"
#include "file_write.h"
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

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// What libpng may hold for one file: any one chunk (its default), the number
// of text chunks kept, and all of its allocations together. A hostile file
// gets no more than this, however its text chunks inflate.
constexpr png_alloc_size_t kChunkMemoryLimit = 8'000'000;
constexpr png_uint_32 kStoredChunkLimit = 128;
constexpr std::size_t kMemoryBudget = 32u << 20;
// libpng's default: a PNG is at most a million pixels wide and high.
constexpr png_uint_32 kMaxPixelsAcross = 1'000'000;
// How much of our chunk's first bytes to keep for the messages: keyword,
// flags and, usually, the language tags.
constexpr std::size_t kHeadKept = 1024;

// One reading: the source, what the watch on libpng's reads has seen, and the
// memory libpng holds. libpng calls back into it through its io and mem
// pointers; a refusal is put here before libpng is made to stop.
struct Reading {
  explicit Reading(ByteSource& source) : in(source) {}
  ByteSource& in;
  std::string refusal;
  bool stopped = false;  // our chunk was read: stopped on purpose, not refused
  int headers = 0;
  std::string type;  // the chunk being read
  std::uint32_t length = 0;
  bool dataSeen = false;
  std::optional<std::uint32_t> emptyChunkCrc;  // owed to libpng for a chunk handed over empty
  enum class Ours { NotSeen, Open, Read } ours = Ours::NotSeen;
  std::string oursType, oursHead, oursWarning;
  std::string lastWarning;  // libpng warns of a fault in IHDR, then refuses it without saying which
  std::size_t allocated = 0;
};

Reading& readingOf(png_structp png) { return *static_cast<Reading*>(png_get_io_ptr(png)); }

void shortRead(Reading& r, std::size_t got, bool header) {
  if (!r.in.readError.empty())
    r.refusal = "the file cannot be read (" + r.in.readError + ")";
  else if (header && got == 0)
    r.refusal = r.headers == 0 ? "the PNG file is truncated (it ends after its signature)"
                               : "the PNG file is truncated (it ends before its IEND chunk)";
  else if (header)
    r.refusal = "the PNG file is truncated (it ends inside a chunk header)";
  else
    r.refusal = "the PNG file is damaged (chunk '" + r.type + "' runs past the end of the file)";
}

bool isText(const std::string& type) { return type == "tEXt" || type == "zTXt" || type == "iTXt"; }

// The image data, and every ancillary chunk but the texts: not ours to read.
bool handedOverEmpty(const std::string& type) {
  const bool ancillary = (static_cast<unsigned char>(type[0]) & 0x20) != 0;
  return type == "IDAT" || (ancillary && !isText(type));
}

// A chunk header: the first must be IHDR, and none may claim more bytes than
// the file has left. A chunk libpng need not read is made empty here and
// seeked past.
void sawHeader(Reading& r, unsigned char* header) {
  r.length = bigEndian(header);
  r.type.assign(reinterpret_cast<const char*>(header + 4), 4);
  r.dataSeen = false;
  if (r.headers++ == 0 && r.type != "IHDR") {
    r.refusal = "not a PNG file (it does not begin with an IHDR chunk)";
    return;
  }
  const auto left = r.in.remaining();
  const bool runsPast = r.length > 0x7FFFFFFFu || (left && *left < std::uint64_t{r.length} + 4);
  if (r.length <= 0x7FFFFFFFu && runsPast) {
    r.refusal = "the PNG file is damaged (chunk '" + r.type + "' runs past the end of the file)";
    return;
  }
  if (runsPast || !handedOverEmpty(r.type)) return;  // libpng says what is wrong with the length
  if (!r.in.skip(std::uint64_t{r.length} + 4)) {
    shortRead(r, 0, false);
    return;
  }
  std::memset(header, 0, 4);
  r.emptyChunkCrc = static_cast<std::uint32_t>(crc32(0, header + 4, 4));  // over the type alone
}

// The first bytes of a chunk's data: a text chunk's keyword.
void sawData(Reading& r, const unsigned char* data, std::size_t count) {
  r.dataSeen = true;
  if (r.ours != Reading::Ours::NotSeen || !isText(r.type)) return;
  const std::string_view head(reinterpret_cast<const char*>(data), std::min(count, kHeadKept));
  if (head.substr(0, head.find('\0')) != kKeyword || head.size() == kKeyword.size()) return;
  if (r.length > kMaxChunkBytes) {
    r.refusal = "the 'plorvex' chunk is larger than 256 KiB; refused";
    return;
  }
  r.ours = Reading::Ours::Open;
  r.oursType = r.type;
  r.oursHead = std::string(head);
}

void readBytes(png_structp png, png_bytep to, std::size_t count) {
  Reading& r = readingOf(png);
  const png_uint_32 state = png_get_io_state(png);
  const bool header = (state & PNG_IO_CHUNK_HDR) != 0;
  if (header && r.ours == Reading::Ours::Open) {
    // Our chunk is behind us: the first 'plorvex' chunk is the one that counts.
    r.ours = Reading::Ours::Read;
    r.stopped = true;
    png_error(png, "stopped after the 'plorvex' chunk");
  }
  if (r.emptyChunkCrc && (state & PNG_IO_CHUNK_CRC) != 0 && count == 4) {
    for (int k = 0; k < 4; ++k) to[k] = static_cast<png_byte>(*r.emptyChunkCrc >> (24 - 8 * k));
    r.emptyChunkCrc.reset();
    return;
  }
  const std::size_t got = r.in.read(to, count);
  if (got < count) {
    shortRead(r, got, header);
    png_error(png, "short read");
  }
  if (header && count == 8)
    sawHeader(r, to);
  else if ((state & PNG_IO_CHUNK_DATA) != 0 && !r.dataSeen)
    sawData(r, to, count);
  if (!r.refusal.empty()) png_error(png, "refused");
}

// libpng's words for a fault that stops the reading, in ours.
std::string fatalMessage(const Reading& r, std::string_view said) {
  if (contains(said, "CRC")) return "the PNG file is damaged (chunk '" + r.type + "' fails its CRC check)";
  if (contains(said, "invalid chunk type")) return "not a PNG file (a chunk type is not four letters)";
  const bool ihdr = contains(said, "IHDR");
  if (ihdr && contains(r.lastWarning, "exceeds user limit"))
    return "the PNG image is more than 1,000,000 pixels wide or high, more than this program reads";
  return "the PNG file is damaged or not one this program reads (libpng: " + std::string(said) +
         (ihdr && !r.lastWarning.empty() ? ": " + r.lastWarning : "") + ")";
}

void onError(png_structp png, png_const_charp message) {
  Reading& r = readingOf(png);
  if (r.refusal.empty() && !r.stopped) r.refusal = fatalMessage(r, message);
  png_longjmp(png, 1);
}

// A warning while our chunk is read means libpng dropped it; one about
// anyone else's chunk is passed over.
void onWarning(png_structp png, png_const_charp message) {
  Reading& r = readingOf(png);
  r.lastWarning = message;
  if (r.ours == Reading::Ours::Open && r.oursWarning.empty()) r.oursWarning = message;
}

png_voidp allocate(png_structp png, png_alloc_size_t size) {
  auto& r = *static_cast<Reading*>(png_get_mem_ptr(png));
  constexpr std::size_t kHeader = alignof(std::max_align_t);
  if (size > kMemoryBudget - r.allocated) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  r.allocated += size;
  return block + kHeader;
}

void release(png_structp png, png_voidp pointer) {
  if (pointer == nullptr) return;
  auto& r = *static_cast<Reading*>(png_get_mem_ptr(png));
  auto* block = static_cast<unsigned char*>(pointer) - alignof(std::max_align_t);
  png_alloc_size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  r.allocated -= size;
  std::free(block);
}

void setLimits(png_structp png) {
  png_set_user_limits(png, kMaxPixelsAcross, kMaxPixelsAcross);
  png_set_chunk_malloc_max(png, kChunkMemoryLimit);
  png_set_chunk_cache_max(png, kStoredChunkLimit);
  png_set_benign_errors(png, 1);  // a fault in someone else's chunk drops that chunk only
  // Every chunk libpng knows beyond IHDR, PLTE, tRNS and IEND is passed over,
  // and every chunk it does not know; then the texts are read after all, and
  // the image data is passed over as well.
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
  static constexpr png_byte kTexts[] = "tEXt\0zTXt\0iTXt";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_AS_DEFAULT, kTexts, 3);
  static constexpr png_byte kImageData[] = "IDAT";
  png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kImageData, 1);
  // libpng refuses a critical chunk nobody handled: the (empty) image data is
  // handled by being dropped, and so is anything else unknown.
  png_set_read_user_chunk_fn(png, nullptr, [](png_structp, png_unknown_chunkp) { return 1; });
}

// Why libpng dropped our chunk, from its warning and the chunk's first bytes.
std::string droppedMessage(const Reading& r) {
  const std::string& said = r.oursWarning;
  if (contains(said, "CRC")) return "the PNG file is damaged (chunk 'plorvex' fails its CRC check)";
  const std::size_t flagAt = kKeyword.size() + 1;
  const bool itxt = r.oursType == "iTXt";
  if (contains(said, "bad compression info") && itxt && r.oursHead.size() > flagAt &&
      static_cast<unsigned char>(r.oursHead[flagAt]) > 1)
    return "the 'plorvex' chunk is malformed (its compression flag is neither 0 nor 1)";
  if (contains(said, "compression"))
    return "the 'plorvex' chunk uses an unknown compression method";
  // iTXt: flag, method, language tag NUL, translated keyword NUL, then text.
  const bool compressed = itxt ? r.oursHead.size() > flagAt && r.oursHead[flagAt] == 1 : r.oursType == "zTXt";
  const std::size_t languageEnd = r.oursHead.find('\0', flagAt + 2);
  const bool framed = !itxt || (r.oursHead.size() > flagAt + 1 && languageEnd != std::string::npos &&
                                r.oursHead.find('\0', languageEnd + 1) != std::string::npos);
  if (!framed) return "the 'plorvex' chunk is malformed (libpng: " + said + ")";
  if (contains(said, "memory") || contains(said, "too large") || contains(said, "exceeds") ||
      contains(said, "limit") || contains(said, "cache"))
    return "the 'plorvex' text is more than a picture's texts may take (libpng: " + said + "); refused";
  // libpng says "truncated" both of a stream cut short and of one that
  // inflates past its limit for a chunk.
  if (compressed && contains(said, "truncated"))
    return "the compressed 'plorvex' text is damaged: it ends early, or it inflates to more than 8 MB "
           "(libpng: " + said + ")";
  if (compressed) return "the compressed 'plorvex' text is damaged (libpng: " + said + ")";
  return "the 'plorvex' chunk is malformed (libpng: " + said + ")";
}

// The JSON text of our chunk as libpng read it.
ReadResult textOf(const png_text& text) {
  const bool itxt = text.compression == PNG_ITXT_COMPRESSION_NONE || text.compression == PNG_ITXT_COMPRESSION_zTXt;
  const bool inflated = text.compression == PNG_TEXT_COMPRESSION_zTXt || text.compression == PNG_ITXT_COMPRESSION_zTXt;
  const std::size_t length = itxt ? text.itxt_length : text.text_length;
  if (length > kMaxTextBytes)
    return refused(inflated ? "the 'plorvex' text inflates to more than 64 KiB; refused"
                            : "the 'plorvex' text is larger than 64 KiB; refused");
  const std::string_view stored(text.text == nullptr ? "" : text.text, text.text == nullptr ? 0 : length);
  if (!itxt) return parametersFromJson(latin1ToUtf8(stored));  // tEXt and zTXt hold Latin-1
  if (!detail::isValidUtf8(stored)) return refused("the 'plorvex' text is not valid UTF-8");
  return parametersFromJson(stored);
}

ReadResult verdict(png_structp png, png_infop info, const Reading& r) {
  if (!r.refusal.empty()) return refused(r.refusal);
  if (r.ours == Reading::Ours::NotSeen)
    return refused("the PNG file has no 'plorvex' chunk (no parameters of this program)");
  if (!r.oursWarning.empty()) return refused(droppedMessage(r));
  png_textp texts = nullptr;
  const int count = png_get_text(png, info, &texts, nullptr);
  for (int i = 0; i < count; ++i)
    if (texts[i].key != nullptr && kKeyword == texts[i].key) return textOf(texts[i]);
  return refused("the 'plorvex' chunk could not be kept (too many text chunks come before it)");
}

// Reads up to and through our chunk, or to IEND when there is none. Nothing
// with a destructor lives between the setjmp and libpng's jumps back to it.
void readThroughLibpng(png_structp png, png_infop info, Reading& r) {
  if (setjmp(png_jmpbuf(png)) != 0) return;
  png_read_info(png, info);
  if (r.ours == Reading::Ours::NotSeen) png_read_end(png, info);
}

ReadResult walkChunks(ByteSource& in) {
  unsigned char signature[8];
  const std::size_t got = in.read(signature, sizeof signature);
  if (!in.readError.empty()) return refused("the file cannot be read (" + in.readError + ")");
  if (got == 0) return refused("not a PNG file (it is empty)");
  if (png_sig_cmp(signature, 0, got) != 0) return refused("not a PNG file (its signature is wrong)");
  if (got < sizeof signature) return refused("the PNG file is truncated (it ends inside its signature)");

  Reading reading(in);
  png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &reading, onError, onWarning, &reading,
                                             allocate, release);
  png_infop info = png == nullptr ? nullptr : png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return refused("the PNG file cannot be read (libpng failed to start)");
  }
  png_set_read_fn(png, &reading, readBytes);
  png_set_sig_bytes(png, sizeof signature);
  setLimits(png);
  readThroughLibpng(png, info, reading);
  ReadResult result = verdict(png, info, reading);
  png_destroy_read_struct(&png, &info, nullptr);
  return result;
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

ReadResult readParametersNamed(const std::string& name) {
  QFile file;
  std::string reason;
  if (!openFileNamed(file, QByteArray::fromStdString(name), QIODevice::ReadOnly, reason))
    return refused(shownName(name) + ": cannot be opened (" + reason + ")");
  ReadResult result = detail::readParametersFrom(file);
  if (!result.parameters) result.error = shownName(name) + ": " + result.error;
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
  // (No data must not be a null pointer: zlib answers that with 0.)
  if (!data.empty()) crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data.data()), data.size());
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
