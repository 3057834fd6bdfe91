// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The dispatch table: which pattern button starts which renderer.

#include <cstddef>
#include <memory>
#include <span>
#include <string_view>

#include "band_render.h"
#include "frame.h"
#include "headless.h"
#include "view_geometry.h"

namespace plorvex {

using Renderer = RenderOutcome (*)(RenderHost&);
// Runs a pattern's intake on five texts, for the sweep origin alone.
using SweepIntake = Fault (*)(const FieldTexts&, SweepOrigin&);
// Paints the host's view over the picture of a plan moved by whole pixels,
// computing only what the move uncovers (see moved_render.h).
using MovedRenderer = RenderOutcome (*)(RenderHost&, const SweepPlan& previous, int dx, int dy);
// The host's view as bands of `bandRows` output rows (see band_render.h);
// nothing, with the fault, when the view is refused.
using BandMaker = std::unique_ptr<BandSource> (*)(RenderHost&, std::size_t bandRows, Fault& fault);

struct PatternEntry {
  int index;             // the pattern button's index, 0..18
  const char* caption;   // the button's caption, e.g. "atlas"
  const char* procedure; // the renderer's name, e.g. "aries"
  Renderer render;
  SweepIntake sweep;
  // Only for patterns without a carried value; nullptr for the others.
  MovedRenderer moved = nullptr;
  BandMaker bands = nullptr;
};

inline constexpr int kPatternButtons = 19;

// The patterns built so far, by button index.
std::span<const PatternEntry> patternCatalogue();

// The entry for a button index, or nullptr if that button has no renderer.
const PatternEntry* patternAt(int index);

// The geometry of the picture that `pattern` paints from `texts`.
Fault viewGeometryOf(const PatternEntry& pattern, const FieldTexts& texts, ViewGeometry& geometry);

// Finds a pattern by caption ("atlas") or by index ("0"); nullptr if none.
const PatternEntry* findPattern(std::string_view captionOrIndex);

}  // namespace plorvex
