// Arithmetic of the Decimal number: addition, multiplication, division,
// comparison and the quantization helpers.
#include "decimal.h"

#include <array>
#include <cassert>
#include <utility>

#include "wide.h"

namespace corbyl {
namespace {

constexpr const std::array<u128, 39>& kPow10 = detail::kPowersOfTen;

constexpr u128 kMax = Decimal::kMaxCoefficient;

// kMaxOver[k] = (2^96 - 1) / 10^k: the largest coefficient that can gain k
// digits.
constexpr std::array<u128, 10> make_max_over() {
  std::array<u128, 10> t{};
  for (size_t k = 0; k < t.size(); ++k) t[k] = kMax / kPow10[k];
  return t;
}
constexpr std::array<u128, 10> kMaxOver = make_max_over();

// The largest coefficient that can be scaled up by 10^k and stay below
// 2^127, so that adding a 96-bit coefficient cannot carry out of 128 bits.
constexpr std::array<u128, Decimal::kMaxScale + 1> make_align_limits() {
  std::array<u128, Decimal::kMaxScale + 1> t{};
  for (size_t k = 0; k < t.size(); ++k) t[k] = (~u128{0} >> 1) / kPow10[k];
  return t;
}
constexpr std::array<u128, Decimal::kMaxScale + 1> kAlignLimit = make_align_limits();

[[noreturn]] void abort_with(const char* message,
                             SourcePlace where = SourcePlace::here()) {
  throw ArithmeticAbort(message, where);
}

// The one rounding decision, half to even: a value cut short rounds up when
// what was dropped is more than half a unit of its last place, or exactly
// half and that place is odd. `dropped` compares the dropped part with half
// a unit: below (-1), exactly half (0) or above (1).
constexpr bool rounds_up(int dropped, bool odd) { return dropped > 0 || (dropped == 0 && odd); }

// Brings an exact nonnegative coefficient at `scale` into the range of a
// Decimal: drops digits from the right while it has more than 96 bits or
// more than `max_scale` places, then rounds half to even, taking every
// dropped digit into account. Returns false when even scale 0 cannot hold it.
// Every sum and product too wide for 96 bits is rounded here; a division
// rounds the last digit of its own extended quotient (see operator/).
bool round_to_fit(U256 c, uint32_t scale, uint32_t max_scale, u128& out, uint32_t& out_scale) {
  uint64_t last = 0;   // the most recently dropped digit
  bool sticky = false; // any nonzero digit dropped before it
  bool dropped = false;
  // Digits that must go in any case are dropped up to 19 at a time: the
  // places above max_scale, and as many as the bits above 96 surely need
  // (c >= 2^(w-1), and 10^d <= 2^(w-97) whenever d <= (w-97) * log10(2)).
  const uint32_t width = c.bit_width();
  const uint32_t for_bits = width > 97 ? (width - 97) * 30103 / 100000 : 0;
  uint32_t batch = scale > max_scale ? scale - max_scale : 0;
  if (for_bits > batch) batch = for_bits;
  if (batch > scale) return false;
  while (batch > 0) {
    const uint32_t k = batch < 19 ? batch : 19;
    const uint64_t rem = c.divmod_pow10(k);
    // the last digit dropped, and whether any below it was not zero
    uint64_t below = 0;
    const uint64_t digit = k == 1 ? rem : div_pow10(0, rem, k - 1, below);
    sticky = sticky || last != 0 || below != 0;
    last = digit;
    dropped = true;
    scale -= k;
    batch -= k;
  }
  while (scale > max_scale || !c.fits96()) {
    if (scale == 0) return false;
    sticky = sticky || last != 0;
    last = c.divmod_pow10(1);
    dropped = true;
    --scale;
  }
  u128 q = c.low128();
  // the dropped part is its last digit, and any nonzero digit below it
  auto against_half = [&] { return last != 5 ? (last > 5 ? 1 : -1) : (sticky ? 1 : 0); };
  while (dropped && rounds_up(against_half(), (q & 1) != 0)) {
    if (q < kMax) {
      ++q;
      break;
    }
    // Rounding up would carry past 96 bits: drop one more digit and round
    // again from the truncated value (the carry cannot repeat).
    if (scale == 0) return false;
    sticky = sticky || last != 0;
    q = div_pow10(q, 1, last);
    --scale;
  }
  out = q;
  out_scale = scale;
  return true;
}

}  // namespace

Decimal Decimal::add_slow(const Decimal& a, const Decimal& b, bool negate_b) {
  const char* overflow = negate_b ? "Subtraction overflowed" : "Addition overflowed";
  if (a.is_zero()) {
    if (negate_b && !b.is_zero()) return -b;
    return b;
  }
  if (b.is_zero()) return a;

  const bool sa = a.negative();
  const bool sb = b.negative() != negate_b;
  const uint32_t scale_a = a.scale(), scale_b = b.scale();
  const uint32_t scale = scale_a > scale_b ? scale_a : scale_b;
  const u128 ca = a.coefficient(), cb = b.coefficient();

  // Fast path (FastPath::Align128): the aligned coefficients fit in 128 bits,
  // and so does their sum; where it fits 96 bits it is the result, and the
  // 256-bit path below rounds any other. Buys 2 to 3 % of a call with a
  // grossed-up line (benchmarks/README.md).
  const uint32_t shift = scale_a > scale_b ? scale_a - scale_b : scale_b - scale_a;
  if (fast_path(FastPath::Align128) && (shift <= 9 || (scale_a < scale ? ca : cb) <= kAlignLimit[shift])) {
    const u128 xa = scale_a < scale ? ca * kPow10[shift] : ca;
    const u128 xb = scale_b < scale ? cb * kPow10[shift] : cb;
    const u128 r = sa == sb ? xa + xb : (xa >= xb ? xa - xb : xb - xa);  // below 2^128
    if (r <= kMax) return Decimal::from_parts(r, scale, sa == sb || xa >= xb ? sa : sb);
  }

  U256 wa = U256::from(ca), wb = U256::from(cb);
  if (scale_a < scale) wa = U256::product(ca, kPow10[shift]);
  if (scale_b < scale) wb = U256::product(cb, kPow10[shift]);
  bool neg;
  if (sa == sb) {
    wa.add(wb);  // below 2^192: no carry out
    neg = sa;
  } else if (compare(wa, wb) >= 0) {
    wa.sub(wb);
    neg = sa;
  } else {
    wb.sub(wa);
    wa = wb;
    neg = sb;
  }
  u128 out;
  uint32_t out_scale;
  if (!round_to_fit(wa, scale, Decimal::kMaxScale, out, out_scale)) abort_with(overflow);
  return Decimal::from_parts(out, out_scale, neg);
}

Decimal Decimal::from_integer(uint64_t n, uint32_t scale) {
  if (scale > kMaxScale) {
    throw ArithmeticAbort("Scale exceeds the maximum precision allowed: " + std::to_string(scale) +
                          " > " + std::to_string(kMaxScale));
  }
  return from_parts(n, scale, false);
}

Decimal Decimal::multiply_slow(const Decimal& a, const Decimal& b) {
  if (a.is_zero() || b.is_zero()) return Decimal();
  const bool neg = a.negative() != b.negative();
  const uint32_t scale = a.scale() + b.scale();
  const u128 ca = a.coefficient(), cb = b.coefficient();
  u128 out;
  uint32_t out_scale;
  if (!round_to_fit(U256::product(ca, cb), scale, Decimal::kMaxScale, out, out_scale)) {
    abort_with("Multiplication overflowed");
  }
  return Decimal::from_parts(out, out_scale, neg);
}

namespace {

// A quotient being extended: coefficient q at `scale` (which may be
// negative before it is settled), the remainder r left by the divisor d.
struct Quotient {
  u128 q;
  u128 r;
  int scale;
};

// Appends digits to the quotient, up to nine at a time (r < 2^96, so
// r * 10^9 < 2^126), while the remainder is not zero, the scale is below 28
// and the coefficient still fits in 96 bits.
void extend_digits(Quotient& x, u128 d) {
  while (x.r != 0 && x.scale < static_cast<int>(Decimal::kMaxScale)) {
    int k = static_cast<int>(Decimal::kMaxScale) - x.scale;
    if (k > 9) k = 9;
    bool appended = false;
    for (; k > 0 && !appended; --k) {
      if (x.q > kMaxOver[k]) continue;  // k more digits cannot fit: no division for them
      const u128 t = x.r * kPow10[k];
      const u128 digits = t / d;
      const u128 nq = x.q * kPow10[k] + digits;
      if (nq > kMax) continue;
      x.q = nq;
      x.r = t - digits * d;
      x.scale += k;
      appended = true;
    }
    if (!appended) return;  // not even one more digit fits
  }
}

// Rounds the last digit half to even: twice the remainder against the
// divisor. When q + 1 would need 97 bits a digit is dropped instead; the
// true value then lies above q, so a dropped 5 is more than half.
void round_last_digit(Quotient& x, u128 d) {
  if (x.r == 0) return;
  const u128 twice = x.r << 1;  // r < 2^96
  if (!rounds_up(twice == d ? 0 : (twice > d ? 1 : -1), (x.q & 1) != 0)) return;
  if (x.q < kMax) {
    ++x.q;
    return;
  }
  if (x.scale <= 0) abort_with("Division overflowed");
  uint64_t last;
  x.q = div_pow10(x.q, 1, last);
  if (rounds_up(last >= 5 ? 1 : -1, (x.q & 1) != 0)) ++x.q;
  --x.scale;
}

// A negative scale is multiplied up to scale 0.
void settle_scale(Quotient& x) {
  if (x.scale >= 0) return;
  const u128 f = kPow10[-x.scale];
  if (x.q > kMax / f) abort_with("Division overflowed");
  x.q *= f;
  x.scale = 0;
}

}  // namespace

Decimal operator/(const Decimal& a, const Decimal& b) {
  if (b.is_zero()) abort_with("Division by zero");
  if (a.is_zero()) return Decimal();
  const bool neg = a.negative() != b.negative();
  const u128 ca = a.coefficient(), cb = b.coefficient();
  Quotient x{ca / cb, 0, static_cast<int>(a.scale()) - static_cast<int>(b.scale())};
  x.r = ca - x.q * cb;
  if (x.r == 0) {
    // exact: the quotient as it is, trailing zeros included
    settle_scale(x);
    return Decimal::from_parts(x.q, static_cast<uint32_t>(x.scale), neg);
  }
  extend_digits(x, cb);
  round_last_digit(x, cb);
  settle_scale(x);
  // the extended quotient loses its trailing zeros, down to scale 0
  while (x.scale > 0) {
    uint64_t digit;
    const u128 shorter = div_pow10(x.q, 1, digit);
    if (digit != 0) break;
    x.q = shorter;
    --x.scale;
  }
  return Decimal::from_parts(x.q, static_cast<uint32_t>(x.scale), neg);
}

int compare(const Decimal& a, const Decimal& b) {
  const bool za = a.is_zero(), zb = b.is_zero();
  if (za && zb) return 0;
  const bool na = !za && a.negative(), nb = !zb && b.negative();
  if (na != nb) return na ? -1 : 1;
  int mag;  // comparison of the magnitudes
  if (za || zb) {
    mag = za ? -1 : 1;
  } else {
    uint32_t sa = a.scale(), sb = b.scale();
    u128 ca = a.coefficient(), cb = b.coefficient();
    if (sa == sb) {
      mag = ca == cb ? 0 : (ca < cb ? -1 : 1);
    } else {
      U256 wa = U256::from(ca), wb = U256::from(cb);
      if (sa < sb) wa = U256::product(ca, kPow10[sb - sa]);
      else wb = U256::product(cb, kPow10[sa - sb]);
      mag = compare(wa, wb);
    }
  }
  return na ? -mag : mag;
}

Decimal quantum(uint32_t q) { return Decimal::from_integer(1, q); }

Decimal quantized_zero(uint32_t q) { return Decimal::from_integer(0, q); }

Decimal quantize_slow(const Decimal& value, uint32_t q) {
  const uint32_t s = value.scale();
  if (s <= q) return value;
  if (value.is_zero()) {
    // keep the sign bit of the input (a negative zero stays one)
    Decimal z = Decimal::from_parts(0, q, false);
    return value.negative() ? -z : z;
  }
  const u128 c = value.coefficient();
  bool exact;
  const u128 cut = drop_digits(c, s - q, exact);
  const Decimal r = Decimal::from_parts(cut, q, value.negative());
  assert(r.scale() == q && r.coefficient() <= c);
  return r;
}

std::string value_string(const Decimal& value, uint32_t q) { return quantize(value, q).to_string(); }

}  // namespace corbyl
