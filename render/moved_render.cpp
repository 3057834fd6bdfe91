// SPDX-License-Identifier: GPL-3.0-or-later
#include "moved_render.h"

namespace plorvex {
namespace {

// Per counter of `fresh`: whether `previous`, moved by `shift` pixels, holds
// the same counter at the same pixel.
std::vector<bool> heldCounters(const std::vector<double>& previous, const std::vector<int>& previousPixels,
                               const std::vector<double>& fresh, const std::vector<int>& freshPixels,
                               int shift) {
  std::vector<bool> held(fresh.size(), false);
  for (std::size_t k = 0; k < fresh.size(); ++k) {
    const long from = static_cast<long>(k) - shift;
    if (from < 0 || from >= static_cast<long>(previous.size())) continue;
    const auto f = static_cast<std::size_t>(from);
    held[k] = freshPixels[k] >= 0 && previousPixels[f] >= 0 && previous[f] == fresh[k] &&
              previousPixels[f] + shift == freshPixels[k];
  }
  return held;
}

}  // namespace

std::vector<PixelSpan> uncoveredSpans(const SweepPlan& previous, const SweepPlan& fresh, int dx, int dy) {
  std::vector<PixelSpan> spans;
  const std::size_t perColumn = fresh.pixelsPerColumn();
  const bool sameSampling = previous.sampling.density == fresh.sampling.density &&
                            previous.sampling.smooth == fresh.sampling.smooth;
  if (!sameSampling) {
    for (std::size_t k = 0; k < fresh.columns.size(); ++k) spans.push_back({k, 0, perColumn});
    return spans;
  }
  const std::vector<bool> columnHeld = heldCounters(previous.columns, previous.xs, fresh.columns, fresh.xs, dx);
  const std::vector<bool> rowHeld = heldCounters(previous.rows, previous.ys, fresh.rows, fresh.ys, dy);
  const std::size_t density = static_cast<std::size_t>(fresh.sampling.density);
  const std::size_t outputRows = fresh.outputRows();
  for (std::size_t k = 0; k < fresh.columns.size(); ++k) {
    if (!columnHeld[k]) {
      spans.push_back({k, 0, perColumn});
      continue;
    }
    // Each run of rows not held, in each of the column's D output columns.
    for (std::size_t m = 0; m < density; ++m)
      for (std::size_t l = 0; l < fresh.rows.size();) {
        if (rowHeld[l]) {
          ++l;
          continue;
        }
        std::size_t end = l;
        while (end < fresh.rows.size() && !rowHeld[end]) ++end;
        spans.push_back({k, m * outputRows + l * density, (end - l) * density});
        l = end;
      }
  }
  return spans;
}

}  // namespace plorvex
