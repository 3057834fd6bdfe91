// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_render.h"

#include <algorithm>

namespace plorvex {

BandLayout BandLayout::of(const SweepPlan& plan, std::size_t bandRows) {
  const std::size_t density = static_cast<std::size_t>(plan.sampling.density);
  return {plan.columns.size() * density, plan.rows.size() * density, bandRows};
}

bool plainlyPlaced(const SweepPlan& plan) {
  for (std::size_t k = 0; k < plan.xs.size(); ++k)
    if (plan.xs[k] != static_cast<int>(kPictureLeft) + 1 + static_cast<int>(k)) return false;
  for (std::size_t l = 0; l < plan.ys.size(); ++l)
    if (plan.ys[l] != static_cast<int>(kPictureTop) + 1 + static_cast<int>(l)) return false;
  return true;
}

bool BandEdges::begin(std::size_t bands, std::size_t width, const std::string& folder, std::string& error) {
  bands_ = bands, width_ = width, blockStart_ = 0, filled_ = 0, failed_ = false;
  blockColumns_ = std::clamp<std::size_t>(kBlockBytes / sizeof(double) / std::max<std::size_t>(bands, 1), 1, width);
  block_.assign(bands * blockColumns_, 0.0);
  return file_.open(folder, error);
}

void BandEdges::writeBlock() {
  for (std::size_t band = 0; band < bands_ && filled_ > 0 && !failed_; ++band)
    failed_ = !file_.writeAt((std::uint64_t{band} * width_ + blockStart_) * sizeof(double),
                             &block_[band * blockColumns_], filled_ * sizeof(double));
  blockStart_ += blockColumns_;
  filled_ = 0;
}

bool BandEdges::read(std::size_t band, double* values) const {
  return file_.readAt(std::uint64_t{band} * width_ * sizeof(double), values, width_ * sizeof(double));
}

namespace {
// After the values: the identity, its length (8 bytes) and this mark.
constexpr char kKeptMark[8] = {'p', 'l', 'v', 'x', 'e', 'd', 'g', '1'};
}  // namespace

bool BandEdges::keepAs(const std::string& name, const std::string& identity) {
  const std::uint64_t values = std::uint64_t{bands_} * width_ * sizeof(double), length = identity.size();
  return !failed_ && file_.writeAt(values, identity.data(), identity.size()) &&
         file_.writeAt(values + length, &length, sizeof length) &&
         file_.writeAt(values + length + sizeof length, kKeptMark, sizeof kKeptMark) && file_.keepAs(name);
}

bool BandEdges::adopt(const std::string& name, std::size_t bands, std::size_t width, const std::string& identity) {
  const std::uint64_t values = std::uint64_t{bands} * width * sizeof(double), length = identity.size();
  if (!file_.openKept(name) || file_.size() != values + length + sizeof length + sizeof kKeptMark) return false;
  std::string kept(identity.size(), '\0');
  std::uint64_t keptLength = 0;
  char mark[sizeof kKeptMark] = {};
  if (!file_.readAt(values, kept.data(), kept.size()) || !file_.readAt(values + length, &keptLength, sizeof keptLength) ||
      !file_.readAt(values + length + sizeof length, mark, sizeof mark))
    return false;
  if (kept != identity || keptLength != length || !std::equal(mark, mark + sizeof mark, kKeptMark)) return false;
  bands_ = bands, width_ = width, failed_ = false;
  std::vector<double>().swap(block_);
  return true;
}

}  // namespace plorvex
