// Adding line items up: the total, the discount and one subtotal per line,
// with rounding differences moved onto lines one quantum at a time so that
// the subtotals add up exactly to the total.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "error.h"
#include "line_item.h"
#include "decimal.h"
#include "subtotals.h"

namespace corbyl {

struct Totals {
  Decimal total;
  Decimal discount;
  bool frozen = false;          // frozen mode: the subtotals are the frozen values
  std::vector<LineItem> lines;  // the lines of the call, which the subtotals refer to
  SubtotalMap subtotals;
};

inline constexpr const char* kUnfrozenLine = "Unfrozen line found!";
inline constexpr const char* kMissingKey = "Missing key from decimal map. How?";
inline constexpr const char* kNoCandidates =
    "No line items to distribute difference to. You may be missing a base price line item, "
    "which should be included even if the base price would be zero.";
inline constexpr const char* kTooLargeToTotal =
    "Amounts are too large to total exactly at this quantization.";

// Frozen mode when the list is not empty and every line has a frozen value
// (those are only summed); computed mode otherwise.
Outcome<Totals> get_totals(std::vector<LineItem> lines, uint32_t quantization);

// What a call of the totals reports: the total and the discount cut to the
// quantization, and one subtotal per entry of the map, in its order, with
// its line's id. Where lines that differ share an id, the caller keeps the
// later entry's subtotal at the place of the first (as a dict does when a
// key is set again).
struct TotalsReport {
  struct Subtotal {
    int32_t id;
    Decimal value;
    // The text of its line that the value was read from (the frozen value,
    // or the amount). Where the value is written exactly as this text, a
    // caller may give back the text it came with.
    const Text* read_from;
  };
  Decimal total;
  Decimal discount;
  const Totals* totals;  // which the report refers to, and must outlive it

  size_t count() const { return totals->subtotals.size(); }
  Subtotal operator[](size_t i) const {
    const SubtotalMap::Entry& e = totals->subtotals.entries()[i];
    const LineItem& line = totals->subtotals.line(e);
    return {e.id, e.value, totals->frozen ? &*line.frozen_value : &line.amount};
  }
};
TotalsReport report_totals(const Totals& totals, uint32_t quantization);

// The total of get_totals alone, not cut to the quantization.
Outcome<Decimal> reckon_lines(std::vector<LineItem> lines, uint32_t quantization);

}  // namespace corbyl
