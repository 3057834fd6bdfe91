// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The rule every file this program writes follows. A regular file, or a name
// with nothing behind it yet, is replaced atomically: a temporary file in the
// same folder, renamed over the target only when all of it was written, so a
// failure leaves no file behind and an existing file unchanged; a link to a
// file keeps the link and replaces its target. Anything else (a device, a
// pipe, a socket, a process's open descriptor) is opened and written in place,
// so that it never turns into an ordinary file; a short write there fails.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <functional>
#include <string>
#include <string_view>

namespace plorvex::picture {

// Writes through `write`, which gives false with the reason when it fails.
// `keepGoing`, when given, is asked while a pipe nobody reads yet is waited
// for and once all is written; false cancels, with the error kWriteCancelled.
// Errors name the file, except kWriteCancelled, which is given as it is.
bool writeFile(const QString& path, const std::function<bool(QIODevice&, std::string& reason)>& write,
               std::string& error, const std::function<bool()>& keepGoing = {});

// The same for a name given as the system's bytes, which Qt's names may not
// hold (bytes that are not UTF-8): such a name is written as given.
bool writeFileNamed(const QByteArray& name, const std::function<bool(QIODevice&, std::string& reason)>& write,
                    std::string& error, const std::function<bool()>& keepGoing = {});

// Whether writeFile writes this name in place (a device, a pipe, a socket, an
// open descriptor) rather than replacing a regular file atomically.
bool writesInPlace(const QString& path);
bool writesInPlaceNamed(const QByteArray& name);

// Opens a file by the system's bytes (ReadOnly, ReadWrite or WriteOnly |
// Truncate; the two that write make the file when it is absent). False with
// the system's reason.
bool openFileNamed(QFile& file, const QByteArray& name, QIODevice::OpenMode mode, std::string& error);

// A file name given as the system's bytes, fit for a message: as given where
// it is UTF-8, a byte that is not (or a control character) shown as \xFF.
std::string shownName(std::string_view name);

// The device's own reason for a failure, or the fallback when it has none.
std::string deviceError(const QIODevice& out, const std::string& fallback);

}  // namespace plorvex::picture
