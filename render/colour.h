// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Channel conversion and colour packing.

#include <cmath>
#include <cstdint>

namespace plorvex {

// Red in the lowest byte, green in the next, blue in the third.
using Colour = std::uint32_t;

constexpr Colour rgb(int red, int green, int blue) {
  return static_cast<Colour>(red) + 256u * static_cast<Colour>(green) +
         65536u * static_cast<Colour>(blue);
}
constexpr int redOf(Colour c) { return static_cast<int>(c & 0xFF); }
constexpr int greenOf(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int blueOf(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

// Round to the nearest integer, halves to the even neighbour, into a 16-bit
// signed range. Returns false (an overflow) for values outside -32768..32767.
inline bool cint(double value, int& result) {
  const double rounded = std::nearbyint(value);  // default mode: half to even
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return false;
  result = static_cast<int>(rounded);
  return true;
}

// A sample's three channels before conversion; ChannelsOf<Lanes> holds four
// samples' (render/lanes.h).
template <class R>
struct ChannelsOf {
  R red{};
  R green{};
  R blue{};
};
using Channels = ChannelsOf<double>;

// The clamp to 0..255: each channel tested against 0, then against 255.
inline Channels clamped(Channels c) {
  if (c.red < 0) c.red = 0;
  if (c.green < 0) c.green = 0;
  if (c.blue < 0) c.blue = 0;
  if (c.red > 255) c.red = 255;
  if (c.blue > 255) c.blue = 255;
  if (c.green > 255) c.green = 255;
  return c;
}

// Clamps, converts and packs; false if a channel cannot be converted.
inline bool toColour(const Channels& raw, Colour& colour) {
  const Channels c = clamped(raw);
  int red, green, blue;
  if (!cint(c.red, red) || !cint(c.green, green) || !cint(c.blue, blue)) return false;
  colour = rgb(red, green, blue);
  return true;
}

}  // namespace plorvex
