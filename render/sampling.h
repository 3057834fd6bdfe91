// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Density and smoothing: where a picture's samples lie between the plain
// sweep's counters, and how the samples of one output pixel are averaged.
//
// Density D puts D x D output pixels where the plain picture has one; smoothing
// S makes each output pixel the mean of S x S samples. With G = D * S, output
// column k * D + m samples i = i_k + ((m * S + q - (S - 1) / 2) / G), q = 0..S-1,
// and rows likewise. The samples of one output pixel are taken q outer, t inner.

#include <cstddef>
#include <vector>

#include "colour.h"

namespace plorvex {

inline constexpr int kMaxDensity = 16;
inline constexpr int kMaxSmoothing = 8;

struct Sampling {
  int density = 1;
  int smooth = 1;

  bool plain() const { return density == 1 && smooth == 1; }
  bool valid() const {
    return density >= 1 && density <= kMaxDensity && smooth >= 1 && smooth <= kMaxSmoothing;
  }
  std::size_t samplesPerPixel() const { return static_cast<std::size_t>(smooth) * smooth; }
  friend bool operator==(const Sampling&, const Sampling&) = default;
};

// The G offsets from a counter to its samples, in the order s = m * S + q:
// (s - (S - 1) / 2) / G, each operation in double precision as written.
std::vector<double> sampleOffsets(const Sampling& sampling);

// The mean of an output pixel's samples, channel by channel in linear light:
// each channel decoded from 0..255, summed in sample order from 0, divided by
// the number of samples, encoded again and rounded half to even.
class LinearLightMean {
 public:
  void add(Colour colour);
  Colour mean(std::size_t samples) const;

 private:
  double red_ = 0;
  double green_ = 0;
  double blue_ = 0;
};

// A channel's linear-light value: v / 12.92 up to v = 0.04045, else
// ((v + 0.055) / 1.055) ^ 2.4, with v = channel / 255.
double linearLight(int channel);

// The channel 0..255 of a linear-light value.
int encodedChannel(double linear);

}  // namespace plorvex
