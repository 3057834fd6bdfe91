// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole render of a pattern: intake, plan, then the sweep, with the
// pixels computed ahead by the host's workers when it has them.

#include <memory>

#include "column_pool.h"
#include "frame.h"
#include "pixel_kernels.h"

namespace plorvex {

// Pattern P's intake and plan on a host, and the picture begun; the fault
// of whichever refuses it.
template <class P>
Fault beginPatternPicture(RenderHost& host, Intake<typename P::Params>& intake, SweepPlan& plan) {
  if (const Fault fault = takeIntake<P>(host, intake); fault != Fault::None) return fault;
  if (const Fault fault = planSweep(intake.sweep, host.pictureLimits(), plan, host.sampling());
      fault != Fault::None)
    return fault;
  if (!host.beginPicture(plan.columns.size(), plan.rows.size())) return Fault::PictureTooLarge;
  return Fault::None;
}

// The whole render of pattern P on a host.
template <class P>
RenderOutcome renderPattern(RenderHost& host) {
  Intake<typename P::Params> intake;
  SweepPlan plan;
  if (const Fault fault = beginPatternPicture<P>(host, intake, plan); fault != Fault::None)
    return faultedBeforeSweep(fault);
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
