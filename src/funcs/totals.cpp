#include "totals.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "../decimal/exact_sum.h"

namespace corbyl {
namespace {

TabulationError parse_failure(ParseError e) { return error_text(parse_message(e)); }

// Frozen mode: the frozen values are only summed, nothing is quantized.
void frozen_totals(Totals& t, std::optional<TabulationError>& error) {
  const std::vector<LineItem>& lines = t.lines;
  for (uint32_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].frozen_value) {
      error = error_text(kUnfrozenLine);
      return;
    }
    const Decimal::Parsed v = Decimal::parse(*lines[i].frozen_value);
    if (!v.ok()) {
      error = parse_failure(v.error);
      return;
    }
    if (v.value < Decimal()) t.discount += v.value;
    t.total += v.value;
    t.subtotals.insert_or_assign(i, v.value);
  }
}

// The positions of the lines in ascending priority, equal priorities in
// input order. Short lists (the usual bill) are sorted in place, on the
// stack; longer ones in a vector with a stable sort.
class PriorityOrder {
 public:
  explicit PriorityOrder(const std::vector<LineItem>& lines) : n_(lines.size()) {
    uint32_t* o = n_ <= kSmall ? small_.data() : (large_.resize(n_), large_.data());
    std::iota(o, o + n_, 0u);
    auto before = [&](uint32_t a, uint32_t b) { return lines[a].priority < lines[b].priority; };
    if (n_ > kSmall) {
      std::stable_sort(o, o + n_, before);
      return;
    }
    for (size_t i = 1; i < n_; ++i) {
      const uint32_t v = o[i];
      size_t j = i;
      for (; j > 0 && before(v, o[j - 1]); --j) o[j] = o[j - 1];
      o[j] = v;
    }
  }
  size_t size() const { return n_; }
  uint32_t operator[](size_t i) const { return n_ <= kSmall ? small_[i] : large_[i]; }

 private:
  static constexpr size_t kSmall = 64;
  size_t n_;
  std::array<uint32_t, kSmall> small_;
  std::vector<uint32_t> large_;
};

// Computed mode: groups of equal priority in ascending order; a percentage
// applies to the total of the groups before its own.
void computed_totals(Totals& t, uint32_t q, std::optional<TabulationError>& error) {
  const Decimal zero = quantized_zero(q);  // aborts above 28 places, before any parsing
  static const Decimal kHundredth = Decimal::from_parts(1, 2, false);
  static const Decimal kOne = Decimal::from_parts(1, 0, false);
  const std::vector<LineItem>& lines = t.lines;
  auto fail = [&](TabulationError e) { error = std::move(e); };

  const PriorityOrder order(lines);

  t.total = zero;
  t.discount = zero;
  SubtotalMap& m = t.subtotals;

  for (size_t i = 0; i < order.size();) {
    const int16_t priority = lines[order[i]].priority;
    Decimal group_sum = zero;
    for (; i < order.size() && lines[order[i]].priority == priority; ++i) {
      const LineItem& line = lines[order[i]];
      const Decimal::Parsed a = Decimal::parse(line.amount);
      if (!a.ok()) return fail(parse_failure(a.error));
      const Decimal::Parsed p = Decimal::parse(line.percentage);
      if (!p.ok()) return fail(parse_failure(p.error));
      const Decimal f = kHundredth * p.value;
      Decimal x;
      if (!line.back_into_percentage) {
        x = t.total * f;
      } else {
        // Grossed up, so that the line is the share f of the final sum b + x.
        // The order of the operations is part of the result.
        const Decimal r = kOne / (kOne - f);
        const Decimal b = t.total + a.value;
        x = (b * r) - b;
      }
      const Decimal v = (zero + a.value) + x;
      const Decimal s = x + a.value;
      // An equal line seen before in this group shares its entry, and its
      // value counts once in the group sum.
      const bool is_new = m.insert_or_assign(order[i], s);
      if (is_new && v != zero) group_sum += v;
      if (s < zero) t.discount += s;
    }
    t.total += quantize(group_sum, q);
  }

  Decimal sum = zero;
  for (auto& e : m.entries()) {
    e.value = quantize(e.value, q);
    sum += e.value;
  }
  const Decimal difference = t.total - sum;
  if (difference != zero) {
    // Exact arithmetic leaves at most one quantum per line and one per group;
    // anything else means the 96-bit sums rounded, and handing it out one
    // quantum at a time would neither end soon nor add up.
    if (!whole_quanta(difference, q, 2 * static_cast<uint64_t>(lines.size()))) {
      return fail(error_text(kTooLargeToTotal));
    }
    if (auto err = redistribute_difference(m, difference, q)) return fail(std::move(*err));
  }
  ExactSum exact;
  for (const auto& e : m.entries()) exact.add(e.value);
  if (!exact.equals(t.total)) return fail(error_text(kTooLargeToTotal));

  t.discount = quantize(t.discount, q);
}

struct Candidate {
  size_t entry;  // position in the map; entries are never removed
  int16_t priority;
  int32_t id;
  Decimal value;  // the value before any move, used only for ordering
};

// Below zero when a comes before b: a positive difference sorts by
// ascending priority, a negative one by descending priority; then by
// descending value, then by descending id.
int redistribution_priority(bool positive, const Candidate& a, const Candidate& b) {
  if (a.priority != b.priority) {
    return positive ? a.priority - b.priority : b.priority - a.priority;
  }
  const int c = compare(b.value, a.value);
  if (c != 0) return c;
  return b.id < a.id ? -1 : (b.id > a.id ? 1 : 0);
}

}  // namespace

std::optional<TabulationError> redistribute_difference(SubtotalMap& m, const Decimal& difference,
                                                       uint32_t q) {
  const Decimal zero = quantized_zero(q);
  const bool positive = difference > zero;
  const Decimal step = positive ? quantum(q) : zero - quantum(q);

  std::vector<Candidate> candidates;
  const auto& entries = m.entries();
  for (size_t k = 0; k < entries.size(); ++k) {
    const Decimal& v = entries[k].value;
    if (positive ? v > zero : v < zero) {
      const LineItem& line = m.line(entries[k]);
      candidates.push_back({k, line.priority, line.id, v});
    }
  }
  std::stable_sort(candidates.begin(), candidates.end(), [&](const Candidate& a, const Candidate& b) {
    return redistribution_priority(positive, a, b) < 0;
  });
  if (candidates.empty()) return error_text(kNoCandidates);

  // The difference is handed out one step at a time, taking candidates
  // from the end of the sorted list and starting over when it runs empty.
  const auto moves = whole_quanta(difference, q, UINT64_MAX);
  if (!moves) return error_text(kTooLargeToTotal);
  size_t next = candidates.size();
  for (uint64_t k = 0; k < *moves; ++k) {
    if (next == 0) next = candidates.size();
    const Candidate& c = candidates[--next];
    if (c.entry >= m.size()) return error_text(kMissingKey);
    Decimal& value = m.entries()[c.entry].value;
    value = value + step;
  }
  return std::nullopt;
}

Outcome<Totals> get_totals(std::vector<LineItem> lines, uint32_t q) {
  Totals t;
  t.lines = std::move(lines);  // moving a vector keeps its buffer: the map may point into it
  t.subtotals = SubtotalMap(t.lines);
  t.subtotals.reserve(t.lines.size());
  const bool frozen =
      !t.lines.empty() && std::all_of(t.lines.begin(), t.lines.end(),
                                      [](const LineItem& l) { return l.frozen_value.has_value(); });
  std::optional<TabulationError> error;
  if (frozen) {
    frozen_totals(t, error);
  } else {
    computed_totals(t, q, error);
  }
  if (error) return std::move(*error);
  return t;
}

Outcome<Decimal> reckon_lines(std::vector<LineItem> lines, uint32_t q) {
  Outcome<Totals> t = get_totals(std::move(lines), q);
  if (!t.ok()) return t.error();
  return t.value().total;
}

}  // namespace corbyl
