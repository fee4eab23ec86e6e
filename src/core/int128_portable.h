// A portable unsigned 128-bit integer of two 64-bit limbs, for compilers
// without a 128-bit integer type (MSVC, 32-bit targets) and, on request
// (CORBYL_PORTABLE_INT128), for any other. Every operation gives the same
// bits as the compiler's type, wrapping modulo 2^128; it is constexpr so
// that the tables of powers of ten are still built at compile time.
//
//   U128 a = U128(1) << 100;   a / 10, a % 10, a * a (wraps), ~a, a >> 3
#pragma once

#include <bit>
#include <cstdint>

namespace corbyl {

class U128 {
 public:
  constexpr U128() = default;
  constexpr U128(uint64_t v) : lo_(v) {}  // NOLINT: converts like the builtin type
  constexpr U128(uint64_t hi, uint64_t lo, int) : lo_(lo), hi_(hi) {}

  constexpr explicit operator uint64_t() const { return lo_; }
  constexpr explicit operator uint32_t() const { return static_cast<uint32_t>(lo_); }
  constexpr explicit operator bool() const { return (lo_ | hi_) != 0; }
  constexpr uint64_t low() const { return lo_; }
  constexpr uint64_t high() const { return hi_; }

  friend constexpr bool operator==(U128 a, U128 b) { return a.lo_ == b.lo_ && a.hi_ == b.hi_; }
  friend constexpr bool operator<(U128 a, U128 b) { return a.hi_ != b.hi_ ? a.hi_ < b.hi_ : a.lo_ < b.lo_; }
  friend constexpr bool operator>(U128 a, U128 b) { return b < a; }
  friend constexpr bool operator<=(U128 a, U128 b) { return !(b < a); }
  friend constexpr bool operator>=(U128 a, U128 b) { return !(a < b); }

  friend constexpr U128 operator+(U128 a, U128 b) {
    const uint64_t lo = a.lo_ + b.lo_;
    return U128(a.hi_ + b.hi_ + (lo < a.lo_ ? 1 : 0), lo, 0);
  }
  friend constexpr U128 operator-(U128 a, U128 b) {
    return U128(a.hi_ - b.hi_ - (a.lo_ < b.lo_ ? 1 : 0), a.lo_ - b.lo_, 0);
  }
  friend constexpr U128 operator*(U128 a, U128 b) {
    U128 p = mul64(a.lo_, b.lo_);
    p.hi_ += a.lo_ * b.hi_ + a.hi_ * b.lo_;  // the rest lies above 2^128
    return p;
  }
  friend constexpr U128 operator/(U128 a, U128 b) {
    U128 r;
    return divmod(a, b, r);
  }
  friend constexpr U128 operator%(U128 a, U128 b) {
    U128 r;
    divmod(a, b, r);
    return r;
  }

  friend constexpr U128 operator&(U128 a, U128 b) { return U128(a.hi_ & b.hi_, a.lo_ & b.lo_, 0); }
  friend constexpr U128 operator|(U128 a, U128 b) { return U128(a.hi_ | b.hi_, a.lo_ | b.lo_, 0); }
  friend constexpr U128 operator^(U128 a, U128 b) { return U128(a.hi_ ^ b.hi_, a.lo_ ^ b.lo_, 0); }
  constexpr U128 operator~() const { return U128(~hi_, ~lo_, 0); }

  friend constexpr U128 operator<<(U128 a, int n) {
    if (n == 0) return a;
    if (n >= 64) return U128(a.lo_ << (n - 64), 0, 0);
    return U128((a.hi_ << n) | (a.lo_ >> (64 - n)), a.lo_ << n, 0);
  }
  friend constexpr U128 operator>>(U128 a, int n) {
    if (n == 0) return a;
    if (n >= 64) return U128(0, a.hi_ >> (n - 64), 0);
    return U128(a.hi_ >> n, (a.lo_ >> n) | (a.hi_ << (64 - n)), 0);
  }

  constexpr U128& operator+=(U128 b) { return *this = *this + b; }
  constexpr U128& operator-=(U128 b) { return *this = *this - b; }
  constexpr U128& operator*=(U128 b) { return *this = *this * b; }
  constexpr U128& operator/=(U128 b) { return *this = *this / b; }
  constexpr U128& operator%=(U128 b) { return *this = *this % b; }
  constexpr U128& operator<<=(int n) { return *this = *this << n; }
  constexpr U128& operator>>=(int n) { return *this = *this >> n; }
  constexpr U128& operator++() { return *this += 1; }

  // The full product of two 64-bit numbers, from 32-bit halves: the middle
  // column gathers two products and the carry out of the low column.
  static constexpr U128 mul64(uint64_t a, uint64_t b) {
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);  // below 3 * 2^32
    const uint64_t lo = (middle << 32) | (p00 & 0xFFFFFFFFu);
    const uint64_t hi = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
    return U128(hi, lo, 0);
  }

 private:
  static constexpr int width(U128 v) {
    return v.hi_ ? 64 + static_cast<int>(std::bit_width(v.hi_)) : static_cast<int>(std::bit_width(v.lo_));
  }

  // a = q * b + r. Quotients of numbers of 64 bits and divisors of 32 bits
  // are found limb by limb; anything else by shifting and subtracting, from
  // the divisor aligned under the dividend's top bit.
  static constexpr U128 divmod(U128 a, U128 b, U128& rem) {
    if (a.hi_ == 0 && b.hi_ == 0) {
      rem = U128(a.lo_ % b.lo_);
      return U128(a.lo_ / b.lo_);
    }
    if (a < b) {
      rem = a;
      return U128();
    }
    if (b.hi_ == 0 && b.lo_ <= 0xFFFFFFFFu) {
      // four 32-bit digits, each divided with the remainder carried in
      const uint64_t d = b.lo_;
      uint64_t r = 0;
      uint64_t digits[4] = {a.hi_ >> 32, a.hi_ & 0xFFFFFFFFu, a.lo_ >> 32, a.lo_ & 0xFFFFFFFFu};
      for (auto& digit : digits) {
        const uint64_t cur = (r << 32) | digit;
        digit = cur / d;
        r = cur % d;
      }
      rem = U128(r);
      return U128((digits[0] << 32) | digits[1], (digits[2] << 32) | digits[3], 0);
    }
    const int shift = width(a) - width(b);
    U128 d = b << shift;
    U128 q;
    for (int i = shift; i >= 0; --i) {
      q = q << 1;
      if (a >= d) {
        a -= d;
        q.lo_ |= 1;
      }
      d = d >> 1;
    }
    rem = a;
    return q;
  }

  uint64_t lo_ = 0;
  uint64_t hi_ = 0;
};

}  // namespace corbyl
