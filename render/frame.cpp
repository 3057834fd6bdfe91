// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame.h"

#include <cmath>

namespace plorvex {
namespace {

// The counter values of one loop, from start to end in steps of 1, bounds fixed
// at loop start. A counter too large to change when 1 is added would never
// reach its end: that loop is refused instead of spinning for ever.
Fault loopCounters(double origin, double extent, std::size_t limit, std::vector<double>& counters) {
  clearFaultFlags();
  double counter = origin + 1;
  const double end = origin + extent;
  if (const Fault fault = raisedFault(); fault != Fault::None) return fault;
  while (counter <= end) {
    if (counters.size() == limit) return Fault::PictureTooLarge;
    counters.push_back(counter);
    const double next = counter + 1;
    if (next == counter) return Fault::CounterStalled;
    counter = next;
  }
  return Fault::None;
}

// The pixel a counter lands on: (counter - origin) + offset, passed in single
// precision and rounded to the nearest pixel; -1 when it falls outside the
// picture's first..last pixel (possible only when the offsets are so large
// that the counters are inexact).
Fault pixelPositions(const std::vector<double>& counters, double origin, double offset,
                     std::vector<int>& pixels) {
  const double first = offset + 1;
  const double last = offset + static_cast<double>(counters.size());
  clearFaultFlags();
  for (double counter : counters) {
    const float position = static_cast<float>((counter - origin) + offset);
    const double pixel = std::nearbyint(static_cast<double>(position));
    pixels.push_back(pixel >= first && pixel <= last ? static_cast<int>(pixel) : -1);
  }
  return raisedFault();
}

}  // namespace

SweepOrigin shiftedSweep(const FieldReader& read, double shiftX, double shiftY) {
  SweepOrigin sweep;
  sweep.x0 = read(Field::One) + shiftX;
  sweep.y0 = read(Field::Two) + shiftY;
  sweep.size = read(Field::Three);
  sweep.extent = widenedExtent(sweep.size);
  return sweep;
}

SweepOrigin centredSweep(const FieldReader& read) {
  SweepOrigin sweep;
  sweep.size = read(Field::Three);
  sweep.extent = widenedExtent(sweep.size);
  sweep.x0 = read(Field::One) - textRoundTrip(sweep.extent) / 2;
  sweep.y0 = read(Field::Two) - textRoundTrip(sweep.size) / 2;
  return sweep;
}

SweepOrigin halfSizeCentredSweep(const FieldReader& read) {
  SweepOrigin sweep;
  const double sizeForX = read(Field::Three);
  sweep.x0 = read(Field::One) - sizeForX / 2;
  const double sizeForY = read(Field::Three);
  sweep.y0 = read(Field::Two) - sizeForY / 2;
  sweep.size = read(Field::Three);
  sweep.extent = widenedExtent(sweep.size);
  return sweep;
}

Fault planSweep(const SweepOrigin& origin, const PictureLimits& limits, SweepPlan& plan) {
  plan = SweepPlan{};
  Fault fault = loopCounters(origin.x0, origin.extent, limits.columns, plan.columns);
  // The inner loop only starts when the outer one makes a pass.
  if (fault == Fault::None && !plan.columns.empty())
    fault = loopCounters(origin.y0, origin.size, limits.rows, plan.rows);
  if (fault != Fault::None) return fault;
  if (plan.columns.size() * plan.rows.size() > limits.pixels) return Fault::PictureTooLarge;
  fault = pixelPositions(plan.columns, origin.x0, kPictureLeft, plan.xs);
  if (fault == Fault::None) fault = pixelPositions(plan.rows, origin.y0, kPictureTop, plan.ys);
  return fault;
}

RenderOutcome faultedBeforeSweep(Fault fault) {
  RenderOutcome outcome;
  outcome.end = RenderEnd::Faulted;
  outcome.fault = fault;
  return outcome;
}

namespace {

void plotColumn(RenderHost& host, int x, const std::vector<int>& ys, const Colour* colours,
                std::size_t count) {
  if (x < 0) return;
  int top = -1, bottom = -1;
  for (std::size_t r = 0; r < count; ++r) {
    if (ys[r] < 0) continue;
    host.plot(x, ys[r], colours[r]);
    if (top < 0 || ys[r] < top) top = ys[r];
    if (ys[r] > bottom) bottom = ys[r];
  }
  if (top >= 0) host.columnPainted(x, top, bottom);
}

}  // namespace

RenderOutcome runSweep(RenderHost& host, const SweepPlan& plan, ColumnSource& source) {
  RenderOutcome outcome;
  host.beginPicture(plan.columns.size(), plan.rows.size());
  std::vector<Colour> colours(plan.rows.size());
  for (std::size_t k = 0; k < plan.columns.size(); ++k) {
    const ColumnResult result = source.column(k, colours.data());
    plotColumn(host, plan.xs[k], plan.ys, colours.data(), result.computed);
    if (result.fault != Fault::None) {
      outcome.end = RenderEnd::Faulted;
      outcome.fault = result.fault;
      outcome.faultInSweep = true;
      outcome.faultColumn = k;
      outcome.faultRow = result.computed;
      outcome.faultI = plan.columns[k];
      outcome.faultJ = plan.rows[result.computed];
      return outcome;
    }
    outcome.columnsPainted = k + 1;
    host.yield();
    if (host.abandoned()) {
      outcome.end = RenderEnd::Abandoned;
      return outcome;
    }
    if (host.haltFlag() == "p") {
      outcome.end = RenderEnd::Halted;
      return outcome;
    }
  }
  return outcome;
}

}  // namespace plorvex
