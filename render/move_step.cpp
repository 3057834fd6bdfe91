// SPDX-License-Identifier: GPL-3.0-or-later
#include "move_step.h"

#include <cmath>

namespace plorvex {

std::optional<PixelStep> wholePixelStep(double fromX0, double fromY0, double toX0, double toY0, double limit) {
  const double dx = fromX0 - toX0, dy = fromY0 - toY0;
  // NaN and infinities fail the first comparisons as well.
  if (!(std::fabs(dx) < limit) || !(std::fabs(dy) < limit)) return std::nullopt;
  if (dx != std::trunc(dx) || dy != std::trunc(dy)) return std::nullopt;
  return PixelStep{static_cast<int>(dx), static_cast<int>(dy)};
}

}  // namespace plorvex
