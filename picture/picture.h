// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Picture files: an image in PNG, JPEG, BMP, PPM or WebP; a PNG or a JPEG
// also carries the parameters that made it (see parameters.h), so it can be
// opened again as the same view.

#include <functional>
#include <string>

#include "parameters.h"

class QImage;
class QIODevice;
class QString;

namespace plorvex::picture {

// "PNG", "JPEG", ... for messages.
const char* formatLabel(ImageFormat format);
// Whether this system's Qt has a writer for the format (WebP is a plugin of
// its own).
bool canWrite(ImageFormat format);

// Writes the image; PNG carries the parameters in a tEXt chunk 'plorvex'
// right after IHDR, and a tEXt chunk 'Software'; JPEG in a comment segment
// (see jpeg_comment.h). A regular file, or a name
// not taken yet, is written atomically: a temporary file in the same folder,
// then a rename (a link to a regular file has its target replaced and stays a
// link); a failure (no permission, disk full, a vanished folder, parameters
// the reader would refuse) returns false with the reason in error, leaves no
// file behind and an existing file of that name unchanged. Anything else (a
// device, a pipe, a socket, /dev/stdout, /dev/fd/N) is opened and written in
// place, and a failed or short write is a failure as well.
// keepGoing, when given, is asked while the image is written and before the
// rename: false abandons the write as a failure ("cancelled").
bool writePicture(const QImage& image, const QString& path, ImageFormat format,
                  const PictureParameters& parameters, std::string& error,
                  const std::function<bool()>& keepGoing = {});

// The same to an open device (e.g. standard output); not atomic.
bool writePicture(const QImage& image, QIODevice& out, ImageFormat format,
                  const PictureParameters& parameters, std::string& error,
                  const std::function<bool()>& keepGoing = {});

// What writePicture says when keepGoing stopped it.
inline constexpr const char* kWriteCancelled = "cancelled";

}  // namespace plorvex::picture
