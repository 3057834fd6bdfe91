// SPDX-License-Identifier: GPL-3.0-or-later
#include "val.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "fault.h"

namespace plorvex {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isHexDigit(char c) {
  return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isOctalDigit(char c) { return c >= '0' && c <= '7'; }
char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Reads characters of a text with its blanks left out.
class BlankSkippingCursor {
 public:
  explicit BlankSkippingCursor(std::string_view text) : text_(text) { skipBlanks(); }
  bool atEnd() const { return pos_ >= text_.size(); }
  char peek() const { return atEnd() ? '\0' : text_[pos_]; }
  void advance() {
    ++pos_;
    skipBlanks();
  }

 private:
  void skipBlanks() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
  }
  std::string_view text_;
  std::size_t pos_ = 0;
};

// strtod in the "C" locale: the full stop whatever the user's settings, and
// correct rounding of every decimal and hexadecimal text.
double parseCanonical(const std::string& canonical) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  const double value = strtod_l(canonical.c_str(), nullptr, cLocale);
  if (std::isinf(value)) throw ArithmeticFault(Fault::Overflow);
  return value;
}

std::string takeDigits(BlankSkippingCursor& in, bool (*accepts)(char)) {
  std::string digits;
  while (accepts(in.peek())) {
    digits += in.peek();
    in.advance();
  }
  return digits;
}

// Octal digits as hexadecimal ones, three bits per digit regrouped into four.
std::string octalToHex(const std::string& octal) {
  std::string bits;
  for (char digit : octal) {
    const int d = digit - '0';
    bits += (d & 4) ? '1' : '0';
    bits += (d & 2) ? '1' : '0';
    bits += (d & 1) ? '1' : '0';
  }
  while (bits.size() % 4 != 0) bits.insert(bits.begin(), '0');
  std::string hex;
  for (std::size_t k = 0; k < bits.size(); k += 4) {
    const int nibble = std::stoi(bits.substr(k, 4), nullptr, 2);
    hex += "0123456789ABCDEF"[nibble];
  }
  return hex;
}

double radixInteger(BlankSkippingCursor& in) {
  const char radix = upper(in.peek());
  if (radix != 'H' && radix != 'O') return 0;
  in.advance();
  const std::string digits = takeDigits(in, radix == 'H' ? isHexDigit : isOctalDigit);
  if (digits.empty()) return 0;
  return parseCanonical("0x" + (radix == 'H' ? digits : octalToHex(digits)));
}

double decimalNumber(BlankSkippingCursor& in) {
  std::string canonical;
  if (in.peek() == '+' || in.peek() == '-') {
    if (in.peek() == '-') canonical += '-';
    in.advance();
  }
  const std::string whole = takeDigits(in, isDigit);
  std::string fraction;
  if (in.peek() == '.') {
    in.advance();
    fraction = takeDigits(in, isDigit);
  }
  if (whole.empty() && fraction.empty()) return 0;
  canonical += (whole.empty() ? "0" : whole) + "." + (fraction.empty() ? "0" : fraction);

  const char letter = upper(in.peek());
  if (letter == 'E' || letter == 'D') {
    in.advance();
    std::string exponent;
    if (in.peek() == '+' || in.peek() == '-') {
      exponent += in.peek();
      in.advance();
    }
    const std::string exponentDigits = takeDigits(in, isDigit);
    if (!exponentDigits.empty()) canonical += "E" + exponent + exponentDigits;
  }
  const double value = parseCanonical(canonical);
  return value == 0 ? 0.0 : value;  // no negative zero: "-0" reads as 0
}

}  // namespace

double val(std::string_view text) {
  BlankSkippingCursor in(text);
  if (in.peek() == '&') {
    in.advance();
    return radixInteger(in);
  }
  return decimalNumber(in);
}

std::string numberText(double value) {
  if (value == 0) return "0";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) c = upper(c);
  return text;
}

double textRoundTrip(double value) { return val(numberText(value)); }

}  // namespace plorvex
