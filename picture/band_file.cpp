// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_file.h"

#include <QFile>
#include <QIODevice>

#include <zlib.h>

#include <array>

#include "file_write.h"
#include "picture.h"

namespace plorvex::picture {
namespace {

constexpr std::string_view kMagic = "plorvex bands 1\n";
// A head is the signature, IHDR, two text chunks and pHYs: far below this.
constexpr std::uint64_t kMaxHeadBytes = 1 << 20;

void put64(std::string& out, std::uint64_t value) {
  for (int shift = 56; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}
void put32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xFF);
}
std::uint64_t get(const std::string& in, std::size_t at, int bytes) {
  std::uint64_t value = 0;
  for (int k = 0; k < bytes; ++k) value = value << 8 | static_cast<unsigned char>(in[at + k]);
  return value;
}

bool writeAll(QIODevice& out, const std::string& bytes) {
  return out.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}

bool readExactly(QIODevice& in, std::string& bytes, std::uint64_t count) {
  bytes.resize(count);
  return count == 0 || in.read(bytes.data(), static_cast<qint64>(count)) == static_cast<qint64>(count);
}

constexpr std::size_t kRecordHeadBytes = 8 + 8 + 4 + 8;

std::string recordHead(std::uint64_t band, std::uint64_t raw, std::uint32_t adler, std::uint64_t deflated) {
  std::string bytes;
  put64(bytes, band);
  put64(bytes, raw);
  put32(bytes, adler);
  put64(bytes, deflated);
  return bytes;
}

std::uint32_t crcOf(std::uint32_t crc, const char* data, std::size_t length) {
  return static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(data), length));
}

bool readHeader(QIODevice& in, PartHeader& header, std::string& error) {
  std::string bytes;
  if (!readExactly(in, bytes, kMagic.size() + 8) || bytes.compare(0, kMagic.size(), kMagic) != 0)
    return error = "it is not a part file of plorvex-render --bands", false;
  const std::uint64_t headBytes = get(bytes, kMagic.size(), 8);
  if (headBytes > kMaxHeadBytes || !readExactly(in, header.head, headBytes) || !readExactly(in, bytes, 24))
    return error = "its header is damaged or cut short", false;
  header.bands = get(bytes, 0, 8);
  header.first = get(bytes, 8, 8);
  header.last = get(bytes, 16, 8);
  if (header.first > header.last || header.last >= header.bands)
    return error = "its header names bands that do not fit its picture", false;
  return true;
}

}  // namespace

bool writePartHeader(QIODevice& out, const PartHeader& header) {
  std::string bytes(kMagic);
  put64(bytes, header.head.size());
  bytes += header.head;
  put64(bytes, header.bands);
  put64(bytes, header.first);
  put64(bytes, header.last);
  return writeAll(out, bytes);
}

bool writeBandRecord(QIODevice& out, const BandPiece& piece) {
  const std::string bytes = recordHead(piece.band, piece.rawBytes, piece.adler, piece.deflatedBytes);
  std::uint32_t crc = crcOf(0, bytes.data(), bytes.size());
  const bool copied = writeAll(out, bytes) && piece.copyTo([&](const char* data, std::size_t length) {
    crc = crcOf(crc, data, length);
    return out.write(data, static_cast<qint64>(length)) == static_cast<qint64>(length);
  });
  std::string check;
  put32(check, crc);
  return copied && writeAll(out, check);
}

std::optional<PartContents> readPart(const QByteArray& name, bool checkData, std::string& error) {
  QFile in;
  if (!openFileNamed(in, name, QIODevice::ReadOnly, error)) return std::nullopt;
  PartContents part;
  if (!readHeader(in, part.header, error)) return std::nullopt;
  part.wholeBytes = static_cast<std::uint64_t>(in.pos());
  const std::uint64_t size = static_cast<std::uint64_t>(in.size());
  std::string bytes;
  for (std::uint64_t band = part.header.first; band <= part.header.last; ++band) {
    if (!readExactly(in, bytes, kRecordHeadBytes)) break;
    BandRecord record{get(bytes, 0, 8), get(bytes, 8, 8), static_cast<std::uint32_t>(get(bytes, 16, 4)),
                      get(bytes, 20, 8), static_cast<std::uint64_t>(in.pos()), 0};
    if (record.band != band || record.deflatedBytes > size - record.dataOffset ||
        size - record.dataOffset - record.deflatedBytes < 4)
      break;
    if (checkData) {
      std::string unused;
      const PngBodyWriter::Sink discard = [](const char*, std::size_t) { return true; };
      if (!copyRecordData(in, record, discard, unused)) break;
    } else {
      in.seek(static_cast<qint64>(record.dataOffset + record.deflatedBytes));
      if (!readExactly(in, bytes, 4)) break;
      record.crc = static_cast<std::uint32_t>(get(bytes, 0, 4));
    }
    part.records.push_back(record);
    part.wholeBytes = static_cast<std::uint64_t>(in.pos());
  }
  return part;
}

bool copyRecordData(QIODevice& in, const BandRecord& record, const PngBodyWriter::Sink& sink, std::string& error) {
  const std::string head = recordHead(record.band, record.rawBytes, record.adler, record.deflatedBytes);
  std::uint32_t crc = crcOf(0, head.data(), head.size());
  if (!in.seek(static_cast<qint64>(record.dataOffset))) return error = "it cannot be read", false;
  std::string buffer;
  for (std::uint64_t left = record.deflatedBytes; left > 0;) {
    const std::uint64_t count = std::min<std::uint64_t>(left, 1 << 20);
    if (!readExactly(in, buffer, count)) return error = "it is cut short", false;
    crc = crcOf(crc, buffer.data(), buffer.size());
    if (!sink(buffer.data(), buffer.size())) return error = "the output refused the data", false;
    left -= count;
  }
  if (!readExactly(in, buffer, 4) || get(buffer, 0, 4) != crc)
    return error = "band " + std::to_string(record.band) + " is damaged (its CRC does not match)", false;
  return true;
}

namespace {

// Why the parts, in the order given, are not one picture ("" when they are).
std::string coverageProblem(const std::vector<QByteArray>& names, const std::vector<PartContents>& parts) {
  const auto name = [&](std::size_t k) { return "'" + shownName(names[k].toStdString()) + "'"; };
  std::uint64_t next = 0;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    const PartHeader& header = parts[k].header;
    if (header.head != parts[0].header.head || header.bands != parts[0].header.bands)
      return name(k) + " is a part of another picture than " + name(0);
    if (parts[k].records.size() != header.last - header.first + 1)
      return name(k) + " is not whole: it holds " + std::to_string(parts[k].records.size()) + " of bands " +
             std::to_string(header.first) + "-" + std::to_string(header.last);
    const std::string bands = "bands " + std::to_string(header.first) + "-" + std::to_string(header.last);
    const auto laterStartsAt = [&](std::uint64_t band) {
      for (std::size_t later = k + 1; later < parts.size(); ++later)
        if (parts[later].header.first == band) return true;
      return false;
    };
    if (header.first > next && laterStartsAt(next))
      return name(k) + " holds " + bands + ", out of order: the parts go in band order";
    if (header.first > next)
      return "bands " + std::to_string(next) + "-" + std::to_string(header.first - 1) + " are missing (before " +
             name(k) + ")";
    if (header.first < next) {
      const bool doubled = header.last < next || k == 0 || parts[k - 1].header.first <= header.first;
      return name(k) + " holds " + bands + ", " + (doubled ? "some of them already given" : "out of order");
    }
    next = header.last + 1;
  }
  if (next < parts[0].header.bands)
    return "bands " + std::to_string(next) + "-" + std::to_string(parts[0].header.bands - 1) + " are missing (after " +
           name(parts.size() - 1) + ")";
  return {};
}

}  // namespace

bool joinParts(const std::vector<QByteArray>& names, const QByteArray& out, std::string& error,
               const std::function<bool()>& keepGoing) {
  if (names.empty()) return error = "--join: no parts given", false;
  std::vector<PartContents> parts;
  for (const QByteArray& name : names) {
    std::string reason;
    std::optional<PartContents> part = readPart(name, false, reason);
    if (!part) return error = "--join: '" + shownName(name.toStdString()) + "': " + reason, false;
    parts.push_back(std::move(*part));
  }
  if (const std::string problem = coverageProblem(names, parts); !problem.empty())
    return error = "--join: " + problem + "; nothing written", false;
  return writeFileNamed(
      out,
      [&](QIODevice& device, std::string& reason) {
        const PngBodyWriter::Sink sink = [&](const char* data, std::size_t length) {
          return device.write(data, static_cast<qint64>(length)) == static_cast<qint64>(length);
        };
        if (!sink(parts[0].header.head.data(), parts[0].header.head.size()))
          return reason = deviceError(device, "the output refused the data"), false;
        PngBodyWriter body(sink, parts[0].header.bands);
        for (std::size_t k = 0; k < parts.size(); ++k) {
          QFile in;
          std::string why;
          if (!openFileNamed(in, names[k], QIODevice::ReadOnly, why))
            return reason = shownName(names[k].toStdString()) + ": cannot be read (" + why + ")", false;
          for (const BandRecord& record : parts[k].records) {
            if (keepGoing && !keepGoing()) return reason = kWriteCancelled, false;
            if (!body.beginPiece(record.deflatedBytes, record.rawBytes, record.adler))
              return reason = deviceError(device, "the output refused the data"), false;
            if (!copyRecordData(in, record, [&](const char* d, std::size_t n) { return body.pieceData(d, n); }, why))
              return reason = shownName(names[k].toStdString()) + ": " + why, false;
            if (!body.endPiece()) return reason = deviceError(device, "the output refused the data"), false;
          }
        }
        return body.finish() || (reason = deviceError(device, "the output refused the data"), false);
      },
      error, keepGoing);
}

}  // namespace plorvex::picture
