// Exact parsing and plain printing of the Decimal number.
#include <cassert>
#include <cstring>

#include "decimal.h"
#include "pow10.h"

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

namespace {

// "00" to "99": the digits of a number are written two at a time.
constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes the decimal digits of v backwards, ending before p: exactly `count`
// of them (leading zeros included) when count > 0, otherwise as many as v
// has (one for zero). Returns the first digit written.
char* write_digits(char* p, uint64_t v, int count) {
  char* const stop = p - count;
  while (v >= 100 || (count > 0 && p - 2 >= stop)) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * (v % 100), 2);
    v /= 100;
  }
  if (count > 0) {
    if (p > stop) *--p = static_cast<char>('0' + v);
  } else if (v >= 10) {
    p -= 2;
    std::memcpy(p, kPairs + 2 * v, 2);
  } else {
    *--p = static_cast<char>('0' + v);
  }
  return p;
}

}  // namespace

size_t Decimal::print(char* out) const {
  // The coefficient's digits, last first, with zeros in front up to at least
  // one integer digit; then they are copied out with the sign and the point.
  char buf[kMaxPrinted];
  char* const end = buf + kMaxPrinted;
  char* p = end;
  u128 c = coefficient();
  while (hi64(c) != 0) {
    // 19 digits at a time
    uint64_t digits;
    c = div_pow10(c, 19, digits);
    p = write_digits(p, digits, 19);
  }
  if (lo64(c) != 0 || p == end) p = write_digits(p, lo64(c), 0);
  const uint32_t sc = scale();
  while (static_cast<size_t>(end - p) <= sc) *--p = '0';
  assert(p >= buf);
  const size_t integer_digits = static_cast<size_t>(end - p) - sc;
  char* o = out;
  if (negative()) *o++ = '-';
  std::memcpy(o, p, integer_digits);
  o += integer_digits;
  if (sc > 0) {
    *o++ = '.';
    std::memcpy(o, p + integer_digits, sc);
    o += sc;
  }
  return static_cast<size_t>(o - out);
}

std::string Decimal::to_string() const {
  char buf[kMaxPrinted];
  return std::string(buf, print(buf));
}

}  // namespace corbyl
