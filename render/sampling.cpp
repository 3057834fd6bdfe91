// SPDX-License-Identifier: GPL-3.0-or-later
#include "sampling.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "correct_math.h"

namespace plorvex {
namespace {

double decoded(int channel) {
  const double v = channel / 255.0;
  return v <= 0.04045 ? v / 12.92 : power((v + 0.055) / 1.055, 2.4);
}

// The decoding of every channel value, made once: a lookup gives the very
// double the formula does.
const std::array<double, 256> kDecoded = [] {
  std::array<double, 256> values{};
  for (int c = 0; c < 256; ++c) values[static_cast<std::size_t>(c)] = decoded(c);
  return values;
}();

}  // namespace

std::vector<double> sampleOffsets(const Sampling& sampling) {
  const double grid = static_cast<double>(sampling.density) * sampling.smooth;
  const double centre = (sampling.smooth - 1) / 2.0;
  std::vector<double> offsets;
  for (int s = 0; s < sampling.density * sampling.smooth; ++s)
    offsets.push_back((s - centre) / grid);
  return offsets;
}

double linearLight(int channel) { return kDecoded[static_cast<std::size_t>(channel)]; }

int encodedChannel(double linear) {
  const double encoded =
      linear <= 0.0031308 ? 12.92 * linear : 1.055 * power(linear, 1 / 2.4) - 0.055;
  const double channel = std::nearbyint(encoded * 255);
  return static_cast<int>(std::clamp(channel, 0.0, 255.0));
}

void LinearLightMean::add(Colour colour) {
  red_ += kDecoded[static_cast<std::size_t>(redOf(colour))];
  green_ += kDecoded[static_cast<std::size_t>(greenOf(colour))];
  blue_ += kDecoded[static_cast<std::size_t>(blueOf(colour))];
}

Colour LinearLightMean::mean(std::size_t samples) const {
  const double count = static_cast<double>(samples);
  return rgb(encodedChannel(red_ / count), encodedChannel(green_ / count),
             encodedChannel(blue_ / count));
}

}  // namespace plorvex
