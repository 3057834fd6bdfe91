// SPDX-License-Identifier: GPL-3.0-or-later
#include "column_pool.h"

#include <algorithm>

namespace plorvex {

ColumnJob::ColumnJob(std::size_t columns, std::size_t rows, bool sequential)
    : columns_(columns), rows_(rows), sequential_(sequential), end_(columns) {}

bool ColumnJob::claimable() const {
  return !withdrawn_ && nextToClaim_ < end_ && nextToClaim_ < consumed_ + slots_.size() &&
         (!sequential_ || inFlight_ == 0);
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
  job->slots_.resize(std::clamp<std::size_t>(job->columns_, 1, lookAhead()));
  for (ColumnJob::Slot& slot : job->slots_) slot.colours.resize(job->rows_);
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

ColumnJob* ColumnPool::innermostClaimable() {
  for (auto it = jobs_.rbegin(); it != jobs_.rend(); ++it)
    if ((*it)->claimable()) return it->get();
  return nullptr;
}

void ColumnPool::work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    workAvailable_.wait(lock, [this] { return stopping_ || innermostClaimable(); });
    if (stopping_) return;
    const ColumnJob* found = innermostClaimable();
    // Holding the job keeps it alive while its column is computed, even if
    // its render ends meanwhile.
    const std::shared_ptr<ColumnJob> job =
        *std::find_if(jobs_.begin(), jobs_.end(), [&](const auto& j) { return j.get() == found; });
    const std::size_t k = job->nextToClaim_++;
    ColumnJob::Slot& slot = job->slotOf(k);
    slot.state = ColumnJob::SlotState::Computing;
    slot.column = k;
    ++job->inFlight_;

    lock.unlock();
    const ColumnResult result = job->compute(k, slot.colours.data());
    lock.lock();

    slot.result = result;
    slot.state = ColumnJob::SlotState::Ready;
    --job->inFlight_;
    if (result.fault != Fault::None) job->end_ = std::min(job->end_, k + 1);
    columnReady_.notify_all();
    if (job->sequential_) workAvailable_.notify_one();
  }
}

ColumnResult ColumnPool::take(ColumnJob& job, std::size_t k, Colour* out) {
  std::unique_lock lock(mutex_);
  ColumnJob::Slot& slot = job.slotOf(k);
  columnReady_.wait(lock, [&] { return slot.state == ColumnJob::SlotState::Ready && slot.column == k; });
  const ColumnResult result = slot.result;
  std::copy_n(slot.colours.begin(), result.computed, out);
  slot.state = ColumnJob::SlotState::Free;
  job.consumed_ = k + 1;
  lock.unlock();
  workAvailable_.notify_all();
  return result;
}

PooledColumns::PooledColumns(ColumnPool& pool, std::shared_ptr<ColumnJob> job)
    : pool_(pool), job_(std::move(job)) {
  pool_.submit(job_);
}

PooledColumns::~PooledColumns() { pool_.withdraw(job_); }

ColumnResult PooledColumns::column(std::size_t k, Colour* out) { return pool_.take(*job_, k, out); }

}  // namespace plorvex
