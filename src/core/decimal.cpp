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

// The largest coefficient that can be scaled up by 10^k and stay below
// 2^127, so that adding a 96-bit coefficient cannot carry out of 128 bits.
constexpr std::array<u128, Decimal::kMaxScale + 1> make_align_limits() {
  std::array<u128, Decimal::kMaxScale + 1> t{};
  for (size_t k = 0; k < t.size(); ++k) t[k] = (~u128{0} >> 1) / kPow10[k];
  return t;
}
constexpr std::array<u128, Decimal::kMaxScale + 1> kAlignLimit = make_align_limits();

// kMaxOver[k] = (2^96 - 1) / 10^k: the largest coefficient that can gain k
// digits.
constexpr std::array<u128, 10> make_max_over() {
  std::array<u128, 10> t{};
  for (size_t k = 0; k < t.size(); ++k) t[k] = kMax / kPow10[k];
  return t;
}
constexpr std::array<u128, 10> kMaxOver = make_max_over();

[[noreturn]] void abort_with(const char* message,
                             SourcePlace where = SourcePlace::here()) {
  throw ArithmeticAbort(message, where);
}

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
  while (dropped && (last > 5 || (last == 5 && (sticky || (q & 1))))) {
    if (q < kMax) {
      ++q;
      break;
    }
    // Rounding up would carry past 96 bits: drop one more digit and round
    // again from the truncated value (the carry cannot repeat).
    if (scale == 0) return false;
    sticky = sticky || last != 0;
    last = static_cast<uint64_t>(q % 10);
    q /= 10;
    --scale;
  }
  out = q;
  out_scale = scale;
  return true;
}

// v / 10^k for k <= 19, with every divisor a constant: the compiler turns
// each into a multiplication, where a division by a variable would cost
// tens of cycles.
uint64_t drop_digits(uint64_t v, uint32_t k) {
  switch (k) {
#define CORBYL_DROP(n) \
  case n: return v / static_cast<uint64_t>(kPow10[n]);
    CORBYL_DROP(0) CORBYL_DROP(1) CORBYL_DROP(2) CORBYL_DROP(3) CORBYL_DROP(4) CORBYL_DROP(5) CORBYL_DROP(6)
    CORBYL_DROP(7) CORBYL_DROP(8) CORBYL_DROP(9) CORBYL_DROP(10) CORBYL_DROP(11) CORBYL_DROP(12) CORBYL_DROP(13)
    CORBYL_DROP(14) CORBYL_DROP(15) CORBYL_DROP(16) CORBYL_DROP(17) CORBYL_DROP(18) CORBYL_DROP(19)
#undef CORBYL_DROP
    default: assert(false); return 0;
  }
}

// c / 10^k for a wide c, by divisions of at most 19 digits at a time (the
// floor of a floor is the floor of the whole: (c / a) / b == c / (a * b)),
// each by a 64-bit divisor: the machine's division, whose time here grows
// with the bits of the quotient (few in the high half), measured faster than
// the reciprocal that U256::divmod_pow10 uses.
u128 drop_digits_wide(u128 c, uint32_t k) {
  while (k > 0) {
    const uint32_t step = k < 19 ? k : 19;
    const uint64_t d = static_cast<uint64_t>(kPow10[step]);
    uint64_t rem;
    const uint64_t lo = div128_64(hi64(c) % d, lo64(c), d, rem);
    c = make_u128(hi64(c) / d, lo);
    k -= step;
  }
  return c;
}
// The same rounding for a value below 2^128 from which at most 19 digits
// must go (a product of a 64-bit coefficient and a 96-bit one, say), in two
// divisions: the dropped part is compared whole with half a unit, which
// decides as the last digit and the sticky flag of round_to_fit do. False
// where it does not apply (more digits, too few places to drop, or a
// rounding that would carry past 96 bits), and round_to_fit does the work.
bool round_narrow(u128 c, uint32_t scale, u128& out, uint32_t& out_scale) {
  for (uint32_t k = scale > Decimal::kMaxScale ? scale - Decimal::kMaxScale : 0;; ++k) {
    if (k > scale || k > 19) return false;
    if (k == 0) {
      if (c > kMax) continue;
      out = c;
      out_scale = scale;
      return true;
    }
    uint64_t high_rem, rem;
    const uint64_t high = div_pow10(0, hi64(c), k, high_rem);
    u128 q = make_u128(high, div_pow10(high_rem, lo64(c), k, rem));
    if (q > kMax) continue;
    const uint64_t half = static_cast<uint64_t>(kPow10[k]) / 2;
    if (rem > half || (rem == half && (lo64(q) & 1) != 0)) {
      if (q == kMax) return false;
      ++q;
    }
    out = q;
    out_scale = scale - k;
    return true;
  }
}

// The product of two coefficients where it fits in 128 bits: one of them
// of 64 bits, and no carry past the second limb.
bool narrow_product(u128 a, u128 b, u128& p) {
  if (hi64(a) != 0) std::swap(a, b);
  if (hi64(a) != 0) return false;
  const u128 low = mul64(lo64(a), lo64(b));
  const u128 high = mul64(lo64(a), hi64(b));  // times 2^64
  const uint64_t top = hi64(low) + lo64(high);
  if (hi64(high) != 0 || top < hi64(low)) return false;
  p = make_u128(top, lo64(low));
  return true;
}

Decimal add_signed(const Decimal& a, const Decimal& b, bool negate_b, const char* overflow) {
  if (a.is_zero()) {
    if (negate_b && !b.is_zero()) return -b;
    return b;
  }
  if (b.is_zero()) return a;

  const bool sa = a.negative();
  const bool sb = b.negative() != negate_b;
  uint32_t scale_a = a.scale(), scale_b = b.scale();
  uint32_t scale = scale_a > scale_b ? scale_a : scale_b;
  u128 ca = a.coefficient(), cb = b.coefficient();

  // Fast path: the aligned coefficients fit in 128 bits, their sum too.
  uint32_t shift = scale_a > scale_b ? scale_a - scale_b : scale_b - scale_a;
  if (fast_path(FastPath::Align128) && (shift <= 9 || (scale_a < scale ? ca : cb) <= kAlignLimit[shift])) {
    if (scale_a < scale) ca *= kPow10[shift];
    if (scale_b < scale) cb *= kPow10[shift];
    if (sa == sb) {
      u128 s = ca + cb;  // below 2^128
      if (s <= kMax) return Decimal::from_parts(s, scale, sa);
      u128 out;
      uint32_t out_scale;
      if (!round_to_fit(U256::from(s), scale, Decimal::kMaxScale, out, out_scale)) abort_with(overflow);
      return Decimal::from_parts(out, out_scale, sa);
    }
    bool neg = ca >= cb ? sa : sb;
    u128 d = ca >= cb ? ca - cb : cb - ca;
    if (d <= kMax) return Decimal::from_parts(d, scale, neg);
    u128 out;
    uint32_t out_scale;
    // a difference never exceeds the larger operand, so this always fits
    bool ok = round_to_fit(U256::from(d), scale, Decimal::kMaxScale, out, out_scale);
    assert(ok);
    (void)ok;
    return Decimal::from_parts(out, out_scale, neg);
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

}  // namespace

Decimal Decimal::from_integer(uint64_t n, uint32_t scale) {
  if (scale > kMaxScale) {
    throw ArithmeticAbort("Scale exceeds the maximum precision allowed: " + std::to_string(scale) +
                          " > " + std::to_string(kMaxScale));
  }
  return from_parts(n, scale, false);
}

Decimal Decimal::add_slow(const Decimal& a, const Decimal& b, bool subtract) {
  return add_signed(a, b, subtract, subtract ? "Subtraction overflowed" : "Addition overflowed");
}

Decimal Decimal::multiply_slow(const Decimal& a, const Decimal& b) {
  if (a.is_zero() || b.is_zero()) return Decimal();
  const bool neg = a.negative() != b.negative();
  const uint32_t scale = a.scale() + b.scale();
  const u128 ca = a.coefficient(), cb = b.coefficient();
  if (fast_path(FastPath::MultiplyInline) && hi64(ca) == 0 && hi64(cb) == 0) {
    u128 p = mul64(lo64(ca), lo64(cb));
    if (p <= kMax && scale <= Decimal::kMaxScale) return Decimal::from_parts(p, scale, neg);
  }
  u128 out, p;
  uint32_t out_scale;
  if (fast_path(FastPath::RoundNarrow) && narrow_product(ca, cb, p) && round_narrow(p, scale, out, out_scale)) {
    return Decimal::from_parts(out, out_scale, neg);
  }
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
      if (x.q > kMaxOver[k]) continue;  // k more digits cannot fit
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
// true value then lies above q, so a dropped 5 or more rounds up.
void round_last_digit(Quotient& x, u128 d) {
  if (x.r == 0) return;
  const u128 twice = x.r << 1;  // r < 2^96
  if (!(twice > d || (twice == d && (x.q & 1)))) return;
  if (x.q < kMax) {
    ++x.q;
    return;
  }
  if (x.scale <= 0) abort_with("Division overflowed");
  const uint64_t last = static_cast<uint64_t>(x.q % 10);
  x.q = x.q / 10 + (last >= 5 ? 1 : 0);
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
  while (x.scale > 0 && (hi64(x.q) == 0 ? lo64(x.q) % 10 == 0 : x.q % 10 == 0)) {
    x.q /= 10;
    --x.scale;
  }
  return Decimal::from_parts(x.q, static_cast<uint32_t>(x.scale), neg);
}

int Decimal::compare_slow(const Decimal& a, const Decimal& b) {
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
  const u128 cut = fast_path(FastPath::QuantizeSmall) && hi64(c) == 0 && s - q <= 19 ? u128{drop_digits(lo64(c), s - q)} : drop_digits_wide(c, s - q);
  const Decimal r = Decimal::from_parts(cut, q, value.negative());
  assert(r.scale() == q && r.coefficient() <= c);
  return r;
}

std::string value_string(const Decimal& value, uint32_t q) { return quantize(value, q).to_string(); }

}  // namespace corbyl
