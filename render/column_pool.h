// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Worker threads that compute a render's pixels ahead of its frame. The frame
// still plots, repaints, yields and tests the halt flag column by column on its
// own thread; the workers only make the colours sooner.
//
// A render's output pixels are cut into units (a picture column, or a part of
// one when the column is large). A unit of a column-independent pattern is
// made in one step, by any worker, in any order. A unit of a pattern that
// carries a value is made in two: its samples are prepared by any worker in
// any order, then completed in unit order, one unit at a time, through the
// carried value, which belongs to that ordered stage alone.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "pixel_kernels.h"

namespace plorvex {

// How a render's output pixels are cut into units.
struct UnitLayout {
  std::size_t pixelsPerColumn = 0;
  std::size_t pixelsPerUnit = 1;
  std::size_t unitsPerColumn = 0;

  // A unit holds at most this many samples (and one pixel at least).
  static constexpr std::size_t kSamplesPerUnit = 16384;
  static UnitLayout of(const SweepPlan& plan);
  PixelSpan span(std::size_t unit) const;
};

class ColumnPool;

// One render's units as work for the pool.
class ColumnJob {
 public:
  ColumnJob(std::size_t units, std::size_t pixelsPerUnit, bool ordered);
  virtual ~ColumnJob() = default;
  ColumnJob(const ColumnJob&) = delete;
  ColumnJob& operator=(const ColumnJob&) = delete;

 protected:
  // Makes room for units in `slots` slots at once.
  virtual void reserveSlots(std::size_t slots) = 0;
  // Any order, in parallel. A job without an ordered stage makes the unit's
  // colours here; an ordered job prepares them (a fault means only that the
  // preparation raised one).
  virtual ColumnResult firstStage(std::size_t unit, std::size_t slot, Colour* out) = 0;
  // An ordered job's second stage, unit after unit, one at a time.
  virtual ColumnResult orderedStage(std::size_t unit, std::size_t slot, bool preparedCleanly,
                                    Colour* out) = 0;

 private:
  friend class ColumnPool;
  enum class SlotState { Free, Preparing, Prepared, Completing, Ready };
  struct Slot {
    SlotState state = SlotState::Free;
    std::size_t unit = 0;
    std::vector<Colour> colours;
    ColumnResult result;
  };
  // All below is guarded by the pool's mutex.
  enum class Step { None, First, Ordered };
  Step claimableStep() const;
  std::size_t slotIndex(std::size_t unit) const { return unit % slots_.size(); }
  Slot& slotOf(std::size_t unit) { return slots_[slotIndex(unit)]; }

  const std::size_t units_;
  const std::size_t pixelsPerUnit_;
  const bool ordered_;
  std::vector<Slot> slots_;  // the look-ahead ring
  std::size_t nextToPrepare_ = 0;
  std::size_t nextToComplete_ = 0;
  bool completing_ = false;
  std::size_t consumed_ = 0;  // units the frame has taken
  std::size_t end_ = 0;       // no unit past a fault is computed
  bool withdrawn_ = false;
};

class ColumnPool {
 public:
  explicit ColumnPool(unsigned workers);
  ~ColumnPool();
  ColumnPool(const ColumnPool&) = delete;
  ColumnPool& operator=(const ColumnPool&) = delete;

  unsigned workers() const { return static_cast<unsigned>(threads_.size()); }
  // The pool serves the most recently submitted job first, so a render
  // started inside another's yield gets the workers.
  void submit(const std::shared_ptr<ColumnJob>& job);
  // Stops further work on the job; units in progress finish and are dropped.
  void withdraw(const std::shared_ptr<ColumnJob>& job);
  // Waits for the unit (the next one the frame needs) and copies it out.
  ColumnResult take(ColumnJob& job, std::size_t unit, Colour* out);

  // Units a job may be computed ahead of its frame.
  std::size_t lookAhead() const { return 4 * threads_.size(); }

 private:
  void work();
  void runStep(const std::shared_ptr<ColumnJob>& job, ColumnJob::Step step,
               std::unique_lock<std::mutex>& lock);
  std::shared_ptr<ColumnJob> innermostWithWork(ColumnJob::Step& step);

  std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable unitReady_;
  std::vector<std::shared_ptr<ColumnJob>> jobs_;  // innermost last
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

// The frame's view of a job running on a pool: a column is its units in turn.
class PooledColumns final : public ColumnSource {
 public:
  PooledColumns(ColumnPool& pool, std::shared_ptr<ColumnJob> job, const UnitLayout& layout);
  ~PooledColumns() override;
  ColumnResult column(std::size_t k, Colour* out) override;

 private:
  ColumnPool& pool_;
  std::shared_ptr<ColumnJob> job_;
  const UnitLayout layout_;
};

// A pattern's units as a pool job; it owns copies of everything it reads,
// since units in progress may outlive the render that asked for them.
template <class P>
class PatternColumnJob final : public ColumnJob {
 public:
  PatternColumnJob(const typename P::Params& params, const SweepPlan& plan, const UnitLayout& layout)
      : ColumnJob(plan.columns.size() * layout.unitsPerColumn, layout.pixelsPerUnit,
                  carriesValue<P>()),
        params_(params), plan_(plan), layout_(layout) {}

 protected:
  void reserveSlots(std::size_t slots) override {
    if constexpr (carriesValue<P>()) {
      prepared_.resize(slots);
      for (auto& samples : prepared_)
        samples.resize(layout_.pixelsPerUnit * plan_.sampling.samplesPerPixel());
    }
  }

  ColumnResult firstStage(std::size_t unit, std::size_t slot, Colour* out) override {
    const PixelSpan span = layout_.span(unit);
    if constexpr (carriesValue<P>()) {
      const bool clean = prepareSpan<P>(params_, plan_, span, prepared_[slot].data());
      return {0, clean ? Fault::None : Fault::InvalidOperation};
    } else {
      double unused = 0;  // a column-independent pattern carries nothing
      return computeSpan<P>(params_, plan_, span, unused, out);
    }
  }

  ColumnResult orderedStage(std::size_t unit, std::size_t slot, bool preparedCleanly,
                            Colour* out) override {
    if constexpr (carriesValue<P>()) {
      return completeSpan<P>(params_, plan_, layout_.span(unit), prepared_[slot].data(),
                             preparedCleanly, carried_, out);
    } else {
      return {};
    }
  }

 private:
  const typename P::Params params_;
  const SweepPlan plan_;
  const UnitLayout layout_;
  // Per slot: the prepared samples of the unit in it (ordered jobs only).
  std::vector<std::vector<Prepared<P>>> prepared_;
  // Passed from sample to sample by the ordered stage only; 0 at the start.
  double carried_ = 0;
};

}  // namespace plorvex
