// Powers of ten, and division by them: the one divisor of every rounding,
// quantization and printing of a decimal number.
#pragma once

#include <array>
#include <bit>
#include <cassert>
#include <cstdint>

#include "compiler.h"
#include "fast_paths.h"

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
  return detail::kPowersOfTen[n];
}

// Division by a power of ten through its reciprocal, after Moller and
// Granlund, "Improved division by invariant integers" (2011): two
// multiplications and a few additions where a machine division would take
// several times as long, and every wide rounding divides by powers of ten.
// The divisor is shifted until its top bit is set (`normalized`), and
// `inverse` is floor((2^128 - 1) / normalized) - 2^64.
struct Pow10Divisor {
  uint64_t normalized = 0;
  uint64_t inverse = 0;
  uint32_t shift = 0;
};

constexpr std::array<Pow10Divisor, 20> make_pow10_divisors() {
  std::array<Pow10Divisor, 20> t{};
  uint64_t d = 1;
  for (uint32_t k = 1; k < t.size(); ++k) {
    d *= 10;
    Pow10Divisor& p = t[k];
    p.shift = static_cast<uint32_t>(std::countl_zero(d));
    p.normalized = d << p.shift;
    // (2^128 - 1 - normalized * 2^64) / normalized, below 2^64
    p.inverse = lo64(make_u128(~p.normalized, ~uint64_t{0}) / u128{p.normalized});
  }
  return t;
}
inline constexpr std::array<Pow10Divisor, 20> kPow10Divisors = make_pow10_divisors();

// The quotient of the 128-bit value hi:lo by 10^k, 1 <= k <= 19, with the
// remainder in `rem`; the quotient must fit in 64 bits (hi < 10^k).
inline uint64_t div_pow10(uint64_t hi, uint64_t lo, uint32_t k, uint64_t& rem) {
  if (!fast_path(FastPath::Pow10Reciprocal)) return div128_64(hi, lo, lo64(pow10(k)), rem);
  const Pow10Divisor& p = kPow10Divisors[k];
  const uint64_t d = p.normalized;
  // the dividend shifted as the divisor was: u1 < d still
  const uint64_t u1 = p.shift == 0 ? hi : (hi << p.shift) | (lo >> (64 - p.shift));
  const uint64_t u0 = lo << p.shift;
  const u128 q = mul64(p.inverse, u1) + make_u128(u1, u0);
  uint64_t q1 = hi64(q) + 1;
  uint64_t r = u0 - q1 * d;
  if (r > lo64(q)) {
    --q1;
    r += d;
  }
  if (r >= d) [[unlikely]] {
    ++q1;
    r -= d;
  }
  rem = r >> p.shift;
  return q1;
}

}  // namespace corbyl
