// Any two numbers: no undefined behaviour; results keep the scale rules
// (exact where the exact result fits) or abort with one of the specified
// messages.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/decimal.h"
#include "core/exact_sum.h"
#include "core/wide.h"

using namespace corbyl;

namespace {

Decimal take(const uint8_t*& p) {
  uint64_t lo;
  uint32_t hi;
  std::memcpy(&lo, p, 8);
  std::memcpy(&hi, p + 8, 4);
  const uint32_t scale = p[12] % 29;
  const bool neg = p[13] & 1;
  p += 14;
  return Decimal::from_parts(make_u128(hi, lo), scale, neg);
}

void expect_message(const ArithmeticAbort& e) {
  static const char* allowed[] = {"Addition overflowed", "Subtraction overflowed", "Multiplication overflowed",
                                  "Division overflowed", "Division by zero"};
  for (const char* m : allowed) {
    if (e.message() == m) return;
  }
  std::abort();
}

// a == b exactly, as sums of units of 10^-28 (values with at most 28 places)
bool same_value(const Decimal& a, const ExactSum& b) { return b.equals(a); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 29) return 0;
  const uint8_t* p = data;
  const Decimal a = take(p), b = take(p);
  const uint32_t q = *p % 40;

  if (compare(a, b) != -compare(b, a)) std::abort();
  if ((compare(a, b) == 0) != (a == b)) std::abort();

  try {
    const Decimal s = a + b;
    const uint32_t top = a.scale() > b.scale() ? a.scale() : b.scale();
    if (!a.is_zero() && !b.is_zero()) {
      if (s.scale() > top) std::abort();
      ExactSum exact;
      exact.add(a);
      exact.add(b);
      // kept the full scale: the sum was exact
      if (s.scale() == top && !same_value(s, exact)) std::abort();
    }
  } catch (const ArithmeticAbort& e) {
    expect_message(e);
  }
  try {
    const Decimal d = a - b;
    if (!a.is_zero() && !b.is_zero() && d.scale() > (a.scale() > b.scale() ? a.scale() : b.scale())) std::abort();
  } catch (const ArithmeticAbort& e) {
    expect_message(e);
  }
  try {
    const Decimal m = a * b;
    if (m.scale() > Decimal::kMaxScale) std::abort();
    if (!a.is_zero() && !b.is_zero() && m.scale() == a.scale() + b.scale()) {
      const U256 full = U256::product(a.coefficient(), b.coefficient());
      if (!(full == U256::from(m.coefficient()))) std::abort();
    }
  } catch (const ArithmeticAbort& e) {
    expect_message(e);
  }
  try {
    const Decimal d = a / b;
    if (d.scale() > Decimal::kMaxScale) std::abort();
    if (d.is_zero() && d.negative()) std::abort();
  } catch (const ArithmeticAbort& e) {
    expect_message(e);
  }
  const Decimal t = quantize(a, q);
  if (t.scale() > (q < a.scale() ? q : a.scale())) std::abort();
  if (t.coefficient() > a.coefficient()) std::abort();
  return 0;
}
