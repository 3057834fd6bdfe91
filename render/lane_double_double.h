// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// double_double.h's exact steps on vectors of four doubles (GCC's vector
// extensions), for the maths that takes four arguments at a time: the same
// operations in the same order in every lane, so that a lane has the bits the
// scalar step gives. The helpers are always inlined, so no vector crosses a
// call: GCC's note that passing them would differ with AVX does not apply.

#include <cstdint>

#include "double_double.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
namespace plorvex::lane_steps {

using Lanes = double __attribute__((vector_size(32)));
using LaneBits = std::int64_t __attribute__((vector_size(32)));
using LaneWords = std::uint64_t __attribute__((vector_size(32)));

struct LanePair {
  Lanes hi, lo;
};

[[gnu::always_inline]] inline Lanes splat(double x) { return Lanes{} + x; }

// Four doubles read or written at any address as one vector: one load or
// store, where a memcpy into a local went through the stack in halves.
using UnalignedLanes = double __attribute__((vector_size(32), aligned(8), may_alias));
[[gnu::always_inline]] inline Lanes loadLanes(const double* from) {
  return *reinterpret_cast<const UnalignedLanes*>(from);
}
// Arguments as the callers leave them: code built for SSE2 stores four
// doubles as two halves, and one load across both waits for the stores to
// retire (a failed store forwarding costs more than the second load).
using UnalignedHalf = double __attribute__((vector_size(16), aligned(8), may_alias));
[[gnu::always_inline]] inline Lanes loadArguments(const double* from) {
  const UnalignedHalf low = *reinterpret_cast<const UnalignedHalf*>(from);
  const UnalignedHalf high = *reinterpret_cast<const UnalignedHalf*>(from + 2);
  return __builtin_shufflevector(low, high, 0, 1, 2, 3);
}
[[gnu::always_inline]] inline void storeLanes(double* to, Lanes value) {
  *reinterpret_cast<UnalignedLanes*>(to) = value;
}

// True when every lane of a comparison's mask is set.
[[gnu::always_inline]] inline bool allLanes(LaneBits mask) {
  const LaneBits halves = mask & __builtin_shufflevector(mask, mask, 2, 3, 0, 1);
  return (halves[0] & halves[1]) != 0;
}

[[gnu::always_inline]] inline LanePair laneFastTwoSum(Lanes a, Lanes b) {
  const Lanes sum = a + b;
  return {sum, b - (sum - a)};
}

// twoProduct in the lanes; Products::Fused only in functions built for FMA.
template <Products kProducts>
[[gnu::always_inline]] inline LanePair laneTwoProduct(Lanes a, Lanes b) {
  const Lanes product = a * b;
  if constexpr (kProducts == Products::Fused) {
    // Lane by lane in the source; compiled for AVX2 and FMA, one instruction.
    Lanes error;
    for (int lane = 0; lane < 4; ++lane) error[lane] = __builtin_fma(a[lane], b[lane], -product[lane]);
    return {product, error};
  }
  const Lanes splitter = splat(134217729.0);
  const Lanes as = splitter * a, bs = splitter * b;
  const Lanes aHigh = as - (as - a), bHigh = bs - (bs - b);
  const Lanes aLow = a - aHigh, bLow = b - bHigh;
  return {product, ((aHigh * bHigh - product) + aHigh * bLow + aLow * bHigh) + aLow * bLow};
}

}  // namespace plorvex::lane_steps
#pragma GCC diagnostic pop
