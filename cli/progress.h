// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A one-line progress bar on a terminal: percentage, elapsed and remaining
// time, shown once a render has run for about a second and erased at its end.

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>

namespace plorvex::cli {

class ProgressBar {
 public:
  // Draws on `terminal` (nothing at all when it is null).
  explicit ProgressBar(std::FILE* terminal);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  // `what`, when given, follows the line (e.g. "frame 3 of 12").
  void update(std::size_t done, std::size_t total, const std::string& what = {});
  // Removes the bar, if one was drawn.
  void erase();

 private:
  using Clock = std::chrono::steady_clock;
  std::FILE* terminal_;
  Clock::time_point start_ = Clock::now();
  Clock::time_point lastDrawn_{};
  bool drawn_ = false;
};

// The line drawn for `done` of `total` after `elapsed` seconds, e.g.
// " 42% [##########..............]  0:12 elapsed, 0:17 left".
std::string progressLine(std::size_t done, std::size_t total, double elapsed);

}  // namespace plorvex::cli
