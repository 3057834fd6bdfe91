// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two conversions between field texts and numbers.

#include <string>
#include <string_view>

namespace plorvex {

// The leading number of a text: blanks anywhere are skipped; then an optional
// sign, digits with at most one full stop, and an optional exponent (E or D,
// optional sign, digits); or "&H"/"&O" and a hexadecimal/octal integer. Reading
// stops at the first character that cannot continue the number. A text that
// does not begin with a number is 0. Throws ArithmeticFault(Overflow) for a
// number beyond double precision. Independent of the locale.
double val(std::string_view text);

// The general decimal form of a double: at most 15 significant digits, no
// trailing zeros, scientific ("6.103515625E-05", "1E+15") below 1E-4 and from
// 1E+15 on. Always the full stop.
std::string numberText(double value);

// The value a number takes after being written as text and read back.
double textRoundTrip(double value);

}  // namespace plorvex
