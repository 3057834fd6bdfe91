// SPDX-License-Identifier: GPL-3.0-or-later
#include "column_pool.h"

#include <algorithm>

namespace plorvex {

UnitLayout UnitLayout::of(const SweepPlan& plan) {
  UnitLayout layout;
  layout.pixelsPerColumn = plan.pixelsPerColumn();
  layout.pixelsPerUnit = std::max<std::size_t>(1, kSamplesPerUnit / plan.sampling.samplesPerPixel());
  layout.pixelsPerUnit = std::min(layout.pixelsPerUnit, std::max<std::size_t>(1, layout.pixelsPerColumn));
  layout.unitsPerColumn = (layout.pixelsPerColumn + layout.pixelsPerUnit - 1) / layout.pixelsPerUnit;
  return layout;
}

PixelSpan UnitLayout::span(std::size_t unit) const {
  const std::size_t first = (unit % unitsPerColumn) * pixelsPerUnit;
  return {unit / unitsPerColumn, first, std::min(pixelsPerUnit, pixelsPerColumn - first)};
}

ColumnJob::ColumnJob(std::size_t units, std::size_t pixelsPerUnit, bool ordered)
    : units_(units), pixelsPerUnit_(pixelsPerUnit), ordered_(ordered), end_(units) {}

ColumnJob::Step ColumnJob::claimableStep() const {
  if (withdrawn_) return Step::None;
  // The ordered stage is the one that cannot be shared out: it goes first.
  if (ordered_ && !completing_ && nextToComplete_ < end_) {
    const Slot& slot = slots_[slotIndex(nextToComplete_)];
    if (slot.state == SlotState::Prepared && slot.unit == nextToComplete_) return Step::Ordered;
  }
  if (nextToPrepare_ < end_ && nextToPrepare_ < consumed_ + slots_.size()) return Step::First;
  return Step::None;
}

ColumnPool::ColumnPool(unsigned workers) {
  threads_.reserve(workers);
  for (unsigned n = 0; n < workers; ++n) threads_.emplace_back([this] { work(); });
}

ColumnPool::~ColumnPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  workAvailable_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void ColumnPool::submit(const std::shared_ptr<ColumnJob>& job) {
  const std::size_t slots = std::clamp<std::size_t>(job->units_, 1, lookAhead());
  job->slots_.resize(slots);
  for (ColumnJob::Slot& slot : job->slots_) slot.colours.resize(job->pixelsPerUnit_);
  job->reserveSlots(slots);
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(job);
  }
  workAvailable_.notify_all();
}

void ColumnPool::withdraw(const std::shared_ptr<ColumnJob>& job) {
  {
    std::lock_guard lock(mutex_);
    job->withdrawn_ = true;
    jobs_.erase(std::remove(jobs_.begin(), jobs_.end(), job), jobs_.end());
  }
  // An outer job may be waiting for workers that served this one.
  workAvailable_.notify_all();
}

std::shared_ptr<ColumnJob> ColumnPool::innermostWithWork(ColumnJob::Step& step) {
  for (auto it = jobs_.rbegin(); it != jobs_.rend(); ++it) {
    step = (*it)->claimableStep();
    if (step != ColumnJob::Step::None) return *it;
  }
  return nullptr;
}

void ColumnPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    ColumnJob::Step step = ColumnJob::Step::None;
    std::shared_ptr<ColumnJob> job;
    workAvailable_.wait(lock, [&] { return stopping_ || (job = innermostWithWork(step)); });
    if (stopping_) return;
    // Holding the job keeps it alive while its unit is computed, even if its
    // render ends meanwhile.
    runStep(job, step, lock);
  }
}

void ColumnPool::runStep(const std::shared_ptr<ColumnJob>& job, ColumnJob::Step step,
                         std::unique_lock<std::mutex>& lock) {
  using SlotState = ColumnJob::SlotState;
  const bool ordered = step == ColumnJob::Step::Ordered;
  const std::size_t unit = ordered ? job->nextToComplete_++ : job->nextToPrepare_++;
  const std::size_t slotIndex = job->slotIndex(unit);
  ColumnJob::Slot& slot = job->slots_[slotIndex];
  const bool preparedCleanly = slot.result.fault == Fault::None;
  slot.state = ordered ? SlotState::Completing : SlotState::Preparing;
  slot.unit = unit;
  if (ordered) job->completing_ = true;

  lock.unlock();
  const ColumnResult result = ordered ? job->orderedStage(unit, slotIndex, preparedCleanly,
                                                          slot.colours.data())
                                      : job->firstStage(unit, slotIndex, slot.colours.data());
  lock.lock();

  slot.result = result;
  if (ordered) job->completing_ = false;
  const bool done = ordered || !job->ordered_;
  slot.state = done ? SlotState::Ready : SlotState::Prepared;
  // A fault in a unit (even in its preparation) ends the render inside it.
  if (result.fault != Fault::None) job->end_ = std::min(job->end_, unit + 1);
  if (done) unitReady_.notify_all();
  if (job->ordered_) workAvailable_.notify_all();
}

ColumnResult ColumnPool::take(ColumnJob& job, std::size_t unit, Colour* out) {
  std::unique_lock lock(mutex_);
  ColumnJob::Slot& slot = job.slotOf(unit);
  unitReady_.wait(lock, [&] { return slot.state == ColumnJob::SlotState::Ready && slot.unit == unit; });
  const ColumnResult result = slot.result;
  std::copy_n(slot.colours.begin(), result.computed, out);
  slot.state = ColumnJob::SlotState::Free;
  slot.result = {};
  job.consumed_ = unit + 1;
  lock.unlock();
  workAvailable_.notify_all();
  return result;
}

PooledColumns::PooledColumns(ColumnPool& pool, std::shared_ptr<ColumnJob> job,
                             const UnitLayout& layout)
    : pool_(pool), job_(std::move(job)), layout_(layout) {
  pool_.submit(job_);
}

PooledColumns::~PooledColumns() { pool_.withdraw(job_); }

ColumnResult PooledColumns::column(std::size_t k, Colour* out) {
  for (std::size_t n = 0; n < layout_.unitsPerColumn; ++n) {
    const std::size_t unit = k * layout_.unitsPerColumn + n;
    const std::size_t first = n * layout_.pixelsPerUnit;
    ColumnResult result = pool_.take(*job_, unit, out + first);
    if (result.fault != Fault::None) {
      result.computed += first;
      return result;
    }
  }
  return {layout_.pixelsPerColumn};
}

}  // namespace plorvex
