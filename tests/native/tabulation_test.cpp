// Totals, redistribution, division and line generation on native records.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "decimal/exact_sum.h"
#include "funcs/divide.h"
#include "funcs/lines.h"
#include "funcs/totals.h"

namespace corbyl {
namespace {

LineItem L(int32_t id, int16_t priority, std::string amount, std::string percentage = "0", bool back = false) {
  LineItem l;
  l.id = id;
  l.priority = priority;
  l.amount = std::move(amount);
  l.percentage = std::move(percentage);
  l.back_into_percentage = back;
  return l;
}

std::map<int32_t, std::string> subtotals(const Totals& t) {
  std::map<int32_t, std::string> m;
  for (const auto& e : t.subtotals.entries()) m[t.subtotals.line(e).id] = e.value.to_string();
  return m;
}

TEST(Totals, DifferenceIsMovedOntoTheLastServedLine) {
  auto t = get_totals({L(1, 0, "10.00"), L(2, 1, "0", "3.35"), L(3, 1, "0", "3.35")}, 2);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(value_string(t.value().total, 2), "10.67");
  EXPECT_EQ(subtotals(t.value()), (std::map<int32_t, std::string>{{1, "10.00"}, {2, "0.34"}, {3, "0.33"}}));
}

TEST(Totals, GrossedUpPercentage) {
  auto t = get_totals({L(1, 0, "10.00"), L(2, 1, "0", "10", true)}, 2);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.value().total.to_string(), "11.11");
}

TEST(Totals, FrozenModeOnlySums) {
  LineItem a = L(1, 0, "x"), b = L(2, 0, "y");
  a.frozen_value = "5.005";
  b.frozen_value = "-1.5";
  auto t = get_totals({a, b}, 2);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.value().total.to_string(), "3.505");
  EXPECT_EQ(t.value().discount.to_string(), "-1.5");
}

TEST(Totals, ParseFailureIsAnError) {
  auto t = get_totals({L(1, 0, "1..")}, 2);
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error().display(), "Invalid decimal: two decimal points");
}

TEST(Totals, LargeAmountsFailInsteadOfHanging) {
  auto t = get_totals({L(1, 0, "67375075838706363879332433.03"), L(2, 1, "16856827202036272743746331346"),
                       L(3, 1, "2987943783167213609279637553.5")},
                      24);
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error().display(), kTooLargeToTotal);
}

TEST(Totals, EqualLinesShareAnEntry) {
  auto t = get_totals({L(1, 0, "2.00"), L(1, 0, "2.00")}, 2);
  ASSERT_TRUE(t.ok());
  EXPECT_EQ(t.value().subtotals.size(), 1u);
  EXPECT_EQ(t.value().total.to_string(), "2.00");
}

TEST(Redistribution, FailsWithoutCandidates) {
  auto t = get_totals({L(1, 0, "0.009"), L(2, 0, "0.009")}, 2);
  ASSERT_FALSE(t.ok());
  EXPECT_EQ(t.error().display(), kNoCandidates);
}

TEST(Reckon, KeepsOnlyTheTotal) {
  auto r = reckon_lines({L(1, 0, "1.00"), L(2, 1, "0.009"), L(3, 1, "0.009"), L(4, 1, "0.009")}, 2);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r.value().to_string(), "1.02");
}

TEST(Divide, PartsAddUpAndDifferByOneQuantum) {
  auto d = divide_amount("1.00", 8, 2);
  ASSERT_TRUE(d.ok());
  EXPECT_EQ(d.value().larger.to_string(), "0.13");
  EXPECT_EQ(d.value().larger_count, 4u);
  EXPECT_EQ(d.value().base.to_string(), "0.12");
}

TEST(Divide, ErrorsInOrder) {
  EXPECT_EQ(divide_amount("1.505", 0, 2).error().display(), kImproperlyQuantized);
  EXPECT_EQ(divide_amount("1", 0, 2).error().display(), kDivideByZero);
  EXPECT_EQ(divide_amount("100", 3, 28).error().display(), kNotDivisibleExactly);
  EXPECT_THROW((void)divide_amount("1", 3, 29), ArithmeticAbort);
}

Pricing sample_pricing() {
  Pricing p;
  ServicePlan plan;
  plan.name = "basic";
  plan.per_deliverable_price = "0.50";
  plan.shield_static_price = "0.75";
  plan.shield_percentage_price = "2.5";
  p.plans.push_back(plan);
  p.international_conversion_percentage = "1.00";
  p.processing_percentage = "2.90";
  p.stripe_blended_rate_static = "0.30";
  p.stripe_blended_rate_percentage = "2.9";
  p.stripe_payout_static = "0.25";
  p.stripe_payout_percentage = "0.25";
  p.stripe_payout_cross_border_percentage = "0.25";
  p.stripe_active_account_monthly_fee = "2.00";
  return p;
}

TEST(Lines, EscrowSaleInternational) {
  DeliverableLinesContext c;
  c.base_price = "25.00";
  c.escrow_enabled = true;
  c.international = true;
  c.plan_name = "basic";
  c.pricing = sample_pricing();
  c.quantization = 2;
  auto r = deliverable_lines(c);
  ASSERT_TRUE(r.ok());
  std::vector<int32_t> ids;
  for (const auto& l : r.value()) ids.push_back(l.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{-1, -5, -7, -9, -8, -10}));
  EXPECT_EQ(r.value()[1].percentage, "3.50");
  EXPECT_TRUE(r.value()[2].back_into_percentage);
}

TEST(Lines, SoftFailureGivesNothing) {
  DeliverableLinesContext c;
  c.allow_soft_failure = true;
  c.extra_lines.push_back(L(5, 0, "1"));
  auto r = deliverable_lines(c);
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r.value().empty());
}

TEST(Lines, TipLines) {
  TipLinesContext c;
  c.pricing = sample_pricing();
  c.international = true;
  auto r = tip_fee_lines(c);
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.value().size(), 4u);
  EXPECT_EQ(r.value()[0].percentage, "3.90");
  EXPECT_EQ(r.value()[3].id, -8);
}

}  // namespace
}  // namespace corbyl
