// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line of plorvex-render.

#include <cstddef>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "headless.h"

namespace plorvex::cli {

// The output name that means standard output.
inline constexpr const char* kStandardOutput = "-";

struct Options {
  std::string pattern;  // empty when --from names the picture that gives it
  FieldTexts fields;
  // Which of the five texts were given as options (the rest are the defaults,
  // or --from's texts).
  bool fieldGiven[5] = {};
  Sampling sampling;
  bool densityGiven = false;
  bool smoothGiven = false;
  std::string from;  // a saved picture whose parameters are the defaults
  bool quiet = false;  // no progress bar
  std::string out;
  std::string pyramid;  // a folder for the deep-zoom pyramid, instead of -o
  std::string format;  // a name picture::formatFromName knows; empty: from the file name
  // Threads computing columns: 1 computes every column on the main thread;
  // more start that many workers. Default: one per core.
  unsigned threads = 0;
  bool wholeCanvas = false;
  // --bands A-B: only those bands of 256 output rows, into a part file.
  std::optional<std::pair<std::size_t, std::size_t>> bands;
  bool listBands = false;        // print the view's band count
  std::vector<std::string> join;  // --join PART...: the parts to join into --out
  bool list = false;
  bool help = false;
  bool version = false;
};

// Parses the arguments (without the program name); on failure returns nothing
// and puts the reason in error.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

// A whole number min..max written in decimal digits only.
bool wholeNumber(const std::string& text, unsigned min, unsigned max, unsigned& value);

// The short synopsis shown with every usage error.
extern const char* const kUsage;
// The synopsis followed by every option, for --help.
std::string helpText();

}  // namespace plorvex::cli
