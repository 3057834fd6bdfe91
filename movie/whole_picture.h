// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Whether a picture file's bytes hold the whole picture: the parameters' chunk
// may be whole while the image data after it is cut short or damaged, and a
// movie neither starts from nor keeps such a file.

#include <QByteArray>
#include <QSize>

#include <string>

namespace plorvex::movie {

// Why the PNG or JPEG in `bytes` is not whole ("" when it is): it must decode
// without error and end where its format ends (IEND for a PNG, the end-of-image
// marker for a JPEG), in at most `megabytes` of memory (0: no limit). `size`
// receives the decoded picture's size.
std::string wholePictureProblem(const QByteArray& bytes, int megabytes, QSize& size);

}  // namespace plorvex::movie
