// SPDX-License-Identifier: GPL-3.0-or-later
#include "view_history.h"

namespace plorvex::app {

bool HistoryView::operator==(const HistoryView& other) const {
  return pattern == other.pattern && texts.x == other.texts.x && texts.y == other.texts.y &&
         texts.size == other.texts.size && texts.zoom == other.texts.zoom &&
         texts.brightness == other.texts.brightness;
}

void ViewHistory::record(const HistoryView& view, bool replaceCurrent) {
  if (!views_.empty() && views_[current_] == view) return;
  if (!views_.empty()) views_.resize(current_ + 1);
  if (replaceCurrent && !views_.empty()) {
    if (current_ > 0 && views_[current_ - 1] == view) {
      views_.pop_back();
      --current_;
    } else {
      views_.back() = view;
    }
    return;
  }
  views_.push_back(view);
  if (views_.size() > kMaxViews) views_.erase(views_.begin());
  current_ = views_.size() - 1;
}

std::optional<HistoryView> ViewHistory::back() {
  if (!canGoBack()) return std::nullopt;
  return views_[--current_];
}

std::optional<HistoryView> ViewHistory::forward() {
  if (!canGoForward()) return std::nullopt;
  return views_[++current_];
}

std::span<const HistoryView> ViewHistory::viewsUpToCurrent() const {
  if (views_.empty()) return {};
  return std::span<const HistoryView>(views_).first(current_ + 1);
}

}  // namespace plorvex::app
