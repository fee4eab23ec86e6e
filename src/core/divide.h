// Dividing an amount into `divisor` parts that are whole numbers of quanta,
// differ by at most one quantum and add up exactly to the amount.
#pragma once

#include <cstdint>
#include <string_view>

#include "error.h"
#include "decimal.h"

namespace corbyl {

inline constexpr const char* kImproperlyQuantized = "Amount is improperly quantized. Cannot divide.";
inline constexpr const char* kDivideByZero = "Cannot divide by zero.";
inline constexpr const char* kNotDivisibleExactly =
    "Amount cannot be divided exactly at this quantization.";

// The parts as they are printed, in order: `larger_count` times `larger`,
// then the rest `base`. (The parts take at most two distinct values; the
// leftover quanta go one each to the first parts.)
struct Division {
  Decimal larger;
  uint32_t larger_count = 0;
  Decimal base;
  uint32_t count = 0;
};

Outcome<Division> divide_amount(std::string_view source_amount, uint16_t divisor, uint32_t quantization);

}  // namespace corbyl
