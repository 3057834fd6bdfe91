// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The faults that can stop a render, and the messages the user sees for them.

#include <stdexcept>
#include <string>

namespace plorvex {

enum class Fault {
  None,
  DivisionByZero,
  Overflow,
  InvalidOperation,
  CounterStalled,   // offsets so large that adding 1 leaves a loop counter unchanged
  PictureTooLarge,  // more columns or rows than the place it is painted can hold
};

// The message a user sees, e.g. "Division by zero".
const char* faultMessage(Fault fault);

// Raised where a fault cannot be returned, e.g. by Val inside a pattern's intake.
class ArithmeticFault : public std::runtime_error {
 public:
  explicit ArithmeticFault(Fault fault) : std::runtime_error(faultMessage(fault)), fault_(fault) {}
  Fault fault() const { return fault_; }

 private:
  Fault fault_;
};

}  // namespace plorvex
