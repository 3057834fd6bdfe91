// SPDX-License-Identifier: GPL-3.0-or-later
#include "movie_path.h"

#include <algorithm>
#include <cmath>

#include "correct_math.h"
#include "val.h"

namespace plorvex::movie {
namespace {

const double kRho = std::sqrt(2.0);

// Centres closer than this share of the narrower view count as one centre.
constexpr double kSameCentre = 1e-9;

std::string mismatch(const Keyframe& first, const Keyframe& other, std::size_t index, const char* what,
                     const std::string& firstValue, const std::string& otherValue) {
  return "keyframe " + std::to_string(index) + " (" + other.source + ") has the " + what + " '" + otherValue +
         "', keyframe 0 (" + first.source + ") '" + firstValue + "': a movie keeps one " + what;
}

// The first keyframe that differs from the first in pattern or size text.
std::string firstMismatch(const std::vector<Keyframe>& keyframes) {
  for (std::size_t k = 1; k < keyframes.size(); ++k) {
    const Keyframe& first = keyframes.front();
    const Keyframe& other = keyframes[k];
    if (other.pattern != first.pattern)
      return mismatch(first, other, k, "pattern", first.pattern, other.pattern);
    if (other.texts.size != first.texts.size)
      return mismatch(first, other, k, "size text", first.texts.size, other.texts.size);
  }
  return {};
}

// Everything here beyond + - * / and sqrt is the correctly rounded maths (or
// written on it in one fixed way), so that every machine of a farm gives a
// frame the same texts.

// The path's parameter r = ln(sqrt(b^2 + 1) - b), written as the same
// number -asinh(b): the difference in the first form cancels for a large b
// (leaving a deep zoom for a far-off view) and loses the digits that set the
// first frames' widths.
double pathParameter(double b) { return -pathAsinh(b); }

bool finiteSegment(const Segment& segment) { return std::isfinite(segment.length) && std::isfinite(segment.r0); }

}  // namespace

std::optional<std::size_t> frameCount(double seconds, double fps) {
  if (!(seconds > 0) || !(fps > 0)) return std::nullopt;
  const double frames = std::round(seconds * fps);
  if (!(frames <= static_cast<double>(kMaxFrames))) return std::nullopt;
  return std::max<std::size_t>(2, static_cast<std::size_t>(frames));
}

Segment makeSegment(const WorldView& from, const WorldView& to, double brightnessFrom, double brightnessTo) {
  Segment segment{from, to, brightnessFrom, brightnessTo};
  const double w0 = from.width, w1 = to.width;
  const double dx = to.centreX - from.centreX;
  const double dy = to.centreY - from.centreY;
  const double d = std::sqrt(power(dx, 2) + power(dy, 2));
  if (d <= kSameCentre * std::min(w0, w1)) {
    segment.pureZoom = true;
    segment.length = std::fabs(crLog(w1 / w0)) / kRho;
    return segment;
  }
  const double b0 = (power(w1, 2) - power(w0, 2) + power(kRho, 4) * power(d, 2)) /
                    (2 * w0 * power(kRho, 2) * d);
  const double b1 = (power(w1, 2) - power(w0, 2) - power(kRho, 4) * power(d, 2)) /
                    (2 * w1 * power(kRho, 2) * d);
  const double r0 = pathParameter(b0);
  const double r1 = pathParameter(b1);
  segment.r0 = r0;
  segment.length = (r1 - r0) / kRho;
  return segment;
}

WorldView worldAt(const Segment& segment, double t) {
  const WorldView& a = segment.from;
  const WorldView& b = segment.to;
  const double w0 = a.width;
  WorldView view;
  if (segment.pureZoom) {
    view.centreX = a.centreX + t * (b.centreX - a.centreX);
    view.centreY = a.centreY + t * (b.centreY - a.centreY);
    view.width = w0 * crExp(t * crLog(b.width / w0));
    return view;
  }
  const double dx = b.centreX - a.centreX;
  const double dy = b.centreY - a.centreY;
  const double d = std::sqrt(power(dx, 2) + power(dy, 2));
  const double r0 = segment.r0;
  const double s = t * segment.length;
  const double k = w0 / (power(kRho, 2) * d) * (pathCosh(r0) * pathTanh(kRho * s + r0) - pathSinh(r0));
  view.centreX = a.centreX + k * dx;
  view.centreY = a.centreY + k * dy;
  view.width = w0 * pathCosh(r0) / pathCosh(kRho * s + r0);
  return view;
}

std::optional<MoviePath> MoviePath::make(std::vector<Keyframe> keyframes, std::string& error) {
  if (keyframes.size() < 2) {
    error = "a movie needs at least two keyframes";
    return std::nullopt;
  }
  if (error = firstMismatch(keyframes); !error.empty()) return std::nullopt;
  MoviePath path;
  path.pattern_ = findPattern(keyframes.front().pattern);
  if (!path.pattern_ || path.pattern_->caption != keyframes.front().pattern) {
    error = "keyframe 0 (" + keyframes.front().source + ") names no pattern: '" + keyframes.front().pattern + "'";
    return std::nullopt;
  }
  std::vector<double> brightness;
  for (std::size_t k = 0; k < keyframes.size(); ++k) {
    const Keyframe& key = keyframes[k];
    const std::string name = "keyframe " + std::to_string(k) + " (" + key.source + ")";
    ViewGeometry geometry;
    if (const Fault fault = viewGeometryOf(*path.pattern_, key.texts, geometry); fault != Fault::None) {
      error = name + ": " + path.pattern_->caption + " cannot paint this view (" + std::string(faultMessage(fault)) + ")";
      return std::nullopt;
    }
    if (geometry.columns == 0 || geometry.rows == 0) {
      error = name + ": the picture has no pixels";
      return std::nullopt;
    }
    const double zoom = val(key.texts.zoom);
    if (!(zoom > 0) || !std::isfinite(zoom)) {
      error = name + ": the zoom '" + key.texts.zoom + "' is not above 0; a movie path needs a positive zoom";
      return std::nullopt;
    }
    path.geometries_.push_back(geometry);
    brightness.push_back(val(key.texts.brightness));
  }
  for (std::size_t k = 0; k + 1 < keyframes.size(); ++k) {
    const Segment segment = makeSegment(worldOf(path.geometries_[k]), worldOf(path.geometries_[k + 1]),
                                        brightness[k], brightness[k + 1]);
    if (!finiteSegment(segment)) {
      error = "the way from keyframe " + std::to_string(k) + " (" + keyframes[k].source + ") to keyframe " +
              std::to_string(k + 1) + " (" + keyframes[k + 1].source +
              ") is beyond double precision (the views are too far apart for their widths)";
      return std::nullopt;
    }
    path.segments_.push_back(segment);
  }
  // A segment without length (the same view, or only the brightness changes)
  // still gets time: as much as a typical segment of this movie.
  double sum = 0;
  std::size_t counted = 0;
  for (const Segment& segment : path.segments_)
    if (segment.length != 0) {
      sum += segment.length;
      ++counted;
    }
  const double standIn = counted == 0 ? 1.0 : sum / static_cast<double>(counted);
  for (const Segment& segment : path.segments_) {
    path.shares_.push_back(segment.length != 0 ? segment.length : standIn);
    path.total_ += path.shares_.back();
  }
  path.keyframes_ = std::move(keyframes);
  return path;
}

FieldTexts MoviePath::frameTexts(std::size_t k, std::size_t m) const {
  if (k == 0) return keyframes_.front().texts;
  if (k + 1 >= m) return keyframes_.back().texts;
  const double tau = static_cast<double>(k) / static_cast<double>(m - 1);
  const double position = tau * total_;
  double start = 0;
  std::size_t i = 0;
  while (i + 1 < segments_.size() && !(position < start + shares_[i])) {
    start += shares_[i];
    ++i;
  }
  const double t = std::clamp((position - start) / shares_[i], 0.0, 1.0);
  if (t == 0) return keyframes_[i].texts;
  if (t == 1) return keyframes_[i + 1].texts;
  const Segment& segment = segments_[i];
  const double brightness = segment.brightnessFrom + t * (segment.brightnessTo - segment.brightnessFrom);
  return textsForWorld(geometries_[i], worldAt(segment, t), brightness);
}

}  // namespace plorvex::movie
