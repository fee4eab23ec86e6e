// Conversion between Python objects and the native records: one converter
// per native type, each returning false with a Python error set on failure.
// Records are read key by key, by subscript, in declared field order; a
// missing key surfaces as the mapping's own error, a bad value as
// TypeError "failed to extract field Record.key" caused by the value's error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "../decimal/decimal.h"
#include "line_item.h"
#include "pyref.h"
#include "records.h"

namespace corbyl::py {

#define CORBYL_KEYS(X)                                                                          \
  X(id) X(priority) X(kind) X(amount) X(description) X(frozen_value) X(percentage) X(category) \
  X(destination_user_id) X(destination_account) X(back_into_percentage) X(plans)               \
  X(minimum_price) X(table_percentage) X(table_static) X(table_tax) X(processing_percentage)   \
  X(processing_static) X(international_conversion_percentage) X(preferred_plan)                \
  X(stripe_blended_rate_percentage) X(stripe_blended_rate_static)                              \
  X(stripe_payout_cross_border_percentage) X(stripe_active_account_monthly_fee)                \
  X(stripe_payout_static) X(stripe_payout_percentage) X(name) X(connection_fee_waived)         \
  X(per_deliverable_price) X(max_simultaneous_orders) X(waitlisting) X(paypal_invoicing)       \
  X(shield_static_price) X(shield_percentage_price) X(pricing) X(international)                \
  X(quantization) X(base_price) X(table_product) X(escrow_enabled) X(extra_lines) X(plan_name) \
  X(user_id) X(allow_soft_failure) X(total) X(discount) X(subtotals)

// Interned key strings, created once per process and never released.
struct Keys {
#define CORBYL_KEY_FIELD(k) PyObject* k = nullptr;
  CORBYL_KEYS(CORBYL_KEY_FIELD)
#undef CORBYL_KEY_FIELD
};
const Keys& keys();
bool init_keys();

// Scalars (top-level arguments and record fields alike).
bool read_u32(PyObject* o, uint32_t& out);
bool read_u16(PyObject* o, uint16_t& out);
bool read_i32(PyObject* o, int32_t& out);
bool read_i16(PyObject* o, int16_t& out);
bool read_i64(PyObject* o, int64_t& out);
bool read_bool(PyObject* o, bool& out);
bool read_text(PyObject* o, std::string& out);

// Records and lists of records.
bool read_line_items(PyObject* o, std::vector<LineItem>& out);
bool read_pricing(PyObject* o, std::optional<Pricing>& out);
bool read_tip_context(PyObject* o, TipLinesContext& out);
bool read_deliverable_context(PyObject* o, DeliverableLinesContext& out);

// Results: new references, nullptr with an error set on failure.
PyObject* decimal_to_str(const Decimal& d);
PyObject* line_item_to_dict(const LineItem& line);
PyObject* line_items_to_list(const std::vector<LineItem>& lines);

}  // namespace corbyl::py
