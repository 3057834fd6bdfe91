// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where a shown picture sits in its pattern, and the views that the hand's
// gestures lead to: a drag, a wheel notch, a zoom box, a double-click. The
// window, the command line and the movie maker all follow these rules, so a
// view reached by hand is a view that can be typed, saved and replayed.
//
// A picture of N columns and M rows, swept from origin (X0, Y0), shows the
// counters i = X0 + (x - 160), j = Y0 + (y - 50) at canvas pixel (x, y). Every
// pattern scales its coordinates linearly in the zoom text, so keeping
// i * zoom fixed keeps the pattern point under the pointer.

#include <cstddef>
#include <string>

#include "frame.h"
#include "headless.h"

namespace plorvex {

// A shown picture: the texts it was rendered from and what its intake made
// of them.
struct ViewGeometry {
  FieldTexts texts;
  double x0 = 0;      // X0
  double y0 = 0;      // Y0
  double shiftX = 0;  // cx = X0 - Val(x text): the intake's own shift
  double shiftY = 0;  // cy
  std::size_t columns = 0;  // N
  std::size_t rows = 0;     // M

  // The centre pixel (xc, yc).
  int centreX() const { return 161 + static_cast<int>(columns / 2); }
  int centreY() const { return 51 + static_cast<int>(rows / 2); }
  // Whether canvas pixel (x, y) belongs to the picture.
  bool contains(int x, int y) const;
};

// Builds the geometry of a picture from the texts it was rendered from and the
// sweep origin its pattern's intake gave; faults as a render would (an offset
// too large to count, a size beyond the canvas limits, a text beyond double
// precision). A picture without pixels gives an empty geometry, which
// contains no pixel, so no gesture acts on it.
Fault makeViewGeometry(const FieldTexts& texts, const SweepOrigin& sweep, ViewGeometry& geometry);

// The outcome of a gesture: the five texts to render next, or why nothing
// changes (the view would leave what double precision can show).
struct ViewChange {
  bool changed = false;
  FieldTexts texts;
  std::string refusal;  // empty when changed, or when the gesture is a no-op
};

// Offsets at or beyond this magnitude are written in the scientific form and
// lose whole pixels; zooms beyond these lose the pattern to under- or overflow.
inline constexpr double kOffsetLimit = 1e15;
inline constexpr double kZoomMin = 1e-300;
inline constexpr double kZoomMax = 1e300;

// The picture follows the hand: moved by (dx, dy) pixels since the press.
ViewChange dragView(const ViewGeometry& view, double dx, double dy);
// One wheel notch at pixel (x, y): away from the user zooms in (half the
// zoom), towards the user zooms out (twice the zoom); the point under the
// pointer stays.
ViewChange zoomInAt(const ViewGeometry& view, int x, int y);
ViewChange zoomOutAt(const ViewGeometry& view, int x, int y);
// A zoom box from (x1, y1) to (x2, y2), each clamped into the picture; its
// centre becomes the picture's. Boxes under 4 pixels either way change nothing.
ViewChange zoomToBox(const ViewGeometry& view, int x1, int y1, int x2, int y2);
inline constexpr int kSmallestBox = 4;
// The point (x, y) moves to the centre pixel.
ViewChange centreOn(const ViewGeometry& view, int x, int y);

// A view as a place in the pattern's plane: the centre pixel's counters times
// the zoom, and the picture's width in the same units.
struct WorldView {
  double centreX = 0;  // ux = (X0 + (xc - 160)) * Zt
  double centreY = 0;  // uy = (Y0 + (yc - 50)) * Zt
  double width = 0;    // w = N * Zt
};
WorldView worldOf(const ViewGeometry& view);

// The texts that show world view `world` with the size, shifts and centre of
// `frame` (a picture of the same pattern and size) and the given brightness.
FieldTexts textsForWorld(const ViewGeometry& frame, const WorldView& world, double brightness);

}  // namespace plorvex
