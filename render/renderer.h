// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole render of a pattern: intake, plan, then the sweep, with the
// pixels computed ahead by the host's workers when it has them.

#include <memory>

#include "column_pool.h"
#include "frame.h"
#include "pixel_kernels.h"

namespace plorvex {

// The whole render of pattern P on a host.
template <class P>
RenderOutcome renderPattern(RenderHost& host) {
  Intake<typename P::Params> intake;
  if (const Fault fault = takeIntake<P>(host, intake); fault != Fault::None)
    return faultedBeforeSweep(fault);
  SweepPlan plan;
  if (const Fault fault = planSweep(intake.sweep, host.pictureLimits(), plan, host.sampling());
      fault != Fault::None)
    return faultedBeforeSweep(fault);
  if (!host.beginPicture(plan.columns.size(), plan.rows.size()))
    return faultedBeforeSweep(Fault::PictureTooLarge);
  const UnitLayout layout = UnitLayout::of(plan);
  if (ColumnPool* pool = host.columnPool();
      pool && plan.columns.size() * layout.unitsPerColumn > 1) {
    PooledColumns source(*pool, std::make_shared<PatternColumnJob<P>>(intake.params, plan, layout),
                         layout);
    return runSweep(host, plan, source);
  }
  SequentialColumns<P> source(intake.params, plan);
  return runSweep(host, plan, source);
}

}  // namespace plorvex
