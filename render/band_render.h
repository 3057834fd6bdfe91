// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture rendered in bands of output rows instead of column by column, so
// that a picture far larger than memory can be written as it goes. A band's
// pixels are the very ones the column sweep makes: each output column's
// segment in the band is a span of that column's pixels, computed by the same
// kernels. A pattern that carries a value needs that value at the top of every
// segment; a first pass (the chain) runs the carried value through every
// sample in sweep order once and keeps it at each band edge of each output
// column.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "column_pool.h"
#include "frame.h"
#include "pixel_kernels.h"
#include "scratch_file.h"

namespace plorvex {

// Output rows per band: bands are every 256 rows from the top of the picture.
inline constexpr std::size_t kBandRows = 256;

// The output size of a planned picture and its bands.
struct BandLayout {
  std::size_t width = 0;   // output columns
  std::size_t height = 0;  // output rows
  std::size_t bandRows = kBandRows;

  static BandLayout of(const SweepPlan& plan, std::size_t bandRows = kBandRows);
  std::size_t bands() const { return (height + bandRows - 1) / bandRows; }
  std::size_t firstRow(std::size_t band) const { return band * bandRows; }
  std::size_t rowsOf(std::size_t band) const {
    return std::min(bandRows, height - firstRow(band));
  }
};

// Whether the plan puts output pixel (k * D + m, l * D + n) at exactly that
// place: counters so large that they land off their pixel (or on another's)
// make a picture only the column sweep paints as the window does.
bool plainlyPlaced(const SweepPlan& plan);

// What a band's render is told and tells while it runs on a worker: whether to
// stop (looked at between columns), and the output pixels rendered, summed
// over bands.
struct BandControl {
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> pixels{0};
};

// One view's pixels, band by band, a few rows at a time. Bands may be
// rendered on several threads at once, each band's rows on one thread.
class BandSource {
 public:
  virtual ~BandSource() = default;
  const SweepPlan& plan() const { return plan_; }
  const BandLayout& layout() const { return layout_; }
  // Whether the chain pass has work to do (patterns that carry a value).
  virtual bool needsChain() const { return false; }
  // Runs the carried value through the whole picture once, keeping it at each
  // band edge in a scratch file made in `folder` (see BandEdges), on `threads`
  // threads; the fault that stopped it, if any. `onColumn` is told the output
  // columns done, from the calling thread; `keepGoing` false stops it (with
  // Fault::None and chainReady() false, as a file that failed: chainProblem()).
  virtual Fault runChain(unsigned threads, const std::string& folder, const std::function<void(std::size_t)>& onColumn,
                         const std::function<bool()>& keepGoing) {
    (void)threads, (void)folder, (void)onColumn, (void)keepGoing;
    return Fault::None;
  }
  virtual bool chainReady() const { return true; }
  virtual std::string chainProblem() const { return {}; }
  // The chain's band edges kept under a name for a resumed run (see
  // BandEdges::keepAs), and taken from there instead of a chain pass.
  virtual bool keepChain(const std::string& name, const std::string& identity) {
    (void)name, (void)identity;
    return false;
  }
  virtual bool adoptChain(const std::string& name, const std::string& identity) {
    (void)name, (void)identity;
    return false;
  }
  // Each output column's carried value at the top of the band (layout().width
  // values); false when the chain's file cannot be read.
  virtual bool topEdge(std::size_t band, double* carried) const {
    (void)band, (void)carried;
    return true;
  }
  // Rows `first` to first + rows - 1 of the band, row after row, 3 bytes (red,
  // green, blue) a pixel. The rows of a band are asked for in order, from its
  // top, with `carried` (width values, from topEdge) carried on from one call
  // to the next. A fault is returned as such; the bytes are then not the
  // picture's, nor are they once the control's stop is set.
  virtual Fault renderRows(std::size_t band, std::size_t first, std::size_t rows, double* carried, unsigned char* rgb,
                           BandControl& control) const = 0;

 protected:
  SweepPlan plan_;
  BandLayout layout_;
};

// The carried value at the top of each band of each output column, in a
// scratch file band after band, so that a band reads its own width values
// alone and memory holds neither the bands x width values (31 GB at 1,000,000
// x 1,000,000) nor a column's worth per band for long. The chain pass gives
// them in sweep order, column after column, each column's bands from the top;
// they are gathered a block of columns at a time (at most kBlockBytes) and
// written one run of the block's columns per band.
class BandEdges {
 public:
  static constexpr std::size_t kBlockBytes = std::size_t{16} << 20;

  // False with the reason when the file cannot be made.
  bool begin(std::size_t bands, std::size_t width, const std::string& folder, std::string& error);
  // The next value in sweep order: band `band` of column `column`.
  void put(std::size_t column, std::size_t band, double value) {
    if (column >= blockStart_ + blockColumns_) writeBlock();
    block_[band * blockColumns_ + (column - blockStart_)] = value;
    filled_ = column - blockStart_ + 1;
  }
  // Writes what is gathered and lets its memory go; false when the file
  // refused it.
  bool finish() {
    writeBlock();
    std::vector<double>().swap(block_);
    return !failed_;
  }
  // The band's top edge, `width` values; false when the file cannot be read.
  bool read(std::size_t band, double* values) const;

  // Names the finished edges' file, with `identity` (the picture's) after
  // the values, so that a run resumed after a kill need not make them again;
  // false when it cannot be named.
  bool keepAs(const std::string& name, const std::string& identity);
  // Takes the edges from a file kept so, if it is whole and of the same
  // picture (bands x width values and the same identity).
  bool adopt(const std::string& name, std::size_t bands, std::size_t width, const std::string& identity);

 private:
  void writeBlock();
  std::size_t bands_ = 0, width_ = 0, blockColumns_ = 1, blockStart_ = 0, filled_ = 0;
  std::vector<double> block_;  // band after band, blockColumns_ values each
  ScratchFile file_;
  bool failed_ = false;
};

// The chain pass as work for a column pool: unit c * bands + b is output
// column c's segment in band b; prepared in parallel, completed in order.
template <class P>
class ChainJob final : public ColumnJob {
 public:
  ChainJob(const typename P::Params& params, const SweepPlan& plan, const BandLayout& layout, BandEdges& edges)
      : ColumnJob(layout.width * layout.bands(), layout.bandRows, true),
        params_(params), plan_(plan), layout_(layout), edges_(edges) {}

  PixelSpan span(std::size_t unit) const {
    const std::size_t bands = layout_.bands();
    const std::size_t column = unit / bands, band = unit % bands;
    const std::size_t density = static_cast<std::size_t>(plan_.sampling.density);
    return {column / density, (column % density) * layout_.height + layout_.firstRow(band), layout_.rowsOf(band)};
  }

 protected:
  void reserveSlots(std::size_t count) override {
    prepared_.resize(count);
    for (auto& samples : prepared_) samples.resize(layout_.bandRows * plan_.sampling.samplesPerPixel());
  }
  ColumnResult firstStage(std::size_t unit, std::size_t slot, Colour*) override {
    const bool clean = prepareSpan<P>(params_, plan_, span(unit), prepared_[slot].data());
    return {0, clean ? Fault::None : Fault::InvalidOperation};
  }
  ColumnResult orderedStage(std::size_t unit, std::size_t slot, bool preparedCleanly, Colour* out) override {
    const std::size_t bands = layout_.bands();
    // Only this ordered stage touches the edges, one unit at a time.
    edges_.put(unit / bands, unit % bands, carried_);
    return completeSpan<P>(params_, plan_, span(unit), prepared_[slot].data(), preparedCleanly, carried_, out);
  }

 private:
  const typename P::Params params_;
  const SweepPlan plan_;
  const BandLayout layout_;
  BandEdges& edges_;
  std::vector<std::vector<Prepared<P>>> prepared_;
  double carried_ = 0;
};

template <class P>
class PatternBands final : public BandSource {
 public:
  PatternBands(const typename P::Params& params, const SweepPlan& plan, std::size_t bandRows) : params_(params) {
    plan_ = plan;
    layout_ = BandLayout::of(plan_, bandRows);
    chainReady_ = !carriesValue<P>();
  }

  bool needsChain() const override { return carriesValue<P>(); }
  bool chainReady() const override { return chainReady_; }

  Fault runChain(unsigned threads, const std::string& folder, const std::function<void(std::size_t)>& onColumn,
                 const std::function<bool()>& keepGoing) override {
    if constexpr (carriesValue<P>()) {
      chainReady_ = false;
      chainProblem_.clear();
      if (!edges_.begin(layout_.bands(), layout_.width, folder, chainProblem_)) return Fault::None;
      const Fault fault = sweepChain(threads, onColumn, keepGoing);
      if (fault == Fault::None && chainReady_ && !edges_.finish()) {
        chainReady_ = false;
        chainProblem_ = "the band edges could not be written to a temporary file";
      }
      return fault;
    } else {
      (void)threads, (void)folder, (void)onColumn, (void)keepGoing;
      return Fault::None;
    }
  }
  std::string chainProblem() const override { return chainProblem_; }

  bool keepChain(const std::string& name, const std::string& identity) override {
    return carriesValue<P>() && chainReady_ && edges_.keepAs(name, identity);
  }
  bool adoptChain(const std::string& name, const std::string& identity) override {
    if constexpr (carriesValue<P>()) {
      return chainReady_ = edges_.adopt(name, layout_.bands(), layout_.width, identity);
    } else {
      (void)name, (void)identity;
      return false;
    }
  }

  bool topEdge(std::size_t band, double* carried) const override {
    if constexpr (carriesValue<P>()) return edges_.read(band, carried);
    (void)band, (void)carried;
    return true;
  }

  Fault renderRows(std::size_t band, std::size_t first, std::size_t rows, double* carried, unsigned char* rgb,
                   BandControl& control) const override {
    const std::size_t density = static_cast<std::size_t>(plan_.sampling.density);
    const std::size_t width = layout_.width;
    std::vector<Colour> colours(rows);
    for (std::size_t column = 0; column < width && !control.stop.load(std::memory_order_relaxed); ++column) {
      double unused = 0;
      double& value = carriesValue<P>() ? carried[column] : unused;
      const PixelSpan span{column / density, (column % density) * layout_.height + layout_.firstRow(band) + first, rows};
      const ColumnResult result = computeSpan<P>(params_, plan_, span, value, colours.data());
      if (result.fault != Fault::None) return result.fault;
      unsigned char* out = rgb + column * 3;
      for (std::size_t r = 0; r < rows; ++r, out += width * 3) {
        const Colour c = colours[r];
        out[0] = static_cast<unsigned char>(redOf(c));
        out[1] = static_cast<unsigned char>(greenOf(c));
        out[2] = static_cast<unsigned char>(blueOf(c));
      }
      control.pixels.fetch_add(rows, std::memory_order_relaxed);
    }
    return Fault::None;
  }

 private:
  // The carried value through every band of every column, in sweep order,
  // each band's top kept in the edges.
  Fault sweepChain(unsigned threads, const std::function<void(std::size_t)>& onColumn,
                   const std::function<bool()>& keepGoing) {
    auto job = std::make_shared<ChainJob<P>>(params_, plan_, layout_, edges_);
    const std::size_t bands = layout_.bands(), units = layout_.width * bands;
    std::vector<Colour> colours(layout_.bandRows);
    std::unique_ptr<ColumnPool> pool;
    if (threads > 1) {
      pool = std::make_unique<ColumnPool>(threads);
      pool->submit(job);
    }
    double carried = 0;
    Fault fault = Fault::None;
    for (std::size_t unit = 0; unit < units && fault == Fault::None; ++unit) {
      if (pool) {
        fault = pool->take(*job, unit, colours.data()).fault;
      } else {
        edges_.put(unit / bands, unit % bands, carried);
        fault = computeSpan<P>(params_, plan_, job->span(unit), carried, colours.data()).fault;
      }
      if (unit % bands == bands - 1) {
        if (onColumn) onColumn(unit / bands + 1);
        if (keepGoing && !keepGoing()) break;
      }
      if (fault == Fault::None && unit + 1 == units) chainReady_ = true;
    }
    if (pool) pool->withdraw(job);
    return fault;
  }

  const typename P::Params params_;
  BandEdges edges_;
  bool chainReady_ = false;
  std::string chainProblem_;
};

// Pattern P's intake and plan for the texts, as bands; nothing and the fault
// when the view is refused.
template <class P>
std::unique_ptr<BandSource> makePatternBands(RenderHost& host, std::size_t bandRows, Fault& fault) {
  Intake<typename P::Params> intake;
  SweepPlan plan;
  if ((fault = takeIntake<P>(host, intake)) != Fault::None) return nullptr;
  if ((fault = planSweep(intake.sweep, host.pictureLimits(), plan, host.sampling())) != Fault::None) return nullptr;
  return std::make_unique<PatternBands<P>>(intake.params, plan, bandRows);
}

}  // namespace plorvex
