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
#include <vector>

#include "column_pool.h"
#include "frame.h"
#include "pixel_kernels.h"

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
// stop (looked at between columns), and the columns rendered, summed over bands.
struct BandControl {
  std::atomic<bool> stop{false};
  std::atomic<std::size_t> columns{0};
};

// One view's pixels, band by band. renderBand may run on several threads at
// once, for different bands.
class BandSource {
 public:
  virtual ~BandSource() = default;
  const SweepPlan& plan() const { return plan_; }
  const BandLayout& layout() const { return layout_; }
  // Whether the chain pass has work to do (patterns that carry a value).
  virtual bool needsChain() const { return false; }
  // Runs the carried value through the whole picture once, keeping it at each
  // band edge, on `threads` threads; the fault that stopped it, if any.
  // `onColumn` is told the output columns done, from the calling thread;
  // `keepGoing` false stops it (with Fault::None and chainReady() false).
  virtual Fault runChain(unsigned threads, const std::function<void(std::size_t)>& onColumn,
                         const std::function<bool()>& keepGoing) {
    (void)threads, (void)onColumn, (void)keepGoing;
    return Fault::None;
  }
  virtual bool chainReady() const { return true; }
  // The band's pixels, row after row, 3 bytes (red, green, blue) each. A fault
  // is returned as such; the bytes are then not the picture's, nor are they
  // once the control's stop is set.
  virtual Fault renderBand(std::size_t band, unsigned char* rgb, BandControl& control) const = 0;

 protected:
  SweepPlan plan_;
  BandLayout layout_;
};

// The carried value at the top of each band of each output column, band
// after band (bands x width values).
class BandEdges {
 public:
  void resize(std::size_t bands, std::size_t width) {
    width_ = width;
    values_.assign(bands * width, 0.0);
  }
  double& at(std::size_t band, std::size_t column) { return values_[band * width_ + column]; }
  double at(std::size_t band, std::size_t column) const { return values_[band * width_ + column]; }
  std::size_t bytes() const { return values_.size() * sizeof(double); }

 private:
  std::size_t width_ = 0;
  std::vector<double> values_;
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
  void reserveSlots(std::size_t slots) override {
    prepared_.resize(slots);
    for (auto& samples : prepared_) samples.resize(layout_.bandRows * plan_.sampling.samplesPerPixel());
  }
  ColumnResult firstStage(std::size_t unit, std::size_t slot, Colour*) override {
    const bool clean = prepareSpan<P>(params_, plan_, span(unit), prepared_[slot].data());
    return {0, clean ? Fault::None : Fault::InvalidOperation};
  }
  ColumnResult orderedStage(std::size_t unit, std::size_t slot, bool preparedCleanly, Colour* out) override {
    const std::size_t bands = layout_.bands();
    // Only this ordered stage touches the edges, one unit at a time.
    edges_.at(unit % bands, unit / bands) = carried_;
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

  Fault runChain(unsigned threads, const std::function<void(std::size_t)>& onColumn,
                 const std::function<bool()>& keepGoing) override {
    if constexpr (carriesValue<P>()) {
      edges_.resize(layout_.bands(), layout_.width);
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
          edges_.at(unit % bands, unit / bands) = carried;
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
    } else {
      (void)threads, (void)onColumn, (void)keepGoing;
      return Fault::None;
    }
  }

  Fault renderBand(std::size_t band, unsigned char* rgb, BandControl& control) const override {
    const std::size_t density = static_cast<std::size_t>(plan_.sampling.density);
    const std::size_t rows = layout_.rowsOf(band), width = layout_.width;
    std::vector<Colour> colours(rows);
    for (std::size_t column = 0; column < width && !control.stop.load(std::memory_order_relaxed); ++column) {
      double carried = carriesValue<P>() ? edges_.at(band, column) : 0;
      const PixelSpan span{column / density, (column % density) * layout_.height + layout_.firstRow(band), rows};
      const ColumnResult result = computeSpan<P>(params_, plan_, span, carried, colours.data());
      if (result.fault != Fault::None) return result.fault;
      unsigned char* out = rgb + column * 3;
      for (std::size_t r = 0; r < rows; ++r, out += width * 3) {
        const Colour c = colours[r];
        out[0] = static_cast<unsigned char>(redOf(c));
        out[1] = static_cast<unsigned char>(greenOf(c));
        out[2] = static_cast<unsigned char>(blueOf(c));
      }
      control.columns.fetch_add(1, std::memory_order_relaxed);
    }
    return Fault::None;
  }

 private:
  const typename P::Params params_;
  BandEdges edges_;
  bool chainReady_ = false;
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
