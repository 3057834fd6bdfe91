// SPDX-License-Identifier: GPL-3.0-or-later
#include "scratch_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace plorvex {
namespace {

// A file without a name in `folder`: O_TMPFILE where the file system has it,
// else a fresh name removed at once.
int unnamedFileIn(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string name = folder + "/.plorvex-scratch-XXXXXX";
  const int named = ::mkostemp(name.data(), O_CLOEXEC);
  if (named >= 0) ::unlink(name.c_str());
  return named;
}

std::string systemTemporaryFolder() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

}  // namespace

ScratchFile::~ScratchFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool ScratchFile::open(const std::string& folder, std::string& error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  appended_ = 0;
  if (!folder.empty()) fd_ = unnamedFileIn(folder);
  if (fd_ < 0) fd_ = unnamedFileIn(systemTemporaryFolder());
  if (fd_ < 0) error = std::string("no temporary file can be made (") + std::strerror(errno) + ")";
  return fd_ >= 0;
}

namespace {

// Calls `transfer(done, left)` (pread or pwrite of what is left) until the
// whole length has gone through; false on an error or an end of file.
template <class Transfer>
bool transferWhole(std::size_t length, Transfer&& transfer) {
  for (std::size_t done = 0; done < length;) {
    const ssize_t moved = transfer(done, length - done);
    if (moved < 0 && errno == EINTR) continue;
    if (moved <= 0) return false;
    done += static_cast<std::size_t>(moved);
  }
  return true;
}

}  // namespace

bool ScratchFile::writeAt(std::uint64_t offset, const void* data, std::size_t length) {
  const char* bytes = static_cast<const char*>(data);
  return transferWhole(length, [&](std::size_t done, std::size_t left) {
    return ::pwrite(fd_, bytes + done, left, static_cast<off_t>(offset + done));
  });
}

bool ScratchFile::readAt(std::uint64_t offset, void* data, std::size_t length) const {
  char* bytes = static_cast<char*>(data);
  return transferWhole(length, [&](std::size_t done, std::size_t left) {
    return ::pread(fd_, bytes + done, left, static_cast<off_t>(offset + done));
  });
}

bool ScratchFile::append(const void* data, std::size_t length) {
  if (!writeAt(appended_, data, length)) return false;
  appended_ += length;
  return true;
}

bool ScratchFile::copyAppended(const std::function<bool(const char*, std::size_t)>& sink) const {
  std::vector<char> buffer(std::min<std::uint64_t>(appended_, 1 << 20));
  for (std::uint64_t at = 0; at < appended_;) {
    const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), appended_ - at));
    if (!readAt(at, buffer.data(), count) || !sink(buffer.data(), count)) return false;
    at += count;
  }
  return true;
}

bool ScratchFile::keepAs(const std::string& name) {
  if (fd_ < 0 || ::fdatasync(fd_) != 0) return false;
  // A file made with O_TMPFILE is named through its descriptor's link in
  // /proc; one that was named and removed at once cannot be named again.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  ::unlink(name.c_str());
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool ScratchFile::openKept(const std::string& name) {
  if (fd_ >= 0) ::close(fd_);
  appended_ = 0;
  fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  struct stat status {};
  if (fd_ >= 0 && ::fstat(fd_, &status) == 0 && S_ISREG(status.st_mode)) return true;
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  return false;
}

std::uint64_t ScratchFile::size() const {
  struct stat status {};
  return fd_ >= 0 && ::fstat(fd_, &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

}  // namespace plorvex
