// SPDX-License-Identifier: GPL-3.0-or-later
// Val, the number-to-text rule and the channel conversion against any bytes.
//
// The input is read as a field text; its 8-byte pieces are also taken as
// doubles (every bit pattern: subnormals, infinities, NaNs). Each property
// that fails prints what it saw and aborts, so libFuzzer keeps the input.

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "colour.h"
#include "fault.h"
#include "val.h"

namespace {

using plorvex::ArithmeticFault;
using plorvex::Fault;

[[noreturn]] void broken(const char* property, std::string_view text, double value = 0) {
  std::fprintf(stderr, "\n*** %s\n    text (%zu bytes): \"", property, text.size());
  for (unsigned char c : text) {
    if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
      std::fputc(c, stderr);
    else
      std::fprintf(stderr, "\\x%02X", c);
  }
  std::fprintf(stderr, "\"\n    value: %.17g (%a)\n", value, value);
  std::abort();
}

// What Val made of a text: a number or the overflow fault.
struct Reading {
  bool overflow = false;
  double value = 0;
};

bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool sameReading(const Reading& a, const Reading& b) {
  return a.overflow == b.overflow && (a.overflow || sameBits(a.value, b.value));
}

// Val with the guarantees every caller relies on: a finite double that is not
// negative zero, or ArithmeticFault(Overflow) and nothing else. A read that
// succeeds must not leave the fault flags raised either: an intake clears them
// before reading its fields and takes any flag afterwards for a fault.
Reading readText(std::string_view text) {
  std::feclearexcept(FE_ALL_EXCEPT);
  try {
    const double value = plorvex::val(text);
    if (!std::isfinite(value)) broken("val returned a value that is not finite", text, value);
    if (value == 0 && std::signbit(value)) broken("val returned negative zero", text, value);
    if (std::fetestexcept(FE_DIVBYZERO | FE_OVERFLOW | FE_INVALID))
      broken("val succeeded but left a fault flag raised", text, value);
    return {false, value};
  } catch (const ArithmeticFault& fault) {
    if (fault.fault() != Fault::Overflow) broken("val raised a fault other than overflow", text);
    return {true, 0};
  }
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
int digitValue(char c) {
  if (isDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// An independent reading of "&H..." / "&O..." digits (blanks already removed):
// the leading 16 hexadecimal or 21 octal digits in an integer, every digit
// after them folded into a sticky bit, then scaled by a power of two. The
// integer has at least 61 significant bits, so the conversion to double rounds
// exactly as the full number would.
Reading radixReference(std::string_view digits, int radix) {
  const int bitsPerDigit = radix == 16 ? 4 : 3;
  const std::size_t leading = radix == 16 ? 16 : 21;
  std::size_t first = 0;
  while (first < digits.size() && digits[first] == '0') ++first;
  digits.remove_prefix(first);
  if (digits.empty()) return {false, 0};
  std::uint64_t top = 0;
  bool sticky = false;
  for (std::size_t k = 0; k < digits.size(); ++k) {
    if (k < leading)
      top = top * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(digitValue(digits[k]));
    else if (digits[k] != '0')
      sticky = true;
  }
  if (sticky) top |= 1;
  const long dropped = digits.size() > leading ? static_cast<long>(digits.size() - leading) : 0;
  if (dropped > 4000) return {true, 0};
  const double value = std::ldexp(static_cast<double>(top), static_cast<int>(dropped) * bitsPerDigit);
  if (std::isinf(value)) return {true, 0};
  return {false, value};
}

// An independent reading of the whole text: blanks removed, the longest
// leading number cut out by hand and handed to the C library's strtod, or to
// radixReference for "&H"/"&O". strtod reads 'E' exponents only, so a 'D'
// becomes an 'E'.
Reading reference(std::string_view text) {
  std::string s;
  for (char c : text)
    if (!isBlank(c)) s += c;
  std::size_t p = 0;
  if (p < s.size() && s[p] == '&') {
    ++p;
    const char radix = p < s.size() ? s[p] : '\0';
    int base = 0;
    if (radix == 'H' || radix == 'h') base = 16;
    if (radix == 'O' || radix == 'o') base = 8;
    if (base == 0) return {false, 0};
    const std::size_t start = ++p;
    while (p < s.size() && digitValue(s[p]) < base) ++p;
    return radixReference(std::string_view(s).substr(start, p - start), base);
  }
  std::string number;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) number += s[p++];
  std::size_t mantissaDigits = 0;
  while (p < s.size() && isDigit(s[p])) number += s[p++], ++mantissaDigits;
  if (p < s.size() && s[p] == '.') {
    number += s[p++];
    while (p < s.size() && isDigit(s[p])) number += s[p++], ++mantissaDigits;
  }
  if (mantissaDigits == 0) return {false, 0};
  if (p < s.size() && (s[p] == 'E' || s[p] == 'e' || s[p] == 'D' || s[p] == 'd')) {
    std::size_t q = p + 1;
    std::string exponent = "E";
    if (q < s.size() && (s[q] == '+' || s[q] == '-')) exponent += s[q++];
    const std::size_t digitsStart = q;
    while (q < s.size() && isDigit(s[q])) exponent += s[q++];
    if (q > digitsStart) number += exponent;
  }
  const double value = std::strtod(number.c_str(), nullptr);
  if (std::isinf(value)) return {true, 0};
  return {false, value == 0 ? 0.0 : value};
}

void checkVal(std::string_view text) {
  const Reading got = readText(text);
  const Reading expected = reference(text);
  if (!sameReading(got, expected))
    broken(expected.overflow ? "val read a number beyond double precision"
                             : (got.overflow ? "val overflowed on a readable number"
                                             : "val read another number than the reference"),
           text, got.value);
  // A decimal comma (or anything else that cannot continue a number) ends it.
  std::string withComma(text);
  withComma += ",5";
  if (!sameReading(readText(withComma), got)) broken("a trailing \",5\" changed the number", text);
}

// The general form: optional '-', then either a plain decimal with the point
// only when a fraction follows, or one digit, an optional fraction and
// "E+dd"/"E-dd"; at most 15 significant digits and no trailing zeros in a
// fraction.
void checkShape(const std::string& t, double v) {
  std::size_t p = 0;
  if (t.empty()) broken("numberText wrote nothing", t, v);
  if (t[0] == '-') {
    if (!(v < 0)) broken("numberText wrote a '-' for a value that is not negative", t, v);
    ++p;
  } else if (v < 0) {
    broken("numberText dropped the sign", t, v);
  }
  const std::size_t wholeStart = p;
  while (p < t.size() && isDigit(t[p])) ++p;
  const std::size_t wholeDigits = p - wholeStart;
  std::size_t fractionDigits = 0;
  if (wholeDigits == 0) broken("numberText wrote no digit before the point", t, v);
  if (wholeDigits > 1 && t[wholeStart] == '0') broken("numberText wrote a leading zero", t, v);
  std::string significant = t.substr(wholeStart, wholeDigits);
  if (p < t.size() && t[p] == '.') {
    ++p;
    const std::size_t fractionStart = p;
    while (p < t.size() && isDigit(t[p])) ++p;
    fractionDigits = p - fractionStart;
    if (fractionDigits == 0) broken("numberText wrote a trailing point", t, v);
    if (t[p - 1] == '0') broken("numberText wrote a trailing zero", t, v);
    significant += t.substr(fractionStart, fractionDigits);
  }
  const bool scientific = p < t.size();
  if (scientific) {
    if (wholeDigits != 1 || t[wholeStart] == '0')
      broken("numberText wrote a mantissa that is not one digit from 1 to 9", t, v);
    if (t[p] != 'E' || p + 1 >= t.size() || (t[p + 1] != '+' && t[p + 1] != '-'))
      broken("numberText wrote something else than E and a sign after the mantissa", t, v);
    const std::size_t exponentStart = p + 2;
    p = exponentStart;
    while (p < t.size() && isDigit(t[p])) ++p;
    if (p != t.size() || p - exponentStart < 2 || p - exponentStart > 3)
      broken("numberText wrote an exponent that is not two or three digits", t, v);
  }
  const std::size_t firstNonZero = significant.find_first_not_of('0');
  if (firstNonZero != std::string::npos && significant.size() - firstNonZero > 15)
    broken("numberText wrote more than 15 significant digits", t, v);
  if (!scientific && wholeDigits > 15) broken("numberText wrote 16 or more whole digits", t, v);
}

// The texts of the values above the largest 15-digit number below the largest
// double: their 15-digit rounding is beyond double precision.
bool roundsBeyondDoubles(const std::string& t) {
  return t == "1.79769313486232E+308" || t == "-1.79769313486232E+308";
}

void checkRoundTrip(double v) {
  if (!std::isfinite(v)) return;
  const std::string t = plorvex::numberText(v);
  if (v == 0) {
    if (t != "0") broken("zero is not written \"0\"", t, v);
    return;
  }
  checkShape(t, v);
  const Reading back = readText(t);
  if (back.overflow) {
    if (!roundsBeyondDoubles(t)) broken("a written number overflowed when read back", t, v);
    return;
  }
  const double w = back.value;
  // Within 15-digit rounding of v (plus the final rounding to double).
  const double slack = std::fabs(v) * 5.2e-15 + std::numeric_limits<double>::denorm_min();
  if (!(std::fabs(w - v) <= slack)) broken("the number read back is not within 15 digits", t, v);
  // Whole numbers of up to 15 digits (sizes, offsets stepped by 250) come back as they are.
  if (std::trunc(v) == v && std::fabs(v) < 1e15 && !sameBits(w, v))
    broken("a whole number below 1E+15 did not come back unchanged", t, v);
  // The rounded value is a fixed point: it writes the same text and reads back exactly.
  if (plorvex::numberText(w) != t) broken("the number read back writes another text", t, w);
  const Reading again = readText(plorvex::numberText(w));
  if (again.overflow || !sameBits(again.value, w)) broken("a second round trip changed the number", t, w);
  if (!sameBits(plorvex::textRoundTrip(v), w)) broken("textRoundTrip differs from val(numberText)", t, v);
  // Scientific form exactly from 1E+15 on and below 1E-4.
  const bool scientific = t.find('E') != std::string::npos;
  const double magnitude = std::fabs(w);
  if (scientific != (magnitude >= 1e15 || magnitude < 1e-4))
    broken("numberText chose the wrong form for the magnitude", t, w);
}

// Channel conversion: halves to even, 16-bit range, NaN refused.
void checkCint(double v) {
  int got = 0;
  const bool converted = plorvex::cint(v, got);
  const bool inRange = v >= -32768.5 && v < 32767.5;  // 32767.5 rounds to 32768, -32768.5 to -32768
  if (converted != inRange) broken("cint converted outside, or refused inside, the 16-bit range", "", v);
  if (!converted) return;
  const double error = std::fabs(got - v);
  if (error > 0.5) broken("cint did not round to a nearest integer", "", v);
  if (error == 0.5 && got % 2 != 0) broken("cint rounded a half away from the even neighbour", "", v);
}

void checkColour(double red, double green, double blue) {
  plorvex::Colour colour = 0;
  const bool converted = plorvex::toColour({red, green, blue}, colour);
  const bool anyNaN = std::isnan(red) || std::isnan(green) || std::isnan(blue);
  if (converted == anyNaN) broken("toColour accepted a NaN or refused a number", "", anyNaN ? 0 : red);
  if (!converted) return;
  if (colour > 0xFFFFFF) broken("toColour packed more than 24 bits", "", red);
  const double channels[3] = {red, green, blue};
  const int packed[3] = {plorvex::redOf(colour), plorvex::greenOf(colour), plorvex::blueOf(colour)};
  for (int k = 0; k < 3; ++k) {
    const double c = channels[k];
    const double clampedValue = c < 0 ? 0 : (c > 255 ? 255 : c);
    if (std::fabs(packed[k] - clampedValue) > 0.5) broken("a channel was not clamped and rounded", "", c);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  checkVal(text);
  const Reading read = readText(text);
  if (!read.overflow) checkRoundTrip(read.value);

  double pieces[4] = {};
  const std::size_t count = std::min<std::size_t>(size / sizeof(double), 4);
  for (std::size_t k = 0; k < count; ++k) {
    std::memcpy(&pieces[k], data + k * sizeof(double), sizeof(double));
    checkRoundTrip(pieces[k]);
    checkRoundTrip(-pieces[k]);
    checkCint(pieces[k]);
  }
  if (!read.overflow) checkCint(read.value);
  if (count >= 3) checkColour(pieces[0], pieces[1], pieces[2]);
  return 0;
}
