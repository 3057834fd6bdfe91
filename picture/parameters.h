// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The parameters a picture file keeps (which pattern, the five field texts,
// density and smoothing) and reading them back from a PNG or a JPEG. Needs Qt Core only,
// so that the fuzz build can compile the reader without Qt Gui; writing a
// picture is in picture.h.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "headless.h"

class QString;

namespace plorvex::picture {

struct PictureParameters {
  std::string version;      // the program version that made the file
  std::string pattern;      // a pattern button caption, "atlas" .. "tracer"
  FieldTexts fields;        // the five field texts exactly as the render read them
  int density = 1;          // 1..16
  int smooth = 1;           // 1..8
  bool complete = false;    // one whole render that nothing painted over
};

bool operator==(const PictureParameters& a, const PictureParameters& b);

// A poster's density may go as far as its million pixels a side allow.
inline constexpr int kMaxSavedDensity = 1000000;

inline constexpr std::size_t kMaxFieldTextLength = 256;  // in characters (Unicode code points)

// Why a text cannot be kept in a picture file ("" if it can): "not valid
// UTF-8" or "longer than 256 characters", a phrase that reads after "is". The
// command line uses it to refuse such texts before rendering.
std::string fieldTextProblem(std::string_view text);

// Why these parameters cannot be written to a picture file ("" if they can):
// the reader would refuse them. writePicture checks this first.
std::string parametersProblem(const PictureParameters& parameters);

// UTF-8, one JSON object on one line (a text invalid as UTF-8 has its bad
// bytes replaced by U+FFFD; parametersProblem refuses such parameters).
std::string parametersToJson(const PictureParameters& parameters);

struct ReadResult {
  std::optional<PictureParameters> parameters;
  std::string error;  // why there are none: plain English, names what is wrong
};

ReadResult parametersFromJson(std::string_view utf8);
// A whole PNG file in memory. The first 'plorvex' text chunk counts; the
// pixels are never decoded.
ReadResult parametersFromPng(std::span<const unsigned char> bytes);
// A PNG, or a JPEG (its first 'plorvex' comment before the image data counts).
ReadResult parametersFromPicture(std::span<const unsigned char> bytes);
// The same from a file, read up to the first 'plorvex' chunk or comment and
// no further (a PNG's image data is never inflated); the error begins with
// the file name.
ReadResult readParameters(const QString& path);
// The same for a name given as the system's bytes, whatever their encoding;
// the error shows the name readably (file_write.h's shownName).
ReadResult readParametersNamed(const std::string& name);

// PNG and JPEG keep the parameters; the others hold the pixels only.
enum class ImageFormat { Png, Jpeg, Bmp, Ppm, Webp };
// "png", "jpg" or "jpeg", "bmp", "ppm", "webp".
std::optional<ImageFormat> formatFromName(std::string_view name);
// By the name's suffix, case-insensitive.
std::optional<ImageFormat> formatFromPath(const QString& path);
bool keepsParameters(ImageFormat format);

}  // namespace plorvex::picture
