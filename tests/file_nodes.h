// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Nodes that are not regular files, made in a test's own folder (never the
// real ones under /dev): copies of /dev/null and /dev/full, named pipes and
// sockets, for the checks that a write leaves them what they are.

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace plorvex::testing_files {

inline constexpr int kNullMinor = 3;  // char device 1,3 is /dev/null
inline constexpr int kFullMinor = 7;  // char device 1,7 is /dev/full

// A copy of a memory device (needs root: false with errno EPERM without it).
inline bool makeCharDevice(const std::string& path, int minor) {
  return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, minor)) == 0;
}

inline bool makePipe(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

// A socket file, as a program that listens there leaves it.
inline bool makeSocket(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  const bool bound = listener >= 0 && ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (listener >= 0) ::close(listener);
  return bound;
}

// The type of the name itself (S_IFCHR, S_IFIFO, S_IFLNK ...), 0 if none.
inline mode_t typeOf(const std::string& path) {
  struct stat node {};
  return ::lstat(path.c_str(), &node) == 0 ? node.st_mode & S_IFMT : 0;
}

// Whether a case may go on after making its node: mknod needs root
// (CAP_MKNOD), so without it the case is skipped, said on standard output;
// any other failure is a fault of the test.
inline bool nodeMade(bool made, const char* what) {
  if (made) return true;
  if (errno == EPERM)
    std::printf("[ SKIPPED  ] %s: mknod is not permitted here\n", what);
  else
    ADD_FAILURE() << what << ": cannot make the node: " << std::strerror(errno);
  return false;
}

}  // namespace plorvex::testing_files
