// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Picture files: an image in PNG, PPM or BMP; a PNG also carries the
// parameters that made it (see parameters.h), so it can be opened again as the
// same view.

#include <functional>
#include <string>

#include "parameters.h"

class QImage;
class QIODevice;
class QString;

namespace plorvex::picture {

// Writes the image; PNG carries the parameters in a tEXt chunk 'plorvex'
// right after IHDR, and a tEXt chunk 'Software'. Atomic: a temporary file in
// the same folder, then a rename; a failure (no permission, disk full, a
// vanished folder, parameters the reader would refuse) returns false with the
// reason in error, leaves no file behind and an existing file of that name
// unchanged.
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
