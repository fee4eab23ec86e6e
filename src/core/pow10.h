// Powers of ten, and division by them: the one divisor of every rounding,
// quantization and printing of a decimal number.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>

#include "compiler.h"

namespace corbyl {

namespace detail {
constexpr std::array<u128, 39> make_powers_of_ten() {
  std::array<u128, 39> t{};
  u128 v = 1;
  for (auto& e : t) {
    e = v;
    v *= 10;
  }
  return t;
}
inline constexpr std::array<u128, 39> kPowersOfTen = make_powers_of_ten();
}  // namespace detail

// 10^n for n <= 38.
inline u128 pow10(uint32_t n) {
  assert(n < detail::kPowersOfTen.size());
#ifndef NDEBUG
  if (n >= detail::kPowersOfTen.size()) n = 0;  // where a failed assertion returns (mingw's)
#endif
  return detail::kPowersOfTen[n];
}

// The one division by a power of ten of the core: hi:lo / 10^k for
// 1 <= k <= 19, with the remainder in `rem`; the quotient must fit in 64
// bits (hi < 10^k). Wider numbers are divided through it a limb at a time.
inline uint64_t div_pow10(uint64_t hi, uint64_t lo, uint32_t k, uint64_t& rem) {
  assert(k >= 1 && k <= 19 && hi < lo64(pow10(k)));
  return div128_64(hi, lo, lo64(pow10(k)), rem);
}

// c / 10^k for a 128-bit c and 1 <= k <= 19, with the remainder in `rem`.
inline u128 div_pow10(u128 c, uint32_t k, uint64_t& rem) {
  uint64_t high_rem;
  const uint64_t high = div_pow10(0, hi64(c), k, high_rem);
  return make_u128(high, div_pow10(high_rem, lo64(c), k, rem));
}

// c / 10^k for any k <= 38, the digits dropped 19 at a time (the floor of a
// floor is the floor of the whole: (c / a) / b == c / (a * b)); `exact` is
// left false when any dropped digit was not zero.
inline u128 drop_digits(u128 c, uint32_t k, bool& exact) {
  exact = true;
  for (; k > 0;) {
    const uint32_t step = k < 19 ? k : 19;
    uint64_t rem;
    c = div_pow10(c, step, rem);
    exact = exact && rem == 0;
    k -= step;
  }
  return c;
}

}  // namespace corbyl
