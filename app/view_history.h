// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The views the window has shown, for Back and Forward: each a pattern and the
// five texts its render read. Kept in memory only, at most kMaxViews, the
// oldest dropped first. Nothing here knows of widgets, so that whatever
// replays a way through the pattern (a movie of it, say) can read it.

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

#include "headless.h"

namespace plorvex::app {

struct HistoryView {
  int pattern = -1;  // the pattern button's index
  FieldTexts texts;
  bool operator==(const HistoryView& other) const;
};

class ViewHistory {
 public:
  static constexpr std::size_t kMaxViews = 256;

  // A render started with this view. Nothing happens when it is the current
  // view; otherwise the views after the current one go and it becomes the
  // current one. With `replaceCurrent` it takes the current view's place
  // instead (one gesture that moved on), or removes it when it leads back to
  // the view before.
  void record(const HistoryView& view, bool replaceCurrent = false);

  bool canGoBack() const { return current_ > 0; }
  bool canGoForward() const { return current_ + 1 < views_.size(); }
  // Steps back or forward and gives the view there; nothing at either end.
  std::optional<HistoryView> back();
  std::optional<HistoryView> forward();

  // The views from the oldest kept up to the current one, in the order shown.
  std::span<const HistoryView> viewsUpToCurrent() const;
  std::size_t size() const { return views_.size(); }
  const HistoryView* current() const { return views_.empty() ? nullptr : &views_[current_]; }

 private:
  std::vector<HistoryView> views_;
  std::size_t current_ = 0;  // meaningful when views_ is not empty
};

}  // namespace plorvex::app
