// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a picture reader's bytes come from: memory or a device. The readers
// walk a file's chunks or segments through it, seeking past what they do not
// need when the device allows it. Not part of the interface.

#include <QIODevice>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>

namespace plorvex::picture::detail {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to count bytes into to; fewer only at the end or on a read error.
  virtual std::size_t read(unsigned char* to, std::size_t count) = 0;
  // The next bytes without taking them (fewer at the end).
  virtual std::size_t peek(unsigned char* to, std::size_t count) = 0;
  // Skips count bytes; false if fewer remain.
  virtual bool skip(std::uint64_t count) = 0;
  // The bytes left, when that is known before reading them.
  virtual std::optional<std::uint64_t> remaining() const = 0;
  // Set when reading failed other than by reaching the end.
  std::string readError;
};

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
  std::size_t read(unsigned char* to, std::size_t count) override {
    count = peek(to, count);
    position_ += count;
    return count;
  }
  std::size_t peek(unsigned char* to, std::size_t count) override {
    count = std::min(count, bytes_.size() - position_);
    if (count > 0) std::memcpy(to, bytes_.data() + position_, count);
    return count;
  }
  bool skip(std::uint64_t count) override {
    if (count > bytes_.size() - position_) return false;
    position_ += static_cast<std::size_t>(count);
    return true;
  }
  std::optional<std::uint64_t> remaining() const override { return bytes_.size() - position_; }

 private:
  std::span<const unsigned char> bytes_;
  std::size_t position_ = 0;
};

class DeviceSource : public ByteSource {
 public:
  explicit DeviceSource(QIODevice& device) : device_(device) {}
  std::size_t read(unsigned char* to, std::size_t count) override {
    std::size_t done = 0;
    while (done < count) {
      const qint64 got = device_.read(reinterpret_cast<char*>(to) + done, static_cast<qint64>(count - done));
      if (got < 0) {
        readError = device_.errorString().toStdString();
        break;
      }
      if (got == 0 && !device_.waitForReadyRead(-1)) break;
      done += static_cast<std::size_t>(got);
    }
    return done;
  }
  std::size_t peek(unsigned char* to, std::size_t count) override {
    const qint64 got = device_.peek(reinterpret_cast<char*>(to), static_cast<qint64>(count));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }
  bool skip(std::uint64_t count) override {
    if (!device_.isSequential()) {
      if (count > *remaining()) return false;
      return device_.seek(device_.pos() + static_cast<qint64>(count));
    }
    unsigned char discard[16384];
    while (count > 0) {
      const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof discard));
      if (read(discard, piece) != piece) return false;
      count -= piece;
    }
    return true;
  }
  std::optional<std::uint64_t> remaining() const override {
    if (device_.isSequential()) return std::nullopt;
    return static_cast<std::uint64_t>(std::max<qint64>(0, device_.size() - device_.pos()));
  }

 private:
  QIODevice& device_;
};

}  // namespace plorvex::picture::detail
