// Exact parsing and plain printing of the Decimal number.
#include <cassert>
#include <cstring>

#include "decimal.h"

namespace corbyl {

std::string_view parse_message(ParseError e) {
  switch (e) {
    case ParseError::None: return "";
    case ParseError::Empty: return "Invalid decimal: empty";
    case ParseError::NoDigits: return "Invalid decimal: no digits found";
    case ParseError::LeadWithNumber: return "Invalid decimal: must start lead with a number";
    case ParseError::TwoPoints: return "Invalid decimal: two decimal points";
    case ParseError::UnknownCharacter: return "Invalid decimal: unknown character";
    case ParseError::Overflow: return "Invalid decimal: overflow from too many digits";
    case ParseError::HighPrecision: return "Number has a high precision that can not be represented.";
  }
  return "";
}

Decimal::Parsed Decimal::parse_general(std::string_view text) {
  const char* p = text.data();
  const char* const end = p + text.size();
  if (p == end) return {Decimal(), ParseError::Empty};

  bool negative = false;
  if (*p == '-' || *p == '+') {
    negative = *p == '-';
    ++p;
  }
  // The coefficient stays in 64 bits while it can (at most 19 digits), then
  // in 128; the check against 2^96 - 1 comes after each digit once it grows.
  uint64_t small = 0;
  u128 big = 0;
  int digits = 0;      // significant accumulation steps taken
  bool any_digit = false;
  bool point = false;
  uint32_t scale = 0;

  for (; p != end; ++p) {
    const char c = *p;
    if (point && scale == kMaxScale) return {Decimal(), ParseError::HighPrecision};
    if (c >= '0' && c <= '9') {
      any_digit = true;
      const unsigned d = static_cast<unsigned>(c - '0');
      if (digits < 19) {
        small = small * 10 + d;
        if (small != 0) ++digits;
        big = small;
      } else {
        big = big * 10 + d;
        if (big > kMaxCoefficient) {
          return {Decimal(), point ? ParseError::HighPrecision : ParseError::Overflow};
        }
      }
      if (point) ++scale;
    } else if (c == '.') {
      if (point) return {Decimal(), ParseError::TwoPoints};
      point = true;
    } else if (c == '_') {
      if (!any_digit) return {Decimal(), ParseError::LeadWithNumber};
    } else {
      return {Decimal(), ParseError::UnknownCharacter};
    }
  }
  if (!any_digit) return {Decimal(), ParseError::NoDigits};
  return {from_parts(big, scale, negative), ParseError::None};
}

size_t Decimal::print(char* out) const {
  if (hi64(coefficient()) == 0) {
    // The usual number: written from its last digit backwards, the point
    // set in passing and zeros added up to one integer digit.
    char buf[kMaxPrinted];
    char* const end = buf + kMaxPrinted;
    char* p = end;
    uint64_t c = lo64(coefficient());
    for (uint32_t k = scale(); k > 0; --k) {
      *--p = static_cast<char>('0' + c % 10);
      c /= 10;
    }
    if (scale() > 0) *--p = '.';
    do {
      *--p = static_cast<char>('0' + c % 10);
      c /= 10;
    } while (c != 0);
    if (negative()) *--p = '-';
    const size_t n = static_cast<size_t>(end - p);
    std::memcpy(out, p, n);
    return n;
  }
  // Digits of the coefficient, least significant first.
  char digits[40];
  int n = 0;
  u128 c = coefficient();
  while (c > UINT64_MAX) {
    // peel off 19 digits at a time with one 128-bit division
    constexpr uint64_t k19 = 10000000000000000000ull;
    u128 q = c / k19;
    uint64_t rem = static_cast<uint64_t>(c - q * k19);
    for (int i = 0; i < 19; ++i) {
      digits[n++] = static_cast<char>('0' + rem % 10);
      rem /= 10;
    }
    c = q;
  }
  uint64_t s = static_cast<uint64_t>(c);
  while (s != 0) {
    digits[n++] = static_cast<char>('0' + s % 10);
    s /= 10;
  }
  const int sc = static_cast<int>(scale());
  while (n <= sc) digits[n++] = '0';  // at least one integer digit

  char* o = out;
  if (negative()) *o++ = '-';
  for (int i = n - 1; i >= sc; --i) *o++ = digits[i];
  if (sc > 0) {
    *o++ = '.';
    for (int i = sc - 1; i >= 0; --i) *o++ = digits[i];
  }
  assert(static_cast<size_t>(o - out) <= kMaxPrinted);
  return static_cast<size_t>(o - out);
}

std::string Decimal::to_string() const {
  char buf[kMaxPrinted];
  return std::string(buf, print(buf));
}

}  // namespace corbyl
