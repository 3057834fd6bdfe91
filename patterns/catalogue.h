// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dispatch table: which pattern button starts which renderer.

#include <span>
#include <string_view>

#include "frame.h"

namespace plorvex {

using Renderer = RenderOutcome (*)(RenderHost&);

struct PatternEntry {
  int index;             // the pattern button's index, 0..18
  const char* caption;   // the button's caption, e.g. "atlas"
  const char* procedure; // the renderer's name, e.g. "aries"
  Renderer render;
};

inline constexpr int kPatternButtons = 19;

// The patterns built so far, by button index.
std::span<const PatternEntry> patternCatalogue();

// The entry for a button index, or nullptr if that button has no renderer.
const PatternEntry* patternAt(int index);

// Finds a pattern by caption ("atlas") or by index ("0"); nullptr if none.
const PatternEntry* findPattern(std::string_view captionOrIndex);

}  // namespace plorvex
