#include "divide.h"

#include "exact_sum.h"

namespace corbyl {

Outcome<Division> divide_amount(std::string_view text, uint16_t divisor, uint32_t q) {
  ParseError e;
  const Decimal amount = Decimal::parse(text, e);
  const Place source_amount = Place::argument("source_amount");
  if (e != ParseError::None) return error_text(parse_message(e), source_amount);
  // by value: 1.500 passes at two places, 1.505 does not
  if (quantize(amount, q) != amount) return error_text(kImproperlyQuantized, source_amount);
  if (divisor == 0) return error_text(kDivideByZero, Place::argument("divisor"));

  const Decimal n = Decimal::from_integer(divisor, 0);
  const Decimal part = quantize(amount / n, q);
  const Decimal remainder = amount - quantize(part * n, q);
  Decimal step;
  try {
    step = remainder.negative() ? -quantum(q) : quantum(q);  // aborts above 28
  } catch (ArithmeticAbort& abort) {
    abort.place = Place::argument("quantization");
    throw;
  }

  // With exact arithmetic the remainder is fewer than `divisor` quanta, one
  // for each of the first parts. When the 96-bit quotient had to round, it
  // is not, and no list of parts can add up.
  const auto leftover = whole_quanta(remainder, q, divisor - 1u);
  if (!leftover) return error_text(kNotDivisibleExactly, source_amount);

  Division d;
  d.count = divisor;
  d.base = part;
  d.larger_count = static_cast<uint32_t>(*leftover);
  d.larger = d.larger_count ? part + step : part;

  ExactSum sum;
  sum.add(d.larger, d.larger_count);
  sum.add(d.base, d.count - d.larger_count);
  if (!sum.equals(amount)) return error_text(kNotDivisibleExactly, source_amount);
  // each part is printed at most at the quantization (it already is)
  d.larger = quantize(d.larger, q);
  d.base = quantize(d.base, q);
  return d;
}

}  // namespace corbyl
