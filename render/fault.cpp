// SPDX-License-Identifier: GPL-3.0-or-later
#include "fault.h"

namespace plorvex {

const char* faultMessage(Fault fault) {
  switch (fault) {
    case Fault::None: return "No error";
    case Fault::DivisionByZero: return "Division by zero";
    case Fault::Overflow: return "Overflow";
    case Fault::InvalidOperation: return "Invalid procedure call or argument";
    case Fault::CounterStalled:
      return "The offsets are too large: adding 1 to them no longer changes them, "
             "so the picture could never advance";
    case Fault::PictureTooLarge: return "The picture is too large to be painted here";
  }
  return "Unknown error";
}

}  // namespace plorvex
