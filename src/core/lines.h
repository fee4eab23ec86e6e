// Line generation from the pricing: the fee lines of a tip and
// the full line list of the sale of one deliverable. The lines come back
// untabulated; adding them up is the caller's next step.
#pragma once

#include <span>
#include <vector>

#include "error.h"
#include "line_item.h"
#include "records.h"

namespace corbyl {

inline constexpr const char* kPricingNotSpecified = "Pricing not specified.";
inline constexpr const char* kNoPlanName = "No plan name specified.";
inline constexpr const char* kPricingNotProvided = "Pricing specification not provided.";

// One row of the table of the lines the module generates: the fee, tax and
// base price lines of a sale and the fee lines of a tip. Each has a fixed
// id, kind, priority, category and account; an amount or a percentage is
// either the call's text or the literal text "0" (kZero). Every generated
// line also has an empty description and no frozen value; only the base
// price line has a user.
struct GeneratedLine {
  // Where a text of the line comes from in the line generators' context:
  // the record ("pricing", "plan" for the chosen plan, or "context") and
  // its field; empty for kZero or a number the generator prints.
  struct Source {
    std::string_view record;
    std::string_view field;
  };
  int32_t id;
  LineType kind;
  int16_t priority;
  Category category;
  Account account;
  bool back_into_percentage;
  bool zero_amount;      // the amount is kZero
  bool zero_percentage;  // the percentage is kZero
  Source amount_from;
  Source percentage_from;
};

// The text "0" of a generated line's amount or percentage.
inline constexpr std::string_view kZero = "0";

// Every row, once. A generated LineItem's `generated` is 1 + its row here.
std::span<const GeneratedLine> generated_lines();

// Gives `line` the fixed fields of `row`, and kZero as the texts it fixes.
void give_row(LineItem& line, const GeneratedLine& row);

// 1 + the row whose fixed fields `line` has (as a generated line handed
// back by the caller has), or 0.
uint8_t generated_row(const LineItem& line);

// Where the text `field` ("amount" or "percentage") of a line comes from,
// if the line has every fixed field of a row (as a generated line handed
// back by the caller has): a name for an error in that text.
GeneratedLine::Source generated_source(const LineItem& line, std::string_view field);

// Both take the context over: its texts and extra lines move into the
// lines, and what is left of it is only fit to be destroyed.

// Processing, card and payout fee lines, and the cross-border line for an
// international payment.
Outcome<std::vector<LineItem>> tip_fee_lines(TipLinesContext&& context);

// The base price line (unless an extra line is one), the lines of the case
// (table product, escrow, or neither) and the caller's extra lines.
Outcome<std::vector<LineItem>> deliverable_lines(DeliverableLinesContext&& context);

}  // namespace corbyl
