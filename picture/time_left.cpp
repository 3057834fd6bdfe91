// SPDX-License-Identifier: GPL-3.0-or-later
#include "time_left.h"

#include <cmath>
#include <cstdio>

namespace plorvex::picture {

std::string clockText(double seconds) {
  const long whole = std::lround(seconds);
  char text[32];
  if (whole >= 3600)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
  return text;
}

std::string elapsedAndLeftText(std::size_t done, std::size_t total, double elapsed) {
  std::string text = clockText(elapsed) + " elapsed";
  if (done > 0 && done < total) {
    // Assumes the rest goes as fast as what is done.
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    text += ", " + clockText(elapsed / fraction - elapsed) + " left";
  }
  return text;
}

}  // namespace plorvex::picture
