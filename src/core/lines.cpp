#include "lines.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "decimal.h"
#include "totals.h"

namespace corbyl {
namespace {

// A generated line: fixed id, kind, priority, category and account; empty
// description, no frozen value.
LineItem fee_line(int32_t id, LineType kind, int16_t priority, Category category, Account account,
                  std::string amount, std::string percentage, bool back_into_percentage = false) {
  LineItem l;
  l.id = id;
  l.priority = priority;
  l.kind = kind;
  l.amount = std::move(amount);
  l.percentage = std::move(percentage);
  l.category = category;
  l.destination_account = account;
  l.back_into_percentage = back_into_percentage;
  return l;
}

// Parses a percentage and, when asked, adds a second one to it exactly.
std::optional<TabulationError> add_percentages(const std::string& first, const std::string* second,
                                               Decimal& sum) {
  Decimal::Parsed a = Decimal::parse(first);
  if (!a.ok()) return error_text(parse_message(a.error));
  sum = a.value;
  if (second) {
    Decimal::Parsed b = Decimal::parse(*second);
    if (!b.ok()) return error_text(parse_message(b.error));
    sum += b.value;
  }
  return std::nullopt;
}

}  // namespace

Outcome<std::vector<LineItem>> tip_fee_lines(TipLinesContext context) {
  if (!context.pricing) return error_text(kPricingNotSpecified);
  Pricing& p = *context.pricing;
  Decimal processing;
  if (auto err = add_percentages(p.processing_percentage,
                                 context.international ? &p.international_conversion_percentage : nullptr,
                                 processing)) {
    return *err;
  }
  std::vector<LineItem> lines;
  lines.reserve(3);
  lines.push_back(fee_line(-1, LineType::Processing, 300, Category::ProcessingFee, Account::Fund,
                           std::move(p.processing_static), processing.to_string()));
  lines.push_back(fee_line(-7, LineType::CardFee, 350, Category::ThirdPartyFee, Account::Fund,
                           std::move(p.stripe_blended_rate_static),
                           std::move(p.stripe_blended_rate_percentage)));
  lines.push_back(fee_line(-9, LineType::PayoutFee, 325, Category::ThirdPartyFee, Account::Fund,
                           std::move(p.stripe_payout_static), std::move(p.stripe_payout_percentage)));
  if (context.international) {
    lines.push_back(fee_line(-8, LineType::CrossBorderTransferFee, 325, Category::ThirdPartyFee,
                             Account::Fund, "0", std::move(p.stripe_payout_cross_border_percentage)));
  }
  return lines;
}

Outcome<std::vector<LineItem>> deliverable_lines(DeliverableLinesContext c) {
  // Problems of the request itself give an empty list under soft failure.
  auto request_problem = [&](std::string message) -> Outcome<std::vector<LineItem>> {
    if (c.allow_soft_failure) return std::vector<LineItem>{};
    return TabulationError{std::move(message)};
  };

  if (!c.plan_name) return request_problem(kNoPlanName);
  if (!c.pricing) return request_problem(kPricingNotProvided);
  Pricing& pricing = *c.pricing;
  auto plan_it = std::find_if(pricing.plans.begin(), pricing.plans.end(),
                              [&](const ServicePlan& p) { return p.name == *c.plan_name; });
  if (plan_it == pricing.plans.end()) {
    return request_problem("Could not find " + *c.plan_name + " in plan list.");
  }
  ServicePlan& plan = *plan_it;

  const Decimal::Parsed base = Decimal::parse(c.base_price);  // the line keeps the text
  if (!base.ok()) return request_problem(std::string(parse_message(base.error)));
  const Decimal::Parsed per_deliverable = Decimal::parse(plan.per_deliverable_price);
  if (!per_deliverable.ok()) return error_text(parse_message(per_deliverable.error));

  std::vector<LineItem> r;
  r.reserve(6 + c.extra_lines.size());
  const bool brings_base = std::any_of(c.extra_lines.begin(), c.extra_lines.end(),
                                       [](const LineItem& l) { return l.kind == LineType::BasePrice; });
  if (!brings_base) {
    LineItem b = fee_line(-1, LineType::BasePrice, 0, Category::EscrowHold, Account::Escrow,
                          std::move(c.base_price), "0");
    b.destination_user_id = c.user_id;
    r.push_back(std::move(b));
  }

  // The case is decided by the total of the base and extra lines alone.
  std::vector<LineItem> reckoned;
  reckoned.reserve(r.size() + c.extra_lines.size());
  reckoned.insert(reckoned.end(), r.begin(), r.end());
  reckoned.insert(reckoned.end(), c.extra_lines.begin(), c.extra_lines.end());
  Outcome<Decimal> total = reckon_lines(std::move(reckoned), c.quantization);
  if (!total.ok()) return total.error();
  const bool positive = total.value() > quantized_zero(c.quantization);

  auto processing_group = [&] {
    r.push_back(fee_line(-7, LineType::CardFee, 350, Category::ThirdPartyFee, Account::Fund,
                         std::move(pricing.stripe_blended_rate_static),
                         std::move(pricing.stripe_blended_rate_percentage), true));
    r.push_back(fee_line(-9, LineType::PayoutFee, 325, Category::ThirdPartyFee, Account::Fund,
                         std::move(pricing.stripe_payout_static),
                         std::move(pricing.stripe_payout_percentage)));
    if (c.international) {
      r.push_back(fee_line(-8, LineType::CrossBorderTransferFee, 325, Category::ThirdPartyFee,
                           Account::Fund, "0", std::move(pricing.stripe_payout_cross_border_percentage)));
    }
    if (!plan.connection_fee_waived) {
      r.push_back(fee_line(-10, LineType::ConnectFee, 325, Category::ThirdPartyFee, Account::Fund,
                           std::move(pricing.stripe_active_account_monthly_fee), "0"));
    }
  };

  if (c.table_product) {
    r.push_back(fee_line(-3, LineType::TableService, 400, Category::TableHandling, Account::Reserve,
                         std::move(pricing.table_static), std::move(pricing.table_percentage)));
    r.push_back(fee_line(-4, LineType::Tax, 700, Category::Taxes, Account::MoneyHoleStage, "0",
                         std::move(pricing.table_tax)));
    if (positive) processing_group();
  } else if (c.escrow_enabled && positive) {
    Decimal shield;
    if (auto err = add_percentages(plan.shield_percentage_price,
                                   c.international ? &pricing.international_conversion_percentage : nullptr,
                                   shield)) {
      return *err;
    }
    r.push_back(fee_line(-5, LineType::Shield, 330, Category::ShieldFee, Account::Fund,
                         std::move(plan.shield_static_price), shield.to_string()));
    processing_group();
  } else if (per_deliverable.value > Decimal()) {
    r.push_back(fee_line(-6, LineType::DeliverableTracking, 300, Category::SubscriptionDues, Account::Fund,
                         std::move(plan.per_deliverable_price), "0"));
  }

  for (LineItem& l : c.extra_lines) r.push_back(std::move(l));
  return r;
}

}  // namespace corbyl
