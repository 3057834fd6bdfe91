// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The render frame every pattern shares: intake, the column-by-column sweep,
// clamping and conversion, plotting, the yield and halt test after each column,
// and the detection of arithmetic faults.

#include <cstddef>
#include <string>
#include <vector>

#include "colour.h"
#include "fault.h"
#include "fp.h"
#include "sampling.h"
#include "val.h"

namespace plorvex {

class ColumnPool;

// The five view parameter fields: TextOne (x offset), TextTwo (y offset),
// TextThree (size), TextFour (zoom), Textfive (brightness).
enum class Field { One, Two, Three, Four, Five };

// Where the picture sits on the canvas: pixel (i - X0) + 160, (j - Y0) + 50.
inline constexpr double kPictureLeft = 160;
inline constexpr double kPictureTop = 50;
// The angular scale, a little more than 2 pi.
inline constexpr double K = 44.0 / 7.0;

struct PictureLimits {
  std::size_t columns = 0;
  std::size_t rows = 0;
  std::size_t pixels = 0;  // output pixels: columns * rows * density * density
};

// What a render paints on and talks to: the window, or a headless canvas.
// Positions are canvas pixels; plot's are at the sampling's density (pixel
// (x, y) of the plain canvas covers (x * D .. x * D + D - 1, likewise y)).
class RenderHost {
 public:
  virtual ~RenderHost() = default;
  virtual std::string fieldText(Field field) = 0;
  // The largest sweep this host can paint; a larger one is refused.
  virtual PictureLimits pictureLimits() const = 0;
  // The density and smoothing this host paints at.
  virtual Sampling sampling() const { return {}; }
  // Called once the sweep's size is known (its plain columns and rows), before
  // any pixel is computed; false refuses a picture the host cannot hold.
  virtual bool beginPicture(std::size_t columns, std::size_t rows) = 0;
  virtual void plot(int x, int y, Colour colour) = 0;
  // The plain canvas column at x was painted from yTop to yBottom (inclusive).
  virtual void columnPainted(int x, int yTop, int yBottom) = 0;
  // Lets pending input run; may start nested renders on this host.
  virtual void yield() = 0;
  virtual std::string haltFlag() const = 0;
  // True once the program is ending: the render returns without painting more.
  virtual bool abandoned() const = 0;
  // Worker threads that may compute columns ahead of the frame; none: the
  // frame computes each column itself.
  virtual ColumnPool* columnPool() { return nullptr; }
};

// Reads a field as a number, the way every intake does.
class FieldReader {
 public:
  explicit FieldReader(RenderHost& host) : host_(host) {}
  double operator()(Field field) const { return val(host_.fieldText(field)); }

 private:
  RenderHost& host_;
};

// The sweep's origin and extents: i runs from x0 + 1 to x0 + extent, j from
// y0 + 1 to y0 + size.
struct SweepOrigin {
  double x0 = 0;
  double y0 = 0;
  double size = 0;
  double extent = 0;
};

// A size of exactly 768 paints 1024 columns; any other size a square.
inline double widenedExtent(double size) { return size == 768 ? 1024 : size; }

// The sweep most patterns use: origins at the offsets plus fixed shifts.
SweepOrigin shiftedSweep(const FieldReader& read, double shiftX = 0, double shiftY = 0);

// Origins centred on the offsets: less half the extent and half the size, each
// first written as text and read back, as a typed number would be.
SweepOrigin centredSweep(const FieldReader& read);

// Origins centred on the offsets: less half the size (not the extent), the
// size field read afresh for each use.
SweepOrigin halfSizeCentredSweep(const FieldReader& read);

template <class Params>
struct Intake {
  SweepOrigin sweep;
  Params params;
};

// The counter values of both loops and the pixel each lands on (-1: off the
// picture), fixed when the render starts, and where the samples lie around
// them. Output pixels are counted per picture column k: the D output columns
// k * D + m, each top to bottom, so pixel p of the column is output column
// p / (D * rows) and output row p % (D * rows).
struct SweepPlan {
  std::vector<double> columns;
  std::vector<int> xs;
  std::vector<double> rows;
  std::vector<int> ys;
  Sampling sampling;
  std::vector<double> offsets;  // from a counter to its samples, see sampleOffsets

  std::size_t outputRows() const { return rows.size() * static_cast<std::size_t>(sampling.density); }
  std::size_t pixelsPerColumn() const {
    return outputRows() * static_cast<std::size_t>(sampling.density);
  }
};

Fault planSweep(const SweepOrigin& origin, const PictureLimits& limits, SweepPlan& plan,
                const Sampling& sampling = {});

enum class RenderEnd {
  Completed,  // every column painted
  Halted,     // the halt flag read "p" after a column
  Faulted,    // an arithmetic fault stopped it (before or during the sweep)
  Abandoned,  // the program is ending
};

struct RenderOutcome {
  RenderEnd end = RenderEnd::Completed;
  Fault fault = Fault::None;
  std::size_t columnsPainted = 0;  // whole picture columns, before any fault
  // Where a fault struck during the sweep: the output pixel (column and row of
  // the picture at its density) and the counters of the sample that raised it.
  bool faultInSweep = false;
  std::size_t faultColumn = 0;
  std::size_t faultRow = 0;
  double faultI = 0;
  double faultJ = 0;
};

// The result of computing output pixels: how many leading ones are good, and
// the fault at the next one, if any, with the counters of its faulting sample.
struct ColumnResult {
  std::size_t computed = 0;
  Fault fault = Fault::None;
  double faultI = 0;
  double faultJ = 0;
};

// Supplies the output pixels of picture column k (in order for patterns with a
// carried value), plan.pixelsPerColumn() of them.
class ColumnSource {
 public:
  virtual ~ColumnSource() = default;
  virtual ColumnResult column(std::size_t k, Colour* out) = 0;
};

// Output pixels first .. first + count - 1 of picture column `column`.
struct PixelSpan {
  std::size_t column = 0;
  std::size_t first = 0;
  std::size_t count = 0;
};

// Plots a span's output pixels (at the plan's density) and reports the plain
// canvas column repainted.
void plotSpan(RenderHost& host, const SweepPlan& plan, const PixelSpan& span, const Colour* colours);

// Sweeps a planned picture: plots each column, repaints it, yields, tests halt.
RenderOutcome runSweep(RenderHost& host, const SweepPlan& plan, ColumnSource& source);

RenderOutcome faultedBeforeSweep(Fault fault);

// Reads the pattern's intake; faults in Val or in the intake's arithmetic.
template <class P>
Fault takeIntake(RenderHost& host, Intake<typename P::Params>& intake) {
  try {
    clearFaultFlags();
    intake = P::intake(FieldReader(host));
    keepEvaluated(intake);
    return raisedFault();
  } catch (const ArithmeticFault& fault) {
    return fault.fault();
  }
}

}  // namespace plorvex
