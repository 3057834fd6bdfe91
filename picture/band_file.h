// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Part files: some of a PNG's bands, encoded, with the head of the PNG they
// belong to, so that parts made anywhere are joined into the PNG without
// decoding anything. A part begins with its own header (a magic line, the PNG
// head, the picture's band count, the first and last band it holds) and then
// holds one record per band, in order: band number, raw size, Adler-32,
// deflated size, the deflated bytes, and a CRC-32 over all of that, so that a
// record cut short or damaged is never taken for a band.

#include <QByteArray>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "png_stream.h"

class QIODevice;

namespace plorvex::picture {

struct PartHeader {
  std::string head;  // the PNG's bytes before its image data
  std::uint64_t bands = 0;
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // inclusive
  friend bool operator==(const PartHeader&, const PartHeader&) = default;
};

bool writePartHeader(QIODevice& out, const PartHeader& header);
bool writeBandRecord(QIODevice& out, const BandPiece& piece);

// Where a band's record lies in a part file.
struct BandRecord {
  std::uint64_t band = 0;
  std::uint64_t rawBytes = 0;
  std::uint32_t adler = 0;
  std::uint64_t deflatedBytes = 0;
  std::uint64_t dataOffset = 0;  // of the deflated bytes in the file
  std::uint32_t crc = 0;         // as stored
};

// A part file's header and the records that follow it whole, in order from
// its first band (a record for another band, or cut short, ends the list).
// With checkData the records' CRCs are checked as well (every byte read).
// Names here are the system's bytes, which need not be UTF-8.
struct PartContents {
  PartHeader header;
  std::vector<BandRecord> records;
  std::uint64_t wholeBytes = 0;  // the header and the records listed
};
std::optional<PartContents> readPart(const QByteArray& name, bool checkData, std::string& error);

// Copies a record's deflated bytes to `sink`, checking its CRC on the way.
bool copyRecordData(QIODevice& in, const BandRecord& record, const PngBodyWriter::Sink& sink, std::string& error);

// Joins whole parts that cover a picture once, in order, from the same view
// into one PNG at `out` (atomically, as every file). False with the reason:
// which part is missing, doubled, out of order, of another view or damaged.
// `keepGoing` false between bands cancels, with the error kWriteCancelled.
bool joinParts(const std::vector<QByteArray>& parts, const QByteArray& out, std::string& error,
               const std::function<bool()>& keepGoing = {});

}  // namespace plorvex::picture
