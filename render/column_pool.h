// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Worker threads that compute a render's columns ahead of its frame. The
// frame still plots, repaints, yields and tests the halt flag column by column
// on its own thread; the workers only make the colours sooner.

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "frame.h"

namespace plorvex {

// One render's columns as work for the pool. A job whose pattern carries a
// value from pixel to pixel is sequential: one column at a time, in order.
class ColumnJob {
 public:
  ColumnJob(std::size_t columns, std::size_t rows, bool sequential);
  virtual ~ColumnJob() = default;
  ColumnJob(const ColumnJob&) = delete;
  ColumnJob& operator=(const ColumnJob&) = delete;

 protected:
  // Computes column k into out; called by one worker at a time per column.
  virtual ColumnResult compute(std::size_t k, Colour* out) = 0;

 private:
  friend class ColumnPool;
  enum class SlotState { Free, Computing, Ready };
  struct Slot {
    SlotState state = SlotState::Free;
    std::size_t column = 0;
    std::vector<Colour> colours;
    ColumnResult result;
  };
  // All below is guarded by the pool's mutex.
  bool claimable() const;
  Slot& slotOf(std::size_t k) { return slots_[k % slots_.size()]; }

  const std::size_t columns_;
  const std::size_t rows_;
  const bool sequential_;
  std::vector<Slot> slots_;        // the look-ahead ring
  std::size_t nextToClaim_ = 0;
  std::size_t consumed_ = 0;       // columns the frame has taken
  std::size_t inFlight_ = 0;
  std::size_t end_ = 0;            // no column past a fault is computed
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
  // Stops further work on the job; columns in progress finish and are dropped.
  void withdraw(const std::shared_ptr<ColumnJob>& job);
  // Waits for column k (the next one the frame needs) and copies it out.
  ColumnResult take(ColumnJob& job, std::size_t k, Colour* out);

  // Columns a job may be computed ahead of its frame.
  std::size_t lookAhead() const { return 4 * threads_.size(); }

 private:
  void work();
  ColumnJob* innermostClaimable();

  std::mutex mutex_;
  std::condition_variable workAvailable_;
  std::condition_variable columnReady_;
  std::vector<std::shared_ptr<ColumnJob>> jobs_;  // innermost last
  std::vector<std::thread> threads_;
  bool stopping_ = false;
};

// The frame's view of a job running on a pool.
class PooledColumns final : public ColumnSource {
 public:
  PooledColumns(ColumnPool& pool, std::shared_ptr<ColumnJob> job);
  ~PooledColumns() override;
  ColumnResult column(std::size_t k, Colour* out) override;

 private:
  ColumnPool& pool_;
  std::shared_ptr<ColumnJob> job_;
};

// A pattern's columns as a pool job; it owns copies of everything it reads,
// since columns in progress may outlive the render that asked for them.
template <class P>
class PatternColumnJob final : public ColumnJob {
 public:
  PatternColumnJob(const typename P::Params& params, const SweepPlan& plan)
      : ColumnJob(plan.columns.size(), plan.rows.size(), carriesValue<P>()),
        params_(params), columns_(plan.columns), rows_(plan.rows) {}

 protected:
  ColumnResult compute(std::size_t k, Colour* out) override {
    return computeColumn<P>(params_, columns_[k], rows_, carried_, out);
  }

 private:
  const typename P::Params params_;
  const std::vector<double> columns_;
  const std::vector<double> rows_;
  double carried_ = 0;
};

}  // namespace plorvex
