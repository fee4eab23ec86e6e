// Totals, redistribution, division and line generation on native records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>
#include <vector>
#include <string>

#include "core/divide.h"
#include "core/exact_sum.h"
#include "core/fast_paths.h"
#include "core/lines.h"
#include "core/redistribute.h"
#include "core/totals.h"

namespace corbyl {

// A text prints as its characters in a failed expectation.
void PrintTo(const Text& t, std::ostream* os) { *os << '"' << t.str() << '"'; }

namespace {

// Where CORBYL_FAST_PATHS=OFF (a run of the whole suite on the general
// paths), the native suite takes none of the fast paths either.
[[maybe_unused]] const bool kGeneralPathsOnly = [] {
  const char* v = std::getenv("CORBYL_FAST_PATHS");
  if (v && std::string(v) == "OFF") g_fast_path_mask = 0;
  return true;
}();

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

// (an empty text has no characters anywhere: it is not the text kept from
// before it, which no line had yet)
TEST(Totals, ParseFailureIsAnError) {
  for (const auto& [amount, message] : {std::pair{"1..", "Invalid decimal: two decimal points"},
                                        std::pair{"", "Invalid decimal: empty"}}) {
    auto t = get_totals({L(1, 0, amount)}, 2);
    ASSERT_FALSE(t.ok()) << amount;
    EXPECT_EQ(t.error().display(), message);
  }
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

// The receiving order: priority (highest first for a positive difference,
// lowest for a negative one), then the smaller value, then the smaller id,
// then the later of two entries. Each case runs at 2 places, where the
// candidates are compared by one 128-bit key each; at 14 places, where
// values of 1.5 and more are too wide for it and by a pair of integers;
// and at 20 places, where values of two places are too wide for either
// and Decimals are compared.
struct OrderCase {
  const char* name;
  std::vector<std::tuple<int32_t, int16_t, std::string>> entries;  // id, priority, value
  int moves;  // quanta; negative for a negative difference
  std::vector<int32_t> receivers;  // ids, in the order in which they receive
};

class ReceivingOrder : public testing::TestWithParam<std::tuple<OrderCase, uint32_t>> {};

TEST_P(ReceivingOrder, IsTheSameWhateverThePlaces) {
  const auto& [c, q] = GetParam();
  std::vector<LineItem> lines;
  for (const auto& [id, priority, value] : c.entries) lines.push_back(L(id, priority, value));
  SubtotalMap m(lines);
  for (uint32_t i = 0; i < lines.size(); ++i) {
    auto parsed = Decimal::parse(lines[i].amount);
    ASSERT_TRUE(parsed.ok()) << lines[i].amount.str();
    m.insert_or_assign(i, parsed.value);
  }
  std::vector<Decimal> before;
  for (const auto& e : m.entries()) before.push_back(e.value);
  const Decimal step = quantum(q);
  Decimal difference = quantized_zero(q);
  for (int k = 0; k < std::abs(c.moves); ++k) difference = c.moves > 0 ? difference + step : difference - step;
  ASSERT_FALSE(redistribute_difference(m, difference, q).has_value());

  std::vector<int32_t> received;
  for (size_t k = 0; k < m.entries().size(); ++k) {
    const Decimal moved = m.entries()[k].value - before[k];
    for (uint64_t n = *whole_quanta(moved, q, 100); n > 0; --n) received.push_back(m.line(m.entries()[k]).id);
  }
  std::vector<int32_t> expected = c.receivers;
  std::sort(expected.begin(), expected.end());
  std::sort(received.begin(), received.end());
  EXPECT_EQ(received, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceivingOrder,
    testing::Combine(
        testing::Values(
            OrderCase{"positive_highest_priority_first", {{1, 0, "5.00"}, {2, 2, "9.00"}, {3, 1, "1.00"}}, 2, {2, 3}},
            OrderCase{"negative_lowest_priority_first", {{1, 0, "-5.00"}, {2, 2, "-9.00"}, {3, 1, "-1.00"}}, -2, {1, 3}},
            OrderCase{"smaller_value_first", {{1, 0, "5.00"}, {2, 0, "1.5"}, {3, 0, "3.00"}}, 2, {2, 3}},
            OrderCase{"negative_smaller_value_first", {{1, 0, "-5.00"}, {2, 0, "-1.5"}, {3, 0, "-3.00"}}, -1, {1}},
            OrderCase{"equal_values_across_scales_by_id", {{7, 0, "2.5"}, {3, 0, "2.50"}, {5, 0, "2.50"}}, 2, {3, 5}},
            OrderCase{"more_moves_than_candidates_wrap", {{1, 0, "1.00"}, {2, 0, "2.00"}, {3, 0, "0.00"}}, 5,
                      {1, 1, 1, 2, 2}},
            OrderCase{"zero_and_opposite_sign_never_receive", {{1, 0, "0.00"}, {2, 0, "-1.00"}, {3, 5, "4.00"}}, 3,
                      {3, 3, 3}}),
        testing::Values(2u, 14u, 20u)),
    [](const testing::TestParamInfo<std::tuple<OrderCase, uint32_t>>& info) {
      return std::string(std::get<0>(info.param).name) + "_at_" + std::to_string(std::get<1>(info.param));
    });

TEST(Redistribution, EqualIdsAndValuesGoToTheLaterEntryFirst) {
  // two different lines (other descriptions) with the same id and value
  std::vector<LineItem> lines{L(4, 0, "1.00"), L(4, 0, "1.00")};
  lines[1].description = "other";
  const Decimal v = Decimal::parse("1.00").value;
  for (const uint32_t q : {2u, 20u}) {
    SubtotalMap m(lines);
    m.insert_or_assign(0, v);
    m.insert_or_assign(1, v);
    ASSERT_FALSE(redistribute_difference(m, quantum(q), q).has_value());
    EXPECT_TRUE(m.entries()[0].value.identical(v)) << q;
    EXPECT_FALSE(m.entries()[1].value.identical(v)) << q;
  }
}

TEST(SubtotalMap, FindsEqualLinesBeforeAndAfterItGetsATable) {
  // inserting one by one moves the map from searching its entries to its
  // table past 24 entries; every line must still find its equal, whether
  // the ids start over or stop rising
  for (const bool start_over : {true, false}) {
    std::vector<LineItem> lines;
    for (int32_t i = 0; i < 60; ++i) {
      const int32_t id = start_over ? i % 40 : std::min(i, 39);
      lines.push_back(L(id, 0, std::to_string(id) + ".00"));
    }
    SubtotalMap m(lines);
    int fresh = 0;
    for (uint32_t i = 0; i < lines.size(); ++i) fresh += m.insert_or_assign(i, Decimal::from_integer(i, 0)) ? 1 : 0;
    EXPECT_EQ(fresh, 40);
    EXPECT_EQ(m.size(), 40u);
    for (uint32_t i = 0; i < lines.size(); ++i) {
      ASSERT_NE(m.find(i), nullptr);
      EXPECT_EQ(m.line(*m.find(i)).id, lines[i].id);
    }
    // the later equal line's value replaced the first one's
    EXPECT_EQ(m.find(start_over ? 0 : 39)->value.to_string(), start_over ? "40" : "59");
  }
}

TEST(SubtotalMap, KeepsLinesWithDistinctIdsApartInItsTable) {
  // no id repeats: the table finds a line's entry by its position, and
  // lines that differ only in another field than the id still get entries
  // of their own
  std::vector<LineItem> lines;
  for (int32_t i = 0; i < 60; ++i) lines.push_back(L(-30 + i, 0, "1.00"));
  SubtotalMap m(lines);
  m.reserve(lines.size());
  for (uint32_t i = 0; i < lines.size(); ++i) EXPECT_TRUE(m.insert_or_assign(i, Decimal::from_integer(i, 2)));
  EXPECT_EQ(m.size(), 60u);
  for (uint32_t i = 0; i < lines.size(); ++i) {
    ASSERT_NE(m.find(i), nullptr);
    EXPECT_EQ(m.find(i)->line, i);
  }
}

// Lines that differ in one byte of one text, wherever that byte is, land in
// many buckets: 256 lines in 1024 buckets fill about 226 of them when the
// hash spreads well, and one when it misses the byte.
TEST(LineHash, OneByteAnywhereInAnyTextSpreadsOverTheBuckets) {
  const std::string text(40, 'x');
  Text LineItem::*texts[] = {&LineItem::amount, &LineItem::description, &LineItem::percentage};
  for (auto field : texts) {
    for (const size_t at : {0, 7, 8, 19, 20, 31, 32, 39}) {
      std::set<uint64_t> buckets;
      for (int v = 0; v < 256; ++v) {
        LineItem l = L(0, 0, "1.00");
        std::string changed = text;
        changed[at] = static_cast<char>(v);
        l.*field = changed;
        buckets.insert(hash_value(l) & 1023);
      }
      EXPECT_GT(buckets.size(), 190u) << "byte " << at;
    }
  }
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
  auto r = deliverable_lines(std::move(c));
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
  auto r = deliverable_lines(std::move(c));
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(r.value().empty());
}

TEST(Lines, TipLines) {
  TipLinesContext c;
  c.pricing = sample_pricing();
  c.international = true;
  auto r = tip_fee_lines(std::move(c));
  ASSERT_TRUE(r.ok());
  ASSERT_EQ(r.value().size(), 4u);
  EXPECT_EQ(r.value()[0].percentage, "3.90");
  EXPECT_EQ(r.value()[3].id, -8);
}

}  // namespace
}  // namespace corbyl
