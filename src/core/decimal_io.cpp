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
  // Written from the last digit backwards: the point once the scale's digits
  // are out, then zeros up to at least one integer digit, then the sign.
  char buf[kMaxPrinted];
  char* const end = buf + kMaxPrinted;
  char* p = end;
  const uint32_t sc = scale();
  uint32_t written = 0;
  auto digit = [&](uint64_t d) {
    if (written == sc && sc > 0) *--p = '.';
    *--p = static_cast<char>('0' + d);
    ++written;
  };
  u128 c = coefficient();
  while (hi64(c) != 0) {
    // peel off 19 digits at a time with one 128-bit division
    constexpr uint64_t k19 = 10000000000000000000ull;
    const u128 q = c / k19;
    uint64_t rem = lo64(c - q * k19);
    for (int i = 0; i < 19; ++i) {
      digit(rem % 10);
      rem /= 10;
    }
    c = q;
  }
  for (uint64_t s = lo64(c); s != 0; s /= 10) digit(s % 10);
  while (written <= sc) digit(0);
  if (negative()) *--p = '-';
  assert(p >= buf);
  const size_t n = static_cast<size_t>(end - p);
  std::memcpy(out, p, n);
  return n;
}

std::string Decimal::to_string() const {
  char buf[kMaxPrinted];
  return std::string(buf, print(buf));
}

}  // namespace corbyl
