// The pricing record, its service plans and the two line-generation
// contexts. Every price, fee and percentage is the caller's text, kept as
// given and parsed only by the operation that uses it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line_item.h"
#include "record.h"

namespace corbyl {

#define CORBYL_SERVICE_PLAN_FIELDS(X)                 \
  X(int32_t, id, 0)                                   \
  X(std::string, name, )                              \
  X(bool, connection_fee_waived, false)               \
  X(std::string, per_deliverable_price, )             \
  X(uint16_t, max_simultaneous_orders, 0)             \
  X(bool, waitlisting, false)                         \
  X(bool, paypal_invoicing, false)                    \
  X(std::string, shield_static_price, )               \
  X(std::string, shield_percentage_price, )

struct ServicePlan {
  CORBYL_SERVICE_PLAN_FIELDS(CORBYL_FIELD_MEMBER)
};
CORBYL_RECORD_INFO(ServicePlan, CORBYL_SERVICE_PLAN_FIELDS);

#define CORBYL_PRICING_FIELDS(X)                                  \
  X(std::vector<ServicePlan>, plans, )                            \
  X(std::string, minimum_price, )                                 \
  X(std::string, table_percentage, )                              \
  X(std::string, table_static, )                                  \
  X(std::string, table_tax, )                                     \
  X(std::string, processing_percentage, )                         \
  X(std::string, processing_static, )                             \
  X(std::string, international_conversion_percentage, )           \
  X(std::string, preferred_plan, )                                \
  X(std::string, stripe_blended_rate_percentage, )                \
  X(std::string, stripe_blended_rate_static, )                    \
  X(std::string, stripe_payout_cross_border_percentage, )         \
  X(std::string, stripe_active_account_monthly_fee, )             \
  X(std::string, stripe_payout_static, )                          \
  X(std::string, stripe_payout_percentage, )

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
  X(std::string, base_price, )                     \
  X(bool, table_product, false)                    \
  X(bool, escrow_enabled, false)                   \
  X(bool, international, false)                   \
  X(std::vector<LineItem>, extra_lines, )          \
  X(std::optional<std::string>, plan_name, )       \
  X(std::optional<Pricing>, pricing, )             \
  X(int64_t, user_id, 0)                           \
  X(bool, allow_soft_failure, false)               \
  X(uint32_t, quantization, 0)

struct DeliverableLinesContext {
  CORBYL_DELIVERABLE_LINES_CONTEXT_FIELDS(CORBYL_FIELD_MEMBER)
};
CORBYL_RECORD_INFO(DeliverableLinesContext, CORBYL_DELIVERABLE_LINES_CONTEXT_FIELDS);

}  // namespace corbyl
