// SPDX-License-Identifier: GPL-3.0-or-later
#include "file_write.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "picture.h"
#include "png_chunks.h"

namespace plorvex::picture {
namespace {

// True when the name leads, through links or not, to an entry of a process's
// open descriptors (/dev/stdout, /dev/fd/N, /proc/self/fd/N): whatever the
// descriptor holds, the name is not a file of its own to be replaced.
bool namesAnOpenDescriptor(const QString& path) {
  QFileInfo link(path);
  for (int depth = 0; depth < 40 && link.isSymLink(); ++depth) {
    const QString folder = QFileInfo(link.absolutePath()).canonicalFilePath();
    if (folder.startsWith("/proc/") && QDir(folder).dirName() == "fd") return true;
    link.setFile(link.symLinkTarget());
  }
  return false;
}

// Only a regular file, or a name with nothing behind it yet, is replaced by a
// rename: a device, a pipe or a socket would turn into an ordinary file that
// way, so they are opened and written in place. A folder is left to the
// atomic write, which refuses it.
}  // namespace

bool writesInPlace(const QString& path) {
  if (namesAnOpenDescriptor(path)) return true;
  struct stat status {};
  if (::stat(QFile::encodeName(path).constData(), &status) != 0) return false;
  return !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

namespace {

// Opens a name that is written in place. A named pipe nobody reads yet is
// waited for, as a shell's redirection waits; with keepGoing the wait asks it
// every 50 ms, so that a save from the window can be cancelled meanwhile.
bool openInPlace(QFile& file, const std::function<bool()>& keepGoing, std::string& error) {
  if (!keepGoing) {
    if (file.open(QIODevice::WriteOnly)) return true;
    error = deviceError(file, "it cannot be opened for writing");
    return false;
  }
  const QByteArray name = QFile::encodeName(file.fileName());
  for (;;) {
    const int descriptor = ::open(name.constData(), O_WRONLY | O_TRUNC | O_NONBLOCK | O_CLOEXEC);
    if (descriptor >= 0) {
      ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
      if (file.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) return true;
      ::close(descriptor);
      error = deviceError(file, "it cannot be opened for writing");
      return false;
    }
    // A socket gives ENXIO as well; only a pipe's is worth waiting out.
    const int failure = errno;
    struct stat status {};
    const bool pipe = ::stat(name.constData(), &status) == 0 && S_ISFIFO(status.st_mode);
    if (failure != ENXIO || !pipe) {
      error = std::strerror(failure);
      return false;
    }
    if (!keepGoing()) {
      error = kWriteCancelled;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// Whether Qt's file names keep these bytes: names that are not text in the
// locale's encoding (not UTF-8, say) are changed on the way to a QString.
bool keptByQt(const QByteArray& name) { return QFile::encodeName(QFile::decodeName(name)) == name; }

// The same rule as writeFile's for a name Qt cannot hold, with the system's
// calls on the bytes: a temporary file beside the target, renamed over it.
bool writeBytesNamed(const QByteArray& given, const std::function<bool(QIODevice&, std::string& reason)>& write,
                     std::string& error) {
  const std::string name = given.toStdString();
  const auto fail = [&](const std::string& reason) {
    error = reason == kWriteCancelled ? reason : "cannot write '" + shownName(name) + "': " + reason;
    return false;
  };
  QByteArray target = given;
  char resolved[PATH_MAX];
  struct stat status {};
  if (::lstat(given.constData(), &status) == 0 && S_ISLNK(status.st_mode) && ::realpath(given.constData(), resolved))
    target = resolved;  // a link stays; its target is replaced
  QFile file;
  if (::stat(target.constData(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode)) {
    const int descriptor = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (descriptor < 0 || !file.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle))
      return fail(std::strerror(errno));
    std::string reason;
    return write(file, reason) && file.flush() ? true : fail(reason.empty() ? deviceError(file, "short write") : reason);
  }
  const qsizetype slash = target.lastIndexOf('/');
  QByteArray temporary = target.left(slash + 1) + "." + target.mid(slash + 1) + ".XXXXXX";
  const int descriptor = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (descriptor < 0) return fail(std::strerror(errno));
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(descriptor, 0666 & ~mask);
  std::string reason;
  const bool written = file.open(descriptor, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle) &&
                       write(file, reason) && file.flush();
  if (reason.empty() && !written) reason = deviceError(file, "the data could not be written");
  file.close();
  if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
    if (written) reason = std::strerror(errno);
    ::unlink(temporary.constData());
    return fail(reason);
  }
  return true;
}

}  // namespace

bool writeFileNamed(const QByteArray& name, const std::function<bool(QIODevice&, std::string& reason)>& write,
                    std::string& error, const std::function<bool()>& keepGoing) {
  if (keptByQt(name)) return writeFile(QFile::decodeName(name), write, error, keepGoing);
  const auto writeUnlessCancelled = [&](QIODevice& out, std::string& reason) {
    if (!write(out, reason)) return false;
    if (keepGoing && !keepGoing()) return reason = kWriteCancelled, false;
    return true;
  };
  return writeBytesNamed(name, writeUnlessCancelled, error);
}

bool writesInPlaceNamed(const QByteArray& name) {
  if (keptByQt(name)) return writesInPlace(QFile::decodeName(name));
  struct stat status {};
  return ::stat(name.constData(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

bool openFileNamed(QFile& file, const QByteArray& name, QIODevice::OpenMode mode, std::string& error) {
  int flags = O_RDONLY;
  if (mode & QIODevice::WriteOnly) flags = (mode & QIODevice::ReadOnly ? O_RDWR : O_WRONLY) | O_CREAT;
  if (mode & QIODevice::Truncate) flags |= O_TRUNC;
  const int descriptor = ::open(name.constData(), flags | O_CLOEXEC, 0666);
  if (descriptor < 0) return error = std::strerror(errno), false;
  if (file.open(descriptor, mode & ~QIODevice::Truncate, QFileDevice::AutoCloseHandle)) return true;
  error = deviceError(file, "it cannot be opened");
  ::close(descriptor);
  return false;
}

std::string shownName(std::string_view name) {
  std::string shown;
  for (std::size_t i = 0; i < name.size();) {
    // A character is the shortest valid prefix: UTF-8 sequences are prefix-free.
    std::size_t length = 1;
    while (length <= 4 && i + length <= name.size() && !detail::isValidUtf8(name.substr(i, length))) ++length;
    const auto byte = static_cast<unsigned char>(name[i]);
    if (length > 4 || i + length > name.size() || byte < 0x20 || byte == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      shown += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
      ++i;
    } else {
      shown.append(name.substr(i, length));
      i += length;
    }
  }
  return shown;
}

std::string deviceError(const QIODevice& out, const std::string& fallback) {
  const std::string reason = out.errorString().toStdString();
  return reason.empty() || reason == "Unknown error" ? fallback : reason;
}

bool writeFile(const QString& path, const std::function<bool(QIODevice&, std::string& reason)>& write,
               std::string& error, const std::function<bool()>& keepGoing) {
  const std::string name = QDir::toNativeSeparators(path).toStdString();
  const auto fail = [&](const std::string& reason) {
    error = reason == kWriteCancelled ? reason : "cannot write '" + name + "': " + reason;
    return false;
  };
  // QSaveFile writes a temporary file beside the target and renames it over the
  // target on commit; anything short of that leaves the folder as it was. A
  // link to a file is followed: its target is replaced and the link stays.
  const bool inPlace = writesInPlace(path);
  QFile direct(path);
  QSaveFile atomic(path);
  QFileDevice& file = inPlace ? static_cast<QFileDevice&>(direct) : atomic;
  std::string reason;
  if (inPlace ? !openInPlace(direct, keepGoing, reason) : !atomic.open(QIODevice::WriteOnly))
    return fail(inPlace ? reason : deviceError(file, "the file cannot be created"));
  bool written = write(file, reason);
  if (written && keepGoing && !keepGoing()) {
    written = false;
    reason = kWriteCancelled;
  }
  if (!written) {
    if (!inPlace) atomic.cancelWriting();
    return fail(reason);
  }
  if (!inPlace && !atomic.commit()) return fail(deviceError(file, "the file could not be completed"));
  return true;
}

}  // namespace plorvex::picture
