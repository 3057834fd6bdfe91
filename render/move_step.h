// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How far a picture swept from one origin lies from the same picture swept
// from another: the counters are equal X0 - X0' pixels further on. A move is
// only exact in whole pixels, and only within the largest picture.

#include <optional>

namespace plorvex {

struct PixelStep {
  int dx = 0;
  int dy = 0;
  bool operator==(const PixelStep&) const = default;
};

// The step that carries the picture swept from (fromX0, fromY0) onto the one
// swept from (toX0, toY0); none unless it is whole pixels shorter than
// `limit` either way.
std::optional<PixelStep> wholePixelStep(double fromX0, double fromY0, double toX0, double toY0, double limit);

}  // namespace plorvex
