// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_render.h"

namespace plorvex {

BandLayout BandLayout::of(const SweepPlan& plan, std::size_t bandRows) {
  const std::size_t density = static_cast<std::size_t>(plan.sampling.density);
  return {plan.columns.size() * density, plan.rows.size() * density, bandRows};
}

bool plainlyPlaced(const SweepPlan& plan) {
  for (std::size_t k = 0; k < plan.xs.size(); ++k)
    if (plan.xs[k] != static_cast<int>(kPictureLeft) + 1 + static_cast<int>(k)) return false;
  for (std::size_t l = 0; l < plan.ys.size(); ++l)
    if (plan.ys[l] != static_cast<int>(kPictureTop) + 1 + static_cast<int>(l)) return false;
  return true;
}

}  // namespace plorvex
