// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole render of a pattern: intake, plan, then the sweep, with the
// columns computed ahead by the host's workers when it has them.

#include "column_pool.h"
#include "frame.h"

namespace plorvex {

// The whole render of pattern P on a host.
template <class P>
RenderOutcome renderPattern(RenderHost& host) {
  Intake<typename P::Params> intake;
  if (const Fault fault = takeIntake<P>(host, intake); fault != Fault::None)
    return faultedBeforeSweep(fault);
  SweepPlan plan;
  if (const Fault fault = planSweep(intake.sweep, host.pictureLimits(), plan); fault != Fault::None)
    return faultedBeforeSweep(fault);
  if (ColumnPool* pool = host.columnPool(); pool && plan.columns.size() > 1) {
    PooledColumns source(*pool, std::make_shared<PatternColumnJob<P>>(intake.params, plan));
    return runSweep(host, plan, source);
  }
  SequentialColumns<P> source(intake.params, plan);
  return runSweep(host, plan, source);
}

}  // namespace plorvex
