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
// quantization, and one subtotal per id, in the order in which the ids first
// appear; where lines that differ share an id, the later line's subtotal
// replaces the earlier one's.
struct TotalsReport {
  struct Subtotal {
    int32_t id;
    Decimal value;
    // The text of its line that the value was read from (the frozen value,
    // or the amount), or nullptr. Where the value is written exactly as this
    // text, a caller may give back the text it came with.
    const Text* read_from;
  };
  Decimal total;
  Decimal discount;
  // Where no id repeats (the usual bill), the subtotals are the entries of
  // the totals' own map, read in place; otherwise this list of them.
  const Totals* entries_of = nullptr;
  std::vector<Subtotal> subtotals;

  size_t count() const { return entries_of ? entries_of->subtotals.size() : subtotals.size(); }
  Subtotal operator[](size_t i) const {
    return entries_of ? from_entry(*entries_of, entries_of->subtotals.entries()[i]) : subtotals[i];
  }

 private:
  static Subtotal from_entry(const Totals& t, const SubtotalMap::Entry& e) {
    const LineItem& line = t.subtotals.line(e);
    return {e.id, e.value, t.frozen ? &*line.frozen_value : &line.amount};
  }
};
// The report refers to `totals`, which must outlive it.
TotalsReport report_totals(const Totals& totals, uint32_t quantization);

// The total of get_totals alone, not cut to the quantization.
Outcome<Decimal> reckon_lines(std::vector<LineItem> lines, uint32_t quantization);

}  // namespace corbyl
