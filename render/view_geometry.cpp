// SPDX-License-Identifier: GPL-3.0-or-later
#include "view_geometry.h"

#include <algorithm>
#include <cmath>

#include "val.h"

namespace plorvex {
namespace {

// The picture's canvas rectangle: columns 161..160+N, rows 51..50+M.
constexpr int kFirstX = 161;
constexpr int kFirstY = 51;

bool offsetRepresentable(double value) { return std::fabs(value) < kOffsetLimit; }

// The texts of a view whose offsets and zoom are new, or why it is refused;
// size and brightness stay the texts they were.
ViewChange changedView(const ViewGeometry& view, double x, double y, double zoom,
                       bool zoomChanged) {
  ViewChange change;
  if (!offsetRepresentable(x) || !offsetRepresentable(y)) {
    change.refusal = "An offset would reach 1E+15, where the picture loses whole pixels; "
                     "the view stays as it is";
    return change;
  }
  if (zoomChanged) {
    const double magnitude = std::fabs(zoom);
    if (!(magnitude >= kZoomMin)) {
      change.refusal = "The zoom would fall below 1E-300, beyond double precision; "
                       "the view stays as it is";
      return change;
    }
    if (!(magnitude <= kZoomMax)) {
      change.refusal = "The zoom would pass 1E+300, beyond double precision; "
                       "the view stays as it is";
      return change;
    }
  }
  change.texts = view.texts;
  change.texts.x = numberText(x);
  change.texts.y = numberText(y);
  if (zoomChanged) change.texts.zoom = numberText(zoom);
  change.changed = true;
  return change;
}

double textValue(const std::string& text) { return val(text); }

}  // namespace

bool ViewGeometry::contains(int x, int y) const {
  return x >= kFirstX && y >= kFirstY && static_cast<std::size_t>(x - kFirstX) < columns &&
         static_cast<std::size_t>(y - kFirstY) < rows;
}

Fault makeViewGeometry(const FieldTexts& texts, const SweepOrigin& sweep, ViewGeometry& geometry) {
  geometry = ViewGeometry{};
  SweepPlan plan;
  const PictureLimits limits{std::size_t{1} << 16, std::size_t{1} << 16, std::size_t{1} << 32};
  if (const Fault fault = planSweep(sweep, limits, plan); fault != Fault::None) return fault;
  try {
    // Gestures read these texts again; reading them once here means a gesture
    // never meets a text beyond double precision.
    for (const std::string* text : {&texts.zoom, &texts.brightness}) textValue(*text);
    geometry.texts = texts;
    geometry.x0 = sweep.x0;
    geometry.y0 = sweep.y0;
    geometry.shiftX = sweep.x0 - textValue(texts.x);
    geometry.shiftY = sweep.y0 - textValue(texts.y);
    geometry.columns = plan.columns.size();
    geometry.rows = plan.columns.empty() ? 0 : plan.rows.size();
  } catch (const ArithmeticFault& fault) {
    geometry = ViewGeometry{};
    return fault.fault();
  }
  return Fault::None;
}

ViewChange dragView(const ViewGeometry& view, double dx, double dy) {
  const double x = textValue(view.texts.x) - dx;
  const double y = textValue(view.texts.y) - dy;
  return changedView(view, x, y, 0, false);
}

ViewChange zoomInAt(const ViewGeometry& view, int x, int y) {
  const double zoom = textValue(view.texts.zoom) / 2;
  const double newX = 2 * textValue(view.texts.x) + view.shiftX + (x - 160);
  const double newY = 2 * textValue(view.texts.y) + view.shiftY + (y - 50);
  return changedView(view, newX, newY, zoom, true);
}

ViewChange zoomOutAt(const ViewGeometry& view, int x, int y) {
  const double zoomValue = textValue(view.texts.zoom);
  const double zoom = zoomValue + zoomValue;
  const double i = view.x0 + (x - 160);
  const double j = view.y0 + (y - 50);
  const double newX = i / 2 - (x - 160) - view.shiftX;
  const double newY = j / 2 - (y - 50) - view.shiftY;
  return changedView(view, newX, newY, zoom, true);
}

ViewChange zoomToBox(const ViewGeometry& view, int x1, int y1, int x2, int y2) {
  if (view.columns == 0 || view.rows == 0) return {};
  const int lastX = kFirstX - 1 + static_cast<int>(view.columns);
  const int lastY = kFirstY - 1 + static_cast<int>(view.rows);
  x1 = std::clamp(x1, kFirstX, lastX);
  x2 = std::clamp(x2, kFirstX, lastX);
  y1 = std::clamp(y1, kFirstY, lastY);
  y2 = std::clamp(y2, kFirstY, lastY);
  const double boxWidth = std::abs(x2 - x1) + 1;
  const double boxHeight = std::abs(y2 - y1) + 1;
  if (boxWidth < kSmallestBox || boxHeight < kSmallestBox) return {};
  const double factor = std::max(boxWidth / static_cast<double>(view.columns),
                                 boxHeight / static_cast<double>(view.rows));
  const double ib = view.x0 + ((x1 + x2) / 2.0 - 160);
  const double jb = view.y0 + ((y1 + y2) / 2.0 - 50);
  const double zoom = textValue(view.texts.zoom) * factor;
  const double newX = ib / factor - (view.centreX() - 160) - view.shiftX;
  const double newY = jb / factor - (view.centreY() - 50) - view.shiftY;
  return changedView(view, newX, newY, zoom, true);
}

ViewChange centreOn(const ViewGeometry& view, int x, int y) {
  return dragView(view, view.centreX() - x, view.centreY() - y);
}

WorldView worldOf(const ViewGeometry& view) {
  const double zoom = textValue(view.texts.zoom);
  WorldView world;
  world.centreX = (view.x0 + (view.centreX() - 160)) * zoom;
  world.centreY = (view.y0 + (view.centreY() - 50)) * zoom;
  world.width = static_cast<double>(view.columns) * zoom;
  return world;
}

FieldTexts textsForWorld(const ViewGeometry& frame, const WorldView& world, double brightness) {
  const double zoom = world.width / static_cast<double>(frame.columns);
  const double x0 = world.centreX / zoom - (frame.centreX() - 160);
  const double y0 = world.centreY / zoom - (frame.centreY() - 50);
  FieldTexts texts = frame.texts;
  texts.x = numberText(x0 - frame.shiftX);
  texts.y = numberText(y0 - frame.shiftY);
  texts.zoom = numberText(zoom);
  texts.brightness = numberText(brightness);
  return texts;
}

}  // namespace plorvex
