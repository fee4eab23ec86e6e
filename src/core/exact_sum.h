// Exact sums of Decimals. A Decimal sum rounds once it needs more than 96
// bits; this accumulator does not: it counts units of 10^-28 in a 256-bit
// two's complement integer, wide enough for 2^60 terms of the largest
// magnitude. Use it to check that parts or subtotals add up to a whole.
#pragma once

#include <cstdint>
#include <optional>

#include "decimal.h"
#include "wide.h"

namespace corbyl {

class ExactSum {
 public:
  // this += times * d
  void add(const Decimal& d, uint64_t times = 1) {
    if (d.is_zero() || times == 0) return;
    U256 units = U256::product(d.coefficient(), pow10(Decimal::kMaxScale - d.scale()));
    units.mul_small(times);  // below 2^256 for any realistic count
    if (d.negative()) units.negate();
    acc_.add(units);
  }

  bool equals(const Decimal& d) const {
    ExactSum other;
    other.add(d);
    return acc_ == other.acc_;
  }

 private:
  U256 acc_;
};

// |r| as a count of quanta at q places (q <= 28), if r is a whole number of
// quanta and the count is at most `limit`; otherwise nothing.
// whole_quanta(0.03, 2, 5) == 3; whole_quanta(0.035, 2, 5) is empty.
inline std::optional<uint64_t> whole_quanta(const Decimal& r, uint32_t q, uint64_t limit) {
  const uint32_t s = r.scale();
  u128 c = r.coefficient();
  if (s > q) {
    bool exact;
    c = drop_digits(c, s - q, exact);
    if (!exact) return std::nullopt;
  } else {
    for (uint32_t i = s; i < q; ++i) {
      if (c > limit) return std::nullopt;
      c *= 10;
    }
  }
  if (c > limit) return std::nullopt;
  return static_cast<uint64_t>(c);
}

// A value of at most q places counted in quanta, when the count is below
// 2^111: any value at q places, and 64-bit coefficients up to 14 places
// fewer (below 2^64 * 10^14).
inline bool in_quanta(const Decimal& d, uint32_t q, u128& out) {
  const uint32_t s = d.scale();
  out = d.coefficient();
  if (s == q) return true;
  if (s > q || q - s > 14 || hi64(out) != 0) return false;
  out = mul64(lo64(out), lo64(pow10(q - s)));
  return true;
}

}  // namespace corbyl
