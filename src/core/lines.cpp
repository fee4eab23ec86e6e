#include "lines.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "decimal.h"
#include "totals.h"

namespace corbyl {
namespace {

// The lines the module generates. The priorities fix the order in which the
// totals compute them. In the order of kGenerated.
enum class Generated {
  BasePrice, TableService, TableTax, Shield, DeliverableTracking, CardFee, CrossBorder, Payout, Connect,
  TipProcessing, TipCardFee,
};

constexpr bool kOwn = false, kZeroText = true;  // an amount or percentage: the call's text, or kZero
constexpr GeneratedLine::Source kNone{}, kBasePrice{"context", "base_price"};
constexpr GeneratedLine::Source pricing(std::string_view field) { return {"pricing", field}; }
constexpr GeneratedLine::Source plan(std::string_view field) { return {"plan", field}; }
constexpr GeneratedLine kGenerated[] = {
    {-1, LineType::BasePrice, 0, Category::EscrowHold, Account::Escrow, false, kOwn, kZeroText, kBasePrice, kNone},
    {-3, LineType::TableService, 400, Category::TableHandling, Account::Reserve, false, kOwn, kOwn,
     pricing("table_static"), pricing("table_percentage")},
    {-4, LineType::Tax, 700, Category::Taxes, Account::MoneyHoleStage, false, kZeroText, kOwn, kNone,
     pricing("table_tax")},
    // (the shield's percentage is a printed sum)
    {-5, LineType::Shield, 330, Category::ShieldFee, Account::Fund, false, kOwn, kOwn, plan("shield_static_price"),
     kNone},
    {-6, LineType::DeliverableTracking, 300, Category::SubscriptionDues, Account::Fund, false, kOwn, kZeroText,
     plan("per_deliverable_price"), kNone},
    // the card fee of a sale is grossed up so that it is its share of the final sum
    {-7, LineType::CardFee, 350, Category::ThirdPartyFee, Account::Fund, true, kOwn, kOwn,
     pricing("stripe_blended_rate_static"), pricing("stripe_blended_rate_percentage")},
    {-8, LineType::CrossBorderTransferFee, 325, Category::ThirdPartyFee, Account::Fund, false, kZeroText, kOwn, kNone,
     pricing("stripe_payout_cross_border_percentage")},
    {-9, LineType::PayoutFee, 325, Category::ThirdPartyFee, Account::Fund, false, kOwn, kOwn,
     pricing("stripe_payout_static"), pricing("stripe_payout_percentage")},
    {-10, LineType::ConnectFee, 325, Category::ThirdPartyFee, Account::Fund, false, kOwn, kZeroText,
     pricing("stripe_active_account_monthly_fee"), kNone},
    // a tip's processing fee shares the id of a sale's base price line (its
    // percentage is a printed sum)
    {-1, LineType::Processing, 300, Category::ProcessingFee, Account::Fund, false, kOwn, kOwn,
     pricing("processing_static"), kNone},
    // a tip's card fee is not grossed up
    {-7, LineType::CardFee, 350, Category::ThirdPartyFee, Account::Fund, false, kOwn, kOwn,
     pricing("stripe_blended_rate_static"), pricing("stripe_blended_rate_percentage")},
};
static_assert(std::size(kGenerated) == static_cast<size_t>(Generated::TipCardFee) + 1);
static_assert(std::size(kGenerated) < 255);  // 1 + a row fits a line's `generated`

// Adds a generated line to `lines`, made in place (a line made aside and
// moved in would be read whole right after it was written field by field,
// and wait for the fields to reach memory). An amount or percentage that
// its row fixes as kZero is not given.
LineItem& add_generated(std::vector<LineItem>& lines, Generated which, Text amount, Text percentage = {}) {
  const GeneratedLine& g = kGenerated[static_cast<size_t>(which)];
  LineItem& l = lines.emplace_back();
  give_row(l, g);
  if (!g.zero_amount) l.amount = std::move(amount);
  if (!g.zero_percentage) l.percentage = std::move(percentage);
  l.generated = static_cast<uint8_t>(1 + static_cast<size_t>(which));
  return l;
}

// A text of the pricing, a plan or the context, parsed; the parse error
// names the field's place.
std::optional<TabulationError> parse_at(std::string_view text, const Place& place, Decimal& out) {
  ParseError e;
  out = Decimal::parse(text, e);
  if (e != ParseError::None) return error_text(parse_message(e), place);
  return std::nullopt;
}

// Parses a percentage and, when asked (the payment is international), adds
// the pricing's international conversion percentage to it exactly.
std::optional<TabulationError> add_conversion(std::string_view first, const Place& first_place,
                                              const Pricing& pricing, bool international, Decimal& sum) {
  if (auto err = parse_at(first, first_place, sum)) return err;
  if (international) {
    Decimal b;
    if (auto err = parse_at(pricing.international_conversion_percentage,
                            Place::of(Place::In::Pricing, "international_conversion_percentage"), b)) {
      return err;
    }
    sum += b;
  }
  return std::nullopt;
}

using Lines = std::vector<LineItem>;

// The plan a sale asks for, after the checks of the request itself; a
// problem is a message, or under soft failure an empty result.
struct Request {
  ServicePlan* plan = nullptr;
  uint32_t plan_index = 0;
  Decimal per_deliverable;
  std::optional<Outcome<Lines>> stop;  // set when the request ends here
};

Request check_request(DeliverableLinesContext& c) {
  Request r;
  auto problem = [&](std::string message, Place place = {}) {
    if (c.allow_soft_failure) {
      r.stop.emplace(Lines{});
    } else {
      r.stop.emplace(TabulationError{std::move(message), place});
    }
    return std::move(r);
  };
  if (!c.plan_name) return problem(kNoPlanName, Place::of(Place::In::Context, "plan_name"));
  if (!c.pricing) return problem(kPricingNotProvided, Place::of(Place::In::Context, "pricing"));
  auto& plans = c.pricing->plans;
  auto it = std::find_if(plans.begin(), plans.end(), [&](const ServicePlan& p) { return p.name == *c.plan_name; });
  if (it == plans.end()) {
    std::string message = "Could not find ";
    message += c.plan_name->str();
    message += " in plan list.";
    return problem(std::move(message), Place::of(Place::In::Context, "plan_name"));
  }
  r.plan = &*it;
  r.plan_index = static_cast<uint32_t>(it - plans.begin());
  const Decimal::Parsed base = Decimal::parse(c.base_price);  // the line keeps the text
  if (!base.ok()) {
    return problem(std::string(parse_message(base.error)), Place::of(Place::In::Context, "base_price"));
  }
  // the per-deliverable price must parse, soft failure or not
  if (auto err = parse_at(r.plan->per_deliverable_price,
                          Place::of(Place::In::Plan, "per_deliverable_price", r.plan_index), r.per_deliverable)) {
    r.stop.emplace(std::move(*err));
  }
  return r;
}

// The card, payout, cross-border (international) and connect (unless the
// plan waives it) fee lines; the card fee is grossed up so that it is its
// share of the final sum.
void append_processing_group(Lines& r, Pricing& p, const ServicePlan& plan, bool international) {
  add_generated(r, Generated::CardFee, std::move(p.stripe_blended_rate_static),
                std::move(p.stripe_blended_rate_percentage));
  add_generated(r, Generated::Payout, std::move(p.stripe_payout_static), std::move(p.stripe_payout_percentage));
  if (international) {
    add_generated(r, Generated::CrossBorder, {}, std::move(p.stripe_payout_cross_border_percentage));
  }
  if (!plan.connection_fee_waived) {
    add_generated(r, Generated::Connect, std::move(p.stripe_active_account_monthly_fee));
  }
}

// The lines of the case: a table product, an escrow sale with a positive
// total, or neither.
std::optional<TabulationError> append_case_lines(Lines& r, DeliverableLinesContext& c, const Request& request,
                                                 bool positive) {
  ServicePlan& plan = *request.plan;
  Pricing& pricing = *c.pricing;
  if (c.table_product) {
    add_generated(r, Generated::TableService, std::move(pricing.table_static), std::move(pricing.table_percentage));
    add_generated(r, Generated::TableTax, {}, std::move(pricing.table_tax));
    if (positive) append_processing_group(r, pricing, plan, c.international);
  } else if (c.escrow_enabled && positive) {
    Decimal shield;
    const Place place = Place::of(Place::In::Plan, "shield_percentage_price", request.plan_index);
    if (auto err = add_conversion(plan.shield_percentage_price, place, pricing, c.international, shield)) return err;
    add_generated(r, Generated::Shield, std::move(plan.shield_static_price), shield.to_string());
    append_processing_group(r, pricing, plan, c.international);
  } else if (request.per_deliverable > Decimal()) {
    add_generated(r, Generated::DeliverableTracking, std::move(plan.per_deliverable_price));
  }
  return std::nullopt;
}

}  // namespace

std::span<const GeneratedLine> generated_lines() { return kGenerated; }

void give_row(LineItem& l, const GeneratedLine& g) {
  l.id = g.id;
  l.priority = g.priority;
  l.kind = g.kind;
  if (g.zero_amount) l.amount = Text::literal(kZero);
  if (g.zero_percentage) l.percentage = Text::literal(kZero);
  l.category = g.category;
  l.destination_account = g.account;
  l.back_into_percentage = g.back_into_percentage;
}

uint8_t generated_row(const LineItem& l) {
  if (l.id >= 0 || !l.description.empty() || l.frozen_value) return 0;
  for (size_t i = 0; i < std::size(kGenerated); ++i) {
    const GeneratedLine& g = kGenerated[i];
    if (g.id == l.id && g.kind == l.kind && g.priority == l.priority && g.category == l.category &&
        g.account == l.destination_account && g.back_into_percentage == l.back_into_percentage) {
      return static_cast<uint8_t>(i + 1);
    }
  }
  return 0;
}

GeneratedLine::Source generated_source(const LineItem& l, std::string_view field) {
  const uint8_t row = generated_row(l);
  if (row == 0) return kNone;
  const GeneratedLine& g = kGenerated[row - 1];
  return field == "amount" ? g.amount_from : field == "percentage" ? g.percentage_from : kNone;
}

Outcome<Lines> tip_fee_lines(TipLinesContext&& context) {
  if (!context.pricing) return error_text(kPricingNotSpecified, Place::of(Place::In::Context, "pricing"));
  Pricing& p = *context.pricing;
  Decimal processing;
  if (auto err = add_conversion(p.processing_percentage, Place::of(Place::In::Pricing, "processing_percentage"), p,
                                context.international, processing)) {
    return *err;
  }
  Lines lines;
  lines.reserve(4);
  add_generated(lines, Generated::TipProcessing, std::move(p.processing_static), processing.to_string());
  add_generated(lines, Generated::TipCardFee, std::move(p.stripe_blended_rate_static),
                std::move(p.stripe_blended_rate_percentage));
  add_generated(lines, Generated::Payout, std::move(p.stripe_payout_static), std::move(p.stripe_payout_percentage));
  if (context.international) {
    add_generated(lines, Generated::CrossBorder, {}, std::move(p.stripe_payout_cross_border_percentage));
  }
  return lines;
}

Outcome<Lines> deliverable_lines(DeliverableLinesContext&& c) {
  Request request = check_request(c);
  if (request.stop) return std::move(*request.stop);

  Lines r;
  r.reserve(7 + c.extra_lines.size());  // at most 7 generated: base, table service and tax, 4 fees
  const bool brings_base = std::any_of(c.extra_lines.begin(), c.extra_lines.end(),
                                       [](const LineItem& l) { return l.kind == LineType::BasePrice; });
  if (!brings_base) {
    add_generated(r, Generated::BasePrice, std::move(c.base_price)).destination_user_id = c.user_id;
  }

  // The case is decided by the total of the base and extra lines alone.
  Lines reckoned;
  reckoned.reserve(r.size() + c.extra_lines.size());
  reckoned.insert(reckoned.end(), r.begin(), r.end());
  reckoned.insert(reckoned.end(), c.extra_lines.begin(), c.extra_lines.end());
  // a place in the reckoned lines is a place in the extra lines, or the
  // base price line
  auto from_reckoned = [&](Place place) {
    if (place.in == Place::In::Argument) place.in = Place::In::Context;  // the context's quantization
    if (place.in != Place::In::Line) return place;
    if (!brings_base) {
      if (place.index == 0) return Place{Place::In::BaseLine, 0, place.id, 0, place.field, {}, {}};
      --place.index;
    }
    place.in = Place::In::ExtraLine;
    return place;
  };
  Outcome<Decimal> total = [&] {
    try {
      return reckon_lines(std::move(reckoned), c.quantization);
    } catch (ArithmeticAbort& abort) {
      abort.place = from_reckoned(abort.place);
      throw;
    }
  }();
  if (!total.ok()) return TabulationError{total.error().message, from_reckoned(total.error().place)};
  const bool positive = total.value() > quantized_zero(c.quantization);

  if (auto err = append_case_lines(r, c, request, positive)) return *err;
  for (LineItem& l : c.extra_lines) r.push_back(std::move(l));
  return r;
}

}  // namespace corbyl
