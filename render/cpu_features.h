// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The instructions the maths may choose at run time. Each is asked once, at
// the first call, not at start-up: other files' static initialisers (the
// sampling's tables) call the maths before a start-up check would have run.

namespace plorvex {

// Fused multiply-adds, for the exact products (the same pair as Dekker's).
inline bool cpuHasFma() {
  static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("fma"));
  return has;
}

// AVX2 and FMA come together in every CPU that has AVX2 in practice; the rare
// one without FMA takes the plain four-lane way, which gives the same bits.
inline bool cpuHasAvx2AndFma() {
  static const bool has =
      (__builtin_cpu_init(), __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma"));
  return has;
}

}  // namespace plorvex
