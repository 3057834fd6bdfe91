// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A view that moves the picture on the canvas by whole pixels (a drag, a
// centring double-click, a step back to such a view). The caller moves the
// pixels still in view; only the pixels whose counters the moved picture does
// not hold are computed, on the host's column workers when it has them. A
// pattern without a carried value makes each pixel from its counters alone,
// so the picture is the full render's, bit for bit.

#include <memory>
#include <vector>

#include "column_pool.h"
#include "frame.h"
#include "pixel_kernels.h"
#include "renderer.h"

namespace plorvex {

// The spans of output pixels of `fresh` that `previous`, moved by (dx, dy)
// canvas pixels, does not hold: whole columns where its column counters
// differ, the rows whose counters differ in the others.
std::vector<PixelSpan> uncoveredSpans(const SweepPlan& previous, const SweepPlan& fresh, int dx, int dy);

// Computes listed spans of a plan, in any order, on the pool.
template <class P>
class SpanListJob final : public ColumnJob {
 public:
  SpanListJob(const typename P::Params& params, const SweepPlan& plan, std::vector<PixelSpan> spans,
              std::size_t longest)
      : ColumnJob(spans.size(), longest, false), params_(params), plan_(plan), spans_(std::move(spans)) {}

 protected:
  void reserveSlots(std::size_t) override {}
  ColumnResult firstStage(std::size_t unit, std::size_t, Colour* out) override {
    double unused = 0;  // nothing is carried
    return computeSpan<P>(params_, plan_, spans_[unit], unused, out);
  }
  ColumnResult orderedStage(std::size_t, std::size_t, bool, Colour*) override { return {}; }

 private:
  const typename P::Params params_;
  const SweepPlan plan_;
  const std::vector<PixelSpan> spans_;
};

// Paints pattern P at the host's texts on a canvas that shows the picture of
// plan `previous` moved by (dx, dy): the uncovered pixels only, at once,
// without yielding (a step of the hand is short).
template <class P>
RenderOutcome renderMoved(RenderHost& host, const SweepPlan& previous, int dx, int dy) {
  static_assert(!carriesValue<P>(), "a carried value runs through every pixel before");
  Intake<typename P::Params> intake;
  SweepPlan plan;
  if (const Fault fault = beginPatternPicture<P>(host, intake, plan); fault != Fault::None)
    return faultedBeforeSweep(fault);
  const std::vector<PixelSpan> spans = uncoveredSpans(previous, plan, dx, dy);
  std::size_t longest = 1;
  for (const PixelSpan& span : spans) longest = std::max(longest, span.count);
  std::vector<Colour> colours(longest);
  RenderOutcome outcome;
  const auto paint = [&](const PixelSpan& span, const ColumnResult& result) {
    plotSpan(host, plan, PixelSpan{span.column, span.first, result.computed}, colours.data());
    if (result.fault == Fault::None) return true;
    outcome = faultedBeforeSweep(result.fault);
    return false;
  };
  ColumnPool* pool = host.columnPool();
  if (!pool || spans.size() < 2) {
    for (const PixelSpan& span : spans) {
      double unused = 0;
      if (!paint(span, computeSpan<P>(intake.params, plan, span, unused, colours.data()))) break;
    }
    return outcome;
  }
  auto job = std::make_shared<SpanListJob<P>>(intake.params, plan, spans, longest);
  pool->submit(job);
  for (std::size_t unit = 0; unit < spans.size(); ++unit)
    if (!paint(spans[unit], pool->take(*job, unit, colours.data()))) break;
  pool->withdraw(job);
  return outcome;
}

}  // namespace plorvex
