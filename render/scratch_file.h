// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An unnamed temporary file for bytes too many to keep in memory. It is made
// in the folder given where it can be (beside the output it serves, so on the
// disk that output needs room on anyway), else in the system's temporary
// folder. Having no name, it goes with the process, ended or killed.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace plorvex {

class ScratchFile {
 public:
  ScratchFile() = default;
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  // False with the reason when no such file can be made.
  bool open(const std::string& folder, std::string& error);
  bool isOpen() const { return fd_ >= 0; }
  // Whole writes and reads at an offset, safe from several threads at once
  // for different bytes; false when the system refused (errno says why).
  bool writeAt(std::uint64_t offset, const void* data, std::size_t length);
  bool readAt(std::uint64_t offset, void* data, std::size_t length) const;
  // Appends at the end of what was appended so far (one thread at a time).
  bool append(const void* data, std::size_t length);
  std::uint64_t appended() const { return appended_; }
  // The appended bytes from the start, in pieces of at most 1 MiB.
  bool copyAppended(const std::function<bool(const char*, std::size_t)>& sink) const;

  // Gives the file a name (replacing a file of that name), once its bytes
  // are on the disk, for a later run to open; false where the system cannot
  // name an unnamed file (the file stays unnamed).
  bool keepAs(const std::string& name);
  // Opens a file kept so, to read; false unless it is a regular file.
  bool openKept(const std::string& name);
  std::uint64_t size() const;

 private:
  int fd_ = -1;
  std::uint64_t appended_ = 0;
};

}  // namespace plorvex
