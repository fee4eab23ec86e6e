// The redistribution of a rounding difference: the subtotals of a bill cut
// to the quantization may add up to a little more or less than its total,
// and the difference is moved onto them one quantum at a time, to the
// subtotals whose sign it shares, in passes over a fixed order.
#pragma once

#include <cstdint>
#include <optional>

#include "decimal.h"
#include "error.h"
#include "subtotals.h"

namespace corbyl {

// Moves `difference` (a nonzero whole number of quanta, at most two for each
// line the map was made for) onto the subtotals whose sign it shares, one
// quantum at a time, in passes over a fixed order.
std::optional<TabulationError> redistribute_difference(SubtotalMap& subtotals,
                                                       const Decimal& difference,
                                                       uint32_t quantization);

}  // namespace corbyl
