// SPDX-License-Identifier: GPL-3.0-or-later
#include "progress.h"

#include <cstdio>

#include "time_left.h"

namespace plorvex::cli {
namespace {

constexpr auto kDelay = std::chrono::seconds(1);
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

}  // namespace

std::string progressLine(std::size_t done, std::size_t total, double elapsed) {
  const double fraction = total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
  const int filled = static_cast<int>(fraction * kBarWidth);
  char percent[8];
  std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(fraction * 100));
  return std::string(percent) + " [" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(kBarWidth - filled), '.') + "]  " +
         picture::elapsedAndLeftText(done, total, elapsed);
}

ProgressBar::ProgressBar(std::FILE* terminal) : terminal_(terminal) {}

ProgressBar::~ProgressBar() { erase(); }

void ProgressBar::update(std::size_t done, std::size_t total, const std::string& what) {
  if (!terminal_) return;
  const Clock::time_point now = Clock::now();
  if (now - start_ < kDelay || (drawn_ && now - lastDrawn_ < kRedrawEvery)) return;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  // \r and "erase to the end of the line" redraw the one line in place.
  const std::string line = progressLine(done, total, elapsed) + (what.empty() ? "" : "  " + what);
  std::fprintf(terminal_, "\r%s\033[K", line.c_str());
  std::fflush(terminal_);
  lastDrawn_ = now;
  drawn_ = true;
}

void ProgressBar::erase() {
  if (!drawn_) return;
  std::fputs("\r\033[K", terminal_);
  std::fflush(terminal_);
  drawn_ = false;
}

}  // namespace plorvex::cli
