// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Path files: the keyframe views of a zoom movie as JSON,
//   {"version": "...", "views": [{"pattern", "x", "y", "size", "zoom", "brightness"}, ...]}
// read as untrusted input, like a picture's parameters. Needs Qt Core only.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "headless.h"

class QString;

namespace plorvex::picture {

struct PathView {
  std::string pattern;  // a pattern button caption
  FieldTexts fields;
};

struct PathFile {
  std::string version;
  std::vector<PathView> views;
};

bool operator==(const PathFile& a, const PathFile& b);

inline constexpr std::size_t kMaxPathFileBytes = 1024 * 1024;
inline constexpr std::size_t kMaxPathViews = 10000;

struct PathReadResult {
  std::optional<PathFile> path;
  std::string error;  // why there is none: plain English, names what is wrong
};

PathReadResult pathFromJson(std::string_view utf8);
// The same from a file; the error begins with the file name.
PathReadResult readPathFile(const QString& fileName);
// One JSON object on one line, plain ASCII; pathFromJson reads it back equal.
std::string pathToJson(const PathFile& path);
// Writes pathToJson's text and a line end to the file, atomically as pictures
// are written; false with the reason in error.
bool writePathFile(const PathFile& path, const QString& fileName, std::string& error);

}  // namespace plorvex::picture
