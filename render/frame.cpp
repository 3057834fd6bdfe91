// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame.h"

#include <algorithm>
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

Fault planSweep(const SweepOrigin& origin, const PictureLimits& limits, SweepPlan& plan,
                const Sampling& sampling) {
  plan = SweepPlan{};
  plan.sampling = sampling;
  plan.offsets = sampleOffsets(sampling);
  Fault fault = loopCounters(origin.x0, origin.extent, limits.columns, plan.columns);
  // The inner loop only starts when the outer one makes a pass.
  if (fault == Fault::None && !plan.columns.empty())
    fault = loopCounters(origin.y0, origin.size, limits.rows, plan.rows);
  if (fault != Fault::None) return fault;
  const std::size_t density = static_cast<std::size_t>(sampling.density);
  const std::size_t plainPixels = plan.columns.size() * plan.rows.size();
  if (plainPixels > limits.pixels / (density * density)) return Fault::PictureTooLarge;
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

void plotSpan(RenderHost& host, const SweepPlan& plan, const PixelSpan& span, const Colour* colours) {
  const int x = plan.xs[span.column];
  if (x < 0) return;
  const std::size_t density = static_cast<std::size_t>(plan.sampling.density);
  const std::size_t outputRows = plan.outputRows();
  int top = -1, bottom = -1;
  // Output pixel p of the column is output column m = p / outputRows, and its
  // output row r = p % outputRows is row n = r % D of the D that plain row
  // l = r / D is painted as; divided once, then stepped.
  std::size_t m = span.first / outputRows, r = span.first % outputRows;
  std::size_t l = r / density, n = r % density;
  for (std::size_t k = 0; k < span.count; ++k) {
    const int plainY = plan.ys[l];
    if (plainY >= 0) {
      host.plot(x * static_cast<int>(density) + static_cast<int>(m),
                plainY * static_cast<int>(density) + static_cast<int>(n), colours[k]);
      if (top < 0 || plainY < top) top = plainY;
      bottom = std::max(bottom, plainY);
    }
    if (++n == density) n = 0, ++l;
    if (++r == outputRows) r = 0, l = 0, n = 0, ++m;
  }
  if (top >= 0) host.columnPainted(x, top, bottom);
}

RenderOutcome runSweep(RenderHost& host, const SweepPlan& plan, ColumnSource& source) {
  RenderOutcome outcome;
  std::vector<Colour> colours(plan.pixelsPerColumn());
  for (std::size_t k = 0; k < plan.columns.size(); ++k) {
    const ColumnResult result = source.column(k, colours.data());
    plotSpan(host, plan, PixelSpan{k, 0, result.computed}, colours.data());
    if (result.fault != Fault::None) {
      outcome.end = RenderEnd::Faulted;
      outcome.fault = result.fault;
      outcome.faultInSweep = true;
      const std::size_t outputRows = plan.outputRows();
      outcome.faultColumn = k * static_cast<std::size_t>(plan.sampling.density) +
                            result.computed / outputRows;
      outcome.faultRow = result.computed % outputRows;
      outcome.faultI = result.faultI;
      outcome.faultJ = result.faultJ;
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
