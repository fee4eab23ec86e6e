// The pricing record, its service plans and the two line-generation
// contexts. Every price, fee and percentage is the caller's text, kept as
// given and parsed only by the operation that uses it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "line_item.h"

namespace corbyl {

struct ServicePlan {
  int32_t id = 0;
  std::string name;
  bool connection_fee_waived = false;
  std::string per_deliverable_price;
  uint16_t max_simultaneous_orders = 0;
  bool waitlisting = false;
  bool paypal_invoicing = false;
  std::string shield_static_price;
  std::string shield_percentage_price;
};

struct Pricing {
  std::vector<ServicePlan> plans;
  std::string minimum_price;
  std::string table_percentage;
  std::string table_static;
  std::string table_tax;
  std::string processing_percentage;
  std::string processing_static;
  std::string international_conversion_percentage;
  std::string preferred_plan;
  std::string stripe_blended_rate_percentage;
  std::string stripe_blended_rate_static;
  std::string stripe_payout_cross_border_percentage;
  std::string stripe_active_account_monthly_fee;
  std::string stripe_payout_static;
  std::string stripe_payout_percentage;
};

struct TipLinesContext {
  std::optional<Pricing> pricing;
  bool international = false;
  uint32_t quantization = 0;
};

struct DeliverableLinesContext {
  std::string base_price;
  bool table_product = false;
  bool escrow_enabled = false;
  bool international = false;
  std::vector<LineItem> extra_lines;
  std::optional<std::string> plan_name;
  std::optional<Pricing> pricing;
  int64_t user_id = 0;
  bool allow_soft_failure = false;
  uint32_t quantization = 0;
};

}  // namespace corbyl
