// A 256-bit unsigned integer for the few places where a 96-bit coefficient
// must be widened without loss: the exact sum of two aligned coefficients,
// the exact product of two coefficients, and exact sums of many quantized
// values. It is a plain value of four 64-bit limbs, least significant first.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

#include "compiler.h"
#include "pow10.h"

namespace corbyl {

struct U256 {
  std::array<uint64_t, 4> limb{};  // limb[0] is the least significant

  static U256 from(u128 v) {
    U256 r;
    r.limb[0] = lo64(v);
    r.limb[1] = hi64(v);
    return r;
  }

  bool is_zero() const { return (limb[0] | limb[1] | limb[2] | limb[3]) == 0; }

  // True when the value fits in 96 bits, the width of a Decimal coefficient.
  bool fits96() const { return limb[3] == 0 && limb[2] == 0 && (limb[1] >> 32) == 0; }

  u128 low128() const { return make_u128(limb[1], limb[0]); }

  // The number of bits needed to write the value (0 for zero).
  uint32_t bit_width() const {
    for (int i = 3; i >= 0; --i) {
      if (limb[i] != 0) return 64 * static_cast<uint32_t>(i) + static_cast<uint32_t>(std::bit_width(limb[i]));
    }
    return 0;
  }

  // this *= m; returns false if the product does not fit in 256 bits.
  bool mul_small(uint64_t m) {
    uint64_t carry = 0;
    for (auto& l : limb) {
      u128 p = mul64(l, m) + carry;
      l = lo64(p);
      carry = hi64(p);
    }
    return carry == 0;
  }

  // this = this / 10^k for 1 <= k <= 19, returning the remainder.
  uint64_t divmod_pow10(uint32_t k) {
    int i = 3;
    while (i > 0 && limb[i] == 0) --i;  // leading zero limbs stay zero
    uint64_t rem = 0;
    for (; i >= 0; --i) limb[i] = div_pow10(rem, limb[i], k, rem);  // rem < 10^k: the quotient fits
    return rem;
  }

  // this += o; returns the carry out of the top limb.
  bool add(const U256& o) {
    uint64_t carry = 0;
    for (int i = 0; i < 4; ++i) {
      u128 s = static_cast<u128>(limb[i]) + o.limb[i] + carry;
      limb[i] = lo64(s);
      carry = hi64(s);
    }
    return carry != 0;
  }

  // this -= o, modulo 2^256 (two's complement when o > this).
  void sub(const U256& o) {
    uint64_t borrow = 0;
    for (int i = 0; i < 4; ++i) {
      uint64_t a = limb[i], b = o.limb[i];
      uint64_t d = a - b - borrow;
      borrow = (a < b || (a == b && borrow)) ? 1 : 0;
      limb[i] = d;
    }
  }

  void negate() {
    for (auto& l : limb) l = ~l;
    U256 one;
    one.limb[0] = 1;
    add(one);
  }

  friend int compare(const U256& a, const U256& b) {
    for (int i = 3; i >= 0; --i) {
      if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i] ? -1 : 1;
    }
    return 0;
  }
  friend bool operator==(const U256& a, const U256& b) { return a.limb == b.limb; }

  // Full product of two values below 2^128.
  static U256 product(u128 a, u128 b) {
    uint64_t a0 = lo64(a), a1 = hi64(a), b0 = lo64(b), b1 = hi64(b);
    U256 r = from(mul64(a0, b0));
    U256 t;
    u128 m = mul64(a0, b1);
    t.limb[1] = lo64(m);
    t.limb[2] = hi64(m);
    r.add(t);
    t = U256{};
    m = mul64(a1, b0);
    t.limb[1] = lo64(m);
    t.limb[2] = hi64(m);
    r.add(t);
    t = U256{};
    m = mul64(a1, b1);
    t.limb[2] = lo64(m);
    t.limb[3] = hi64(m);
    r.add(t);
    return r;
  }
};

}  // namespace corbyl
