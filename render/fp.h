// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Floating-point exception flags as the detector of arithmetic faults, and the
// compiler barriers that keep the flags tied to the right computation.

#include <cfenv>
#include <cmath>

#include "fault.h"

namespace plorvex {

inline constexpr int kFaultFlags = FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID;

inline void clearFaultFlags() { std::feclearexcept(kFaultFlags); }

// The fault named by the flags raised since the last clear. A division by zero
// usually comes first in a chain (its infinity then feeds the rest), so it wins.
inline Fault raisedFault() {
  const int raised = std::fetestexcept(kFaultFlags);
  if (raised == 0) return Fault::None;
  if (raised & FE_DIVBYZERO) return Fault::DivisionByZero;
  if (raised & FE_OVERFLOW) return Fault::Overflow;
  return Fault::InvalidOperation;
}

// Hides a value's origin from the optimiser, so nothing computed from it can be
// moved above the flag clear that precedes this call (the memory clobber keeps
// the barrier itself in order with the library calls around it).
inline void launder(double& value) { asm volatile("" : "+m"(value) : : "memory"); }

// Forces a value to be computed here even though nothing uses it, so that the
// faults of its computation are raised (an unused quotient still divides).
template <class T>
inline void keepEvaluated(const T& value) {
  asm volatile("" : : "m"(value) : "memory");
}

}  // namespace plorvex
