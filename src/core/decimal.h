// An exact decimal number: a sign, a 96-bit unsigned coefficient and a
// decimal scale of 0 to 28, so that value = (-1)^sign * coefficient / 10^scale.
//
// The representation is not unique and the scale is observable: 1.5 and 1.50
// compare equal but print differently. Every operation states the scale of
// its result; those rules are part of what callers see.
//
// Parsing reports failures as values (ParseError). Arithmetic that leaves the
// range of the type throws ArithmeticAbort; the module boundary turns that
// into the panic exception, never the core.
#pragma once

#include <array>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>

#include "compiler.h"
#include "fast_paths.h"
#include "place.h"
#include "pow10.h"

namespace corbyl {

// An arithmetic failure that ends the whole call: overflow of the Decimal
// range, division by zero, or a scale above 28 where a quantum is built.
class ArithmeticAbort : public std::exception {
 public:
  explicit ArithmeticAbort(std::string message,
                           SourcePlace where = SourcePlace::here())
      : message_(std::move(message)), where_(where) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }
  const SourcePlace& where() const noexcept { return where_; }

  // Where in the call's records the failing arithmetic was, filled in by
  // the operation as the abort passes (the first place set is kept).
  Place place;

 private:
  std::string message_;
  SourcePlace where_;
};

enum class ParseError : uint8_t {
  None = 0,
  Empty,
  NoDigits,
  LeadWithNumber,
  TwoPoints,
  UnknownCharacter,
  Overflow,
  HighPrecision,
};

// The message of a parse error, exactly as callers see it.
std::string_view parse_message(ParseError e);

class Decimal {
 public:
  static constexpr uint32_t kMaxScale = 28;
  static constexpr u128 kMaxCoefficient = (static_cast<u128>(1) << 96) - 1;
  // sign, scale 28, 29 digits, a point and a leading "0." at most
  static constexpr size_t kMaxPrinted = 32;

  // Zero with scale 0.
  constexpr Decimal() = default;

  // The number with the given parts; the coefficient must fit in 96 bits and
  // the scale be at most 28. A zero coefficient drops the sign.
  static Decimal from_parts(u128 coefficient, uint32_t scale, bool negative) {
    assert(coefficient <= kMaxCoefficient);
    assert(scale <= kMaxScale);
    return Decimal(hi64(coefficient) << 32 | (scale << 16) | ((negative && coefficient != 0) ? kSignBit : 0),
                   lo64(coefficient));
  }

  // coefficient n, scale s: from_integer(250, 2) is 2.50. Aborts when s > 28
  // with "Scale exceeds the maximum precision allowed: s > 28".
  static Decimal from_integer(uint64_t n, uint32_t scale);

  struct Parsed;
  // Exact parsing of decimal text: digits, at most one point, an optional
  // leading sign and underscores between digits. No rounding ever happens.
  static inline Parsed parse(std::string_view text);
  // The same, with the number returned in registers and the error (None
  // when the text parsed) in `error`.
  static inline Decimal parse(std::string_view text, ParseError& error);

  u128 coefficient() const { return make_u128(hi(), lo_); }
  uint32_t scale() const { return (head_ >> 16) & 0xFF; }
  bool negative() const { return ((head_ >> 31) & 1) != 0; }
  bool is_zero() const { return (lo_ | hi()) == 0; }
  // -1, 0 or 1: the sign of the value (a zero with its sign bit set is 0).
  int sign() const { return is_zero() ? 0 : (negative() ? -1 : 1); }

  // Plain decimal text: "-" for a set sign bit (also on a zero), the integer
  // digits, and exactly `scale` fractional digits. Writes at most
  // kMaxPrinted bytes into `out` and returns the count.
  size_t print(char* out) const;
  std::string to_string() const;

  Decimal operator-() const {
    Decimal r = *this;
    r.head_ ^= kSignBit;
    return r;
  }

  // Addition: a zero left operand gives the right operand unchanged (and
  // subtraction its negation), a zero right operand gives the left one;
  // otherwise the exact result at the larger scale, rounded half to even at
  // the largest scale that fits 96 bits. Aborts with "Addition overflowed" /
  // "Subtraction overflowed".
  friend Decimal operator+(const Decimal& a, const Decimal& b) { return add(a, b, false); }
  friend Decimal operator-(const Decimal& a, const Decimal& b) { return add(a, b, true); }
  Decimal& operator+=(const Decimal& b) { return *this = *this + b; }
  Decimal& operator-=(const Decimal& b) { return *this = *this - b; }

  // Multiplication: zero if either operand is zero (scale 0), else the exact
  // product at the sum of the scales, rounded half to even to at most 28
  // places and 96 bits. Aborts with "Multiplication overflowed".
  friend Decimal operator*(const Decimal& a, const Decimal& b) {
    // Fast path (FastPath::MultiplyInline): two coefficients of 64 bits whose
    // product fits at most 28 places and 96 bits, the exact product inline;
    // multiply_slow gives the same for them. Buys up to 2 % of a totals call
    // (benchmarks/README.md).
    if (fast_path(FastPath::MultiplyInline) && (a.hi() | b.hi()) == 0) {
      const u128 p = mul64(a.lo_, b.lo_);
      const uint32_t scale = a.scale() + b.scale();
      if (p == 0) return Decimal();
      if (p <= kMaxCoefficient && scale <= kMaxScale) {
        return from_parts(p, scale, ((a.flags() ^ b.flags()) & kSignBit) != 0);
      }
    }
    return multiply_slow(a, b);
  }

  // Division: exact when the coefficients divide (trailing zeros kept),
  // else extended to 28 places or 96 bits, rounded half to even, with the
  // trailing zeros of the extension removed. Aborts with "Division by zero"
  // or "Division overflowed".
  friend Decimal operator/(const Decimal& a, const Decimal& b);

  // Ordering and equality by value: 1.5 == 1.50 and every zero is equal.
  friend int compare(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return compare(a, b) == 0; }
  friend bool operator<(const Decimal& a, const Decimal& b) { return compare(a, b) < 0; }
  friend bool operator>(const Decimal& a, const Decimal& b) { return compare(a, b) > 0; }

  // Same sign bit, scale and coefficient: 1.5 and 1.50 differ here.
  bool identical(const Decimal& o) const {
    return head_ == o.head_ && lo_ == o.lo_;
  }

 private:
  static constexpr uint32_t kSignBit = 0x80000000u;

  // Addition and subtraction. Fast path (FastPath::AddInline): the common
  // cases inline, a zero operand, or (once the sign of b is turned for a
  // subtraction) equal signs with equal scales, or with 64-bit coefficients,
  // and a sum that fits in 96 bits; add_slow gives the same for them. Buys
  // 3 to 4 % of a totals call (benchmarks/README.md).
  static Decimal add(const Decimal& a, const Decimal& b, bool subtract) {
    if (!fast_path(FastPath::AddInline)) return add_slow(a, b, subtract);
    if (a.is_zero()) return subtract && !b.is_zero() ? -b : b;
    if (b.is_zero()) return a;
    const uint32_t b_flags = subtract ? b.flags() ^ kSignBit : b.flags();
    if (a.flags() == b_flags) {
      const u128 s = a.coefficient() + b.coefficient();  // below 2^97
      if (s <= kMaxCoefficient) {
        return Decimal(hi64(s) << 32 | a.flags(), lo64(s));
      }
    } else if (((a.flags() ^ b_flags) & kSignBit) == 0 && (a.hi() | b.hi()) == 0) {
      // other scales: the coefficient with fewer places is scaled up to the
      // other's (below 2^64 * 10^19 < 2^128)
      const bool a_wider = a.scale() > b.scale();
      const uint64_t wide = a_wider ? a.lo_ : b.lo_, narrow = a_wider ? b.lo_ : a.lo_;
      const uint32_t scale = a_wider ? a.scale() : b.scale();
      const uint32_t shift = scale - (a_wider ? b.scale() : a.scale());
      if (shift <= 19) {
        const u128 s = mul64(narrow, lo64(pow10(shift))) + wide;
        if (s <= kMaxCoefficient) return from_parts(s, scale, a.negative());
      }
    }
    return add_slow(a, b, subtract);
  }

  // The whole rule of addition and subtraction, every case.
  static Decimal add_slow(const Decimal& a, const Decimal& b, bool subtract);
  static Decimal multiply_slow(const Decimal& a, const Decimal& b);
  static Parsed parse_general(std::string_view text);

  // The sign, the scale and the high bits of the coefficient are one word,
  // always written whole: a number built piece by piece and then read or
  // copied whole would wait for the pieces to reach memory.
  constexpr Decimal(uint64_t head, uint64_t lo) : head_(head), lo_(lo) {}
  uint32_t flags() const { return static_cast<uint32_t>(head_); }
  uint32_t hi() const { return static_cast<uint32_t>(head_ >> 32); }

  uint64_t head_ = 0;  // bits 0..31: bit 31 the sign, bits 16..23 the scale, all else zero;
                       // bits 32..63: the coefficient's bits 64..95
  uint64_t lo_ = 0;    // the coefficient's bits 0..63
};

struct Decimal::Parsed {
  Decimal value;
  ParseError error = ParseError::None;
  bool ok() const { return error == ParseError::None; }
};

Decimal::Parsed Decimal::parse(std::string_view text) {
  ParseError error;
  const Decimal value = parse(text, error);
  return {value, error};
}

Decimal Decimal::parse(std::string_view text, ParseError& error) {
  // Fast path (FastPath::ParseInline): the usual text inline, at most 19
  // characters, all digits but for at most one point, and at least one
  // digit; parse_general gives the same for it. Anything else (a sign, an
  // underscore, more digits, an error) takes the general path. Buys 2 to 5 %
  // of a call (benchmarks/README.md).
  const size_t n = text.size();
  if (fast_path(FastPath::ParseInline) && n - 1 < 19) {
    uint64_t c = 0;
    uint32_t scale = 0;
    bool point = false;
    size_t i = 0;
    for (; i < n; ++i) {
      const unsigned d = static_cast<unsigned char>(text[i]) - unsigned{'0'};
      if (d < 10) {
        c = c * 10 + d;
        scale += point ? 1 : 0;
      } else if (text[i] == '.' && !point) {
        point = true;
      } else {
        break;
      }
    }
    if (i == n && n > (point ? 1u : 0u)) {
      error = ParseError::None;
      return from_parts(c, scale, false);
    }
  }
  const Parsed p = parse_general(text);
  error = p.error;
  return p.value;
}

// One unit of the last place at q decimal places: quantum(2) is 0.01.
// Aborts when q > 28.
Decimal quantum(uint32_t q);

// Zero with scale q: quantized_zero(2) prints 0.00. Aborts when q > 28.
Decimal quantized_zero(uint32_t q);

// The value cut toward zero to at most q places; never pads and never fails:
// quantize(1.239, 2) is 1.23, quantize(1.5, 2) stays 1.5.
Decimal quantize_slow(const Decimal& value, uint32_t q);
inline Decimal quantize(const Decimal& value, uint32_t q) { return value.scale() <= q ? value : quantize_slow(value, q); }

// The printing of quantize(value, q).
std::string value_string(const Decimal& value, uint32_t q);

}  // namespace corbyl
