// The pricing record, its service plans and the two line-generation
// contexts. Every price, fee and percentage is the caller's text, kept as
// given and parsed only by the operation that uses it.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "line_item.h"
#include "record.h"
#include "text.h"

namespace corbyl {

#define CORBYL_SERVICE_PLAN_FIELDS(X)     \
  X(int32_t, id, 0)                       \
  X(Text, name, )                         \
  X(bool, connection_fee_waived, false)   \
  X(Text, per_deliverable_price, )        \
  X(uint16_t, max_simultaneous_orders, 0) \
  X(bool, waitlisting, false)             \
  X(bool, paypal_invoicing, false)        \
  X(Text, shield_static_price, )          \
  X(Text, shield_percentage_price, )

struct ServicePlan {
  CORBYL_SERVICE_PLAN_FIELDS(CORBYL_FIELD_MEMBER)

  // (written out, like the line item's: a plan read in place into its list
  // is not zero-filled first)
  ServicePlan() {}  // NOLINT: not = default
};
CORBYL_RECORD_INFO(ServicePlan, CORBYL_SERVICE_PLAN_FIELDS);

#define CORBYL_PRICING_FIELDS(X)                   \
  X(std::vector<ServicePlan>, plans, )             \
  X(Text, minimum_price, )                         \
  X(Text, table_percentage, )                      \
  X(Text, table_static, )                          \
  X(Text, table_tax, )                             \
  X(Text, processing_percentage, )                 \
  X(Text, processing_static, )                     \
  X(Text, international_conversion_percentage, )   \
  X(Text, preferred_plan, )                        \
  X(Text, stripe_blended_rate_percentage, )        \
  X(Text, stripe_blended_rate_static, )            \
  X(Text, stripe_payout_cross_border_percentage, ) \
  X(Text, stripe_active_account_monthly_fee, )     \
  X(Text, stripe_payout_static, )                  \
  X(Text, stripe_payout_percentage, )

struct Pricing {
  CORBYL_PRICING_FIELDS(CORBYL_FIELD_MEMBER)
};
CORBYL_RECORD_INFO(Pricing, CORBYL_PRICING_FIELDS);

#define CORBYL_TIP_LINES_CONTEXT_FIELDS(X) \
  X(std::optional<Pricing>, pricing, )     \
  X(bool, international, false)            \
  X(uint32_t, quantization, 0)

struct TipLinesContext {
  CORBYL_TIP_LINES_CONTEXT_FIELDS(CORBYL_FIELD_MEMBER)
};
CORBYL_RECORD_INFO(TipLinesContext, CORBYL_TIP_LINES_CONTEXT_FIELDS);

#define CORBYL_DELIVERABLE_LINES_CONTEXT_FIELDS(X) \
  X(Text, base_price, )                            \
  X(bool, table_product, false)                    \
  X(bool, escrow_enabled, false)                   \
  X(bool, international, false)                    \
  X(std::vector<LineItem>, extra_lines, )          \
  X(std::optional<Text>, plan_name, )              \
  X(std::optional<Pricing>, pricing, )             \
  X(int64_t, user_id, 0)                           \
  X(bool, allow_soft_failure, false)               \
  X(uint32_t, quantization, 0)

struct DeliverableLinesContext {
  CORBYL_DELIVERABLE_LINES_CONTEXT_FIELDS(CORBYL_FIELD_MEMBER)
};
CORBYL_RECORD_INFO(DeliverableLinesContext, CORBYL_DELIVERABLE_LINES_CONTEXT_FIELDS);

}  // namespace corbyl
