// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A zoom movie's path: keyframe views joined by the smooth zoom-and-pan path
// of van Wijk and Nuij (2003, rho = sqrt 2), travelled at a constant speed,
// so that the zoom feels the same everywhere. Every frame's texts depend on
// the keyframes, the number of frames and the frame's number alone: a frame
// rendered on any machine, in any order, is the same picture.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "headless.h"
#include "view_geometry.h"

namespace plorvex::movie {

// A keyframe: a pattern caption and five texts, and where it came from (for
// messages, e.g. "start.png" or "way.json, view 2").
struct Keyframe {
  std::string pattern;
  FieldTexts texts;
  std::string source;
};

// The frames of a movie of `seconds` at `fps` frames a second: round(T * F),
// at least 2; nothing when T or F is not a positive number or the count
// exceeds kMaxFrames.
inline constexpr std::size_t kMaxFrames = 100'000'000;
std::optional<std::size_t> frameCount(double seconds, double fps);

// One stretch of the path, from one keyframe's world view to the next's.
struct Segment {
  WorldView from, to;
  double brightnessFrom = 0, brightnessTo = 0;
  bool pureZoom = false;  // the centres (nearly) coincide: zoom about the centre
  double length = 0;      // S: the path's length in doublings, over rho
  double r0 = 0;          // the path's parameters when it pans
};

// The segment between two world views and their brightness values.
Segment makeSegment(const WorldView& from, const WorldView& to, double brightnessFrom,
                    double brightnessTo);
// The world view at t in [0, 1] of the segment.
WorldView worldAt(const Segment& segment, double t);

class MoviePath {
 public:
  // The path through the keyframes (at least two), or nothing with the reason
  // in error: keyframes of different patterns or size texts (the first
  // mismatch is named), a view the pattern cannot paint, a zoom not above 0,
  // a stretch beyond double precision.
  static std::optional<MoviePath> make(std::vector<Keyframe> keyframes, std::string& error);

  const PatternEntry& pattern() const { return *pattern_; }
  const std::vector<Keyframe>& keyframes() const { return keyframes_; }
  // Every frame's columns and rows (before density): the keyframes'.
  std::size_t columns() const { return geometries_.front().columns; }
  std::size_t rows() const { return geometries_.front().rows; }
  const std::vector<Segment>& segments() const { return segments_; }
  // Each segment's length in the timing: its S, or for S = 0 the mean S of
  // the segments that have one (1 when none has); frames are spread over the
  // sum of these.
  const std::vector<double>& shares() const { return shares_; }

  // The texts of frame k of m (0 <= k < m, m >= 2).
  FieldTexts frameTexts(std::size_t k, std::size_t m) const;

 private:
  const PatternEntry* pattern_ = nullptr;
  std::vector<Keyframe> keyframes_;
  std::vector<ViewGeometry> geometries_;
  std::vector<Segment> segments_;
  std::vector<double> shares_;
  double total_ = 0;
};

}  // namespace plorvex::movie
