#pragma once
// The command line of plorvex-render.

#include <optional>
#include <string>
#include <vector>

#include "headless.h"

namespace plorvex::cli {

struct Options {
  std::string pattern;
  FieldTexts fields;
  std::string out;
  bool wholeCanvas = false;
  bool list = false;
};

// Parses the arguments (without the program name); on failure returns nothing
// and puts the reason in error.
std::optional<Options> parseOptions(const std::vector<std::string>& args, std::string& error);

extern const char* const kUsage;

}  // namespace plorvex::cli
