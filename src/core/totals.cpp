#include "totals.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <functional>
#include <numeric>

#include "exact_sum.h"
#include "lines.h"
#include "redistribute.h"

namespace corbyl {
namespace {

// The parse error of one field of line i, at its place (with where a line
// generator takes it from, for a line that looks like one it makes).
CORBYL_COLD TabulationError parse_error(const LineItem& line, uint32_t i, std::string_view field, ParseError e) {
  Place place = Place::line(i, line.id, field);
  const GeneratedLine::Source source = generated_source(line, field);
  place.source_record = source.record;
  place.source_field = source.field;
  return error_text(parse_message(e), place);
}

// Whether two texts of a call's lines are the same text. Lines of a bill
// often share the very text of an amount or a percentage (a fee's
// percentage, the one-character "0" that the interpreter keeps once), and
// the characters of a call's lines stay where they are and as they are for
// the whole call: the same place and length are the same text.
inline bool same_place(std::string_view x, std::string_view y) {
  return x.data() == y.data() && x.size() == y.size();
}

// The number of the text parsed last in one field, kept while the same
// text comes again.
//
// Fast path (FastPath::RepeatedText): lines of a bill often share the very
// str of an amount or a percentage, and its number is not parsed again.
// Assumes that the same place and length are the same text for the whole
// call (same_place); a text at another place is parsed and kept instead.
// Buys 2 % of a call of 100 lines (benchmarks/README.md).
struct LastParsed {
  std::string_view text;  // empty: nothing kept (a text that parses is never empty)
  Decimal value;
};

// The text of one field of line i parsed (or the text parsed last in the
// same field); false with `error` set when it does not parse.
inline bool parse_field(const LineItem& line, uint32_t i, std::string_view field, std::string_view text,
                        LastParsed& last, Decimal& out, std::optional<TabulationError>& error) {
  if (fast_path(FastPath::RepeatedText) && !last.text.empty() && same_place(text, last.text)) {
    out = last.value;
    return true;
  }
  ParseError e;
  out = Decimal::parse(text, e);
  if (e != ParseError::None) [[unlikely]] {
    error = parse_error(line, i, field, e);
    return false;
  }
  last = LastParsed{text, out};
  return true;
}

// Whether line b has the very texts of line a, and is grossed up alike.
inline bool same_texts(const LineItem& b, const LineItem& a) {
  return same_place(b.amount, a.amount) && same_place(b.percentage, a.percentage) &&
         b.back_into_percentage == a.back_into_percentage;
}

// Runs `work`; an abort inside it is marked with `place` (unless a place
// nearer to it was set) as it passes.
template <typename F>
auto at_place(const Place& place, F&& work) {
  try {
    return work();
  } catch (ArithmeticAbort& abort) {
    if (!abort.place.known()) abort.place = place;
    throw;
  }
}

// Frozen mode: the frozen values are only summed, nothing is quantized.
void frozen_totals(Totals& t, std::optional<TabulationError>& error) {
  const std::vector<LineItem>& lines = t.lines;
  LastParsed last;
  for (uint32_t i = 0; i < lines.size(); ++i) {
    const LineItem& line = lines[i];
    if (!line.frozen_value) {
      error = error_text(kUnfrozenLine);
      return;
    }
    Decimal v;
    if (!parse_field(line, i, "frozen_value", *line.frozen_value, last, v, error)) return;
    at_place(Place::line(i, line.id), [&] {
      if (v.sign() < 0) t.discount += v;
      t.total += v;
    });
    t.subtotals.insert_or_assign(i, v);
  }
}

// The positions of the lines in ascending priority, equal priorities in
// input order: on the general path by a stable sort.
//
// Fast path (FastPath::SortedBill): a bill usually comes in priority order.
// A short one (the usual bill) is ordered on the stack by insertion sort,
// where a line of no lower priority than all before it stays where it is
// without a search; a long one is sorted only when is_sorted says it must.
// Assumes nothing; both give the stable order. Buys 3 to 4 % of a call
// (benchmarks/README.md).
class PriorityOrder {
 public:
  explicit PriorityOrder(const std::vector<LineItem>& lines) : n_(lines.size()) {
    at_ = n_ <= kSmall && fast_path(FastPath::SortedBill) ? small_.data() : (large_.resize(n_), large_.data());
    uint32_t* o = at_;
    std::iota(o, o + n_, 0u);
    if (n_ == 0) return;
    if (!fast_path(FastPath::SortedBill)) {
      std::stable_sort(o, o + n_, [&](uint32_t a, uint32_t b) { return lines[a].priority < lines[b].priority; });
      return;
    }
    if (n_ > kSmall) {
      auto before = [&](uint32_t a, uint32_t b) { return lines[a].priority < lines[b].priority; };
      // bills usually come in priority order already
      if (!std::is_sorted(o, o + n_, before)) std::stable_sort(o, o + n_, before);
      return;
    }
    // Insertion sort. The positions from i on are still in input order, so
    // a line of no lower priority than all before it (the usual case) stays
    // where it is without a search.
    int16_t highest = lines[0].priority;
    for (uint32_t i = 1; i < n_; ++i) {
      const int16_t p = lines[i].priority;
      if (p >= highest) {
        highest = p;
        continue;
      }
      size_t j = i;
      for (; j > 0 && p < lines[o[j - 1]].priority; --j) o[j] = o[j - 1];
      o[j] = i;
    }
  }
  PriorityOrder(const PriorityOrder&) = delete;  // at_ points into the object
  PriorityOrder& operator=(const PriorityOrder&) = delete;
  size_t size() const { return n_; }
  uint32_t operator[](size_t i) const { return at_[i]; }

 private:
  // Bills up to this long are ordered by insertion sort in an array on the
  // stack, with no allocation (FastPath::SortedBill).
  static constexpr size_t kSmall = 64;
  size_t n_;
  uint32_t* at_;
  std::array<uint32_t, kSmall> small_;
  std::vector<uint32_t> large_;
};

// Values of at most q places counted in quanta in 128 bits, the positive
// and the negative apart. Every term is below 2^111, so 2^16 of them cannot
// wrap; a value that cannot be counted so, or one term too many, makes the
// count not `narrow`.
//
// Fast path (FastPath::QuantaCount): the subtotals of an ordinary bill are
// counted in quanta, where the general path sums them as Decimals (the
// difference) and checks them in 256 bits (adds_up). Assumes what each term
// is checked for; where the magnitudes come to less than 2^96 quanta, no
// 96-bit sum of them rounds, so their count against the total's is the
// difference those sums find. Off, every count is not narrow. Buys 4 to
// 9 % of a totals call (benchmarks/README.md).
struct QuantaCount {
  uint32_t q;
  size_t room = (size_t{1} << 16) - 1;  // terms that may still be added
  u128 plus = 0, minus = 0;
  bool narrow = true;

  void add(const Decimal& d, bool negate = false) {
    u128 units;
    if (!narrow || room == 0 || !in_quanta(d, q, units)) {
      narrow = false;
      return;
    }
    --room;
    (d.negative() != negate ? minus : plus) += units;
  }
};

// Whether the subtotals add up exactly to the total, whatever the 96-bit
// sums said. An ordinary bill is counted in quanta in 128 bits, anything
// else in 256 bits.
bool adds_up(const SubtotalMap& m, const Decimal& total, uint32_t q) {
  QuantaCount count{q};
  count.narrow = fast_path(FastPath::QuantaCount);
  count.add(total, true);
  for (const auto& e : m.entries()) count.add(e.value);
  if (count.narrow) return count.plus == count.minus;
  ExactSum exact;
  for (const auto& e : m.entries()) exact.add(e.value);
  return exact.equals(total);
}

const Decimal kHundredth = Decimal::from_parts(1, 2, false);
const Decimal kOne = Decimal::from_parts(1, 0, false);

// The subtotal s = x + a of a line with a percentage or grossed up: its
// amount a plus its percentage part x of the running total T. Its value
// v = (zero + a) + x is the same number with the same scale (adding to a
// zero gives the other operand, and a sum does not depend on the order of
// its operands), so s stands for both; only when a and x are both zero do
// their scales differ, and a zero value adds nothing to the group sum.
Decimal line_subtotal(const Decimal& total, const Decimal& a, const Decimal& percent, bool back_into_percentage) {
  const Decimal f = kHundredth * percent;
  Decimal x;
  if (!back_into_percentage) {
    x = total * f;
  } else {
    // Grossed up, so that the line is the share f of the final sum b + x.
    // The order of the operations is part of the result.
    const Decimal r = kOne / (kOne - f);
    const Decimal b = total + a;
    x = (b * r) - b;
  }
  return x + a;
}

// The subtotal of a line against the running total of its group.
//
// Fast path (FastPath::RepeatedLine): lines of a group often repeat the very
// texts of the line worked out before them (one fee on every item), and
// then have its subtotal. It assumes what holds within a group: every line
// sees the same running total, and texts at the same place are the same
// text (same_place). A new group invalidates it: each group keeps its own.
struct WorkedOut {
  const LineItem* line = nullptr;
  Decimal subtotal;
};
Decimal percentage_subtotal(const Decimal& total, const LineItem& line, const Decimal& a, const Decimal& percent,
                            WorkedOut& last) {
  if (fast_path(FastPath::RepeatedLine) && last.line && same_texts(line, *last.line)) return last.subtotal;
  const Decimal s = line_subtotal(total, a, percent, line.back_into_percentage);
  last = WorkedOut{&line, s};
  return s;
}

// One group of equal priority, the lines from order[i] on that have
// `priority` (that of order[i]), against the total of the groups before
// it; `i` is left past them. Every line is read and worked out before the group
// sum is formed, so a text that fails to parse is reported before an
// overflow of the sum. Returns the group sum.
std::optional<TabulationError> add_group(Totals& t, const PriorityOrder& order, size_t& i, int16_t priority,
                                         const Decimal& zero, LastParsed (&last)[2], Decimal& group_sum) {
  SubtotalMap& m = t.subtotals;
  const size_t first_entry = m.size();
  std::optional<TabulationError> err;
  WorkedOut worked_out;  // the group's own: the next one has another running total
  for (; i < order.size(); ++i) {
    const uint32_t at = order[i];
    const LineItem& line = t.lines[at];
    if (line.priority != priority) break;
    Decimal a, p;
    if (!parse_field(line, at, "amount", line.amount, last[0], a, err) ||
        !parse_field(line, at, "percentage", line.percentage, last[1], p, err)) {
      return err;
    }
    at_place(Place::line(at, line.id), [&] {
      const Decimal s = percentage_subtotal(t.total, line, a, p, worked_out);
      // an equal line seen before in this group shares its entry
      m.insert_or_assign(at, s, first_entry);
      if (s.sign() < 0) t.discount += s;
    });
  }
  // The new entries hold the group's distinct lines in input order; each
  // counts once, and a zero value adds nothing (not even its scale).
  group_sum = zero;
  at_place(Place::group(priority), [&] {
    for (size_t k = first_entry; k < m.size(); ++k) {
      const Decimal& v = m.entries()[k].value;
      if (!v.is_zero()) group_sum += v;
    }
  });
  return std::nullopt;
}

// Cuts the subtotals to the quantization and moves the difference between
// their sum and the total onto them, one quantum at a time.
std::optional<TabulationError> settle_subtotals(Totals& t, const Decimal& zero, uint32_t q) {
  SubtotalMap& m = t.subtotals;
  QuantaCount count{q};
  count.narrow = fast_path(FastPath::QuantaCount);
  for (auto& e : m.entries()) {
    e.value = quantize(e.value, q);
    assert(e.value.scale() <= q);
    count.add(e.value);
  }
  // Ordinary subtotals whose magnitudes come to less than 2^96 quanta: no
  // 96-bit sum of them rounds or overflows, so their count against the
  // total's is the difference that those sums would find. A difference of
  // more quanta than can be moved is found again the long way, with
  // whatever those sums say of it.
  const uint64_t most_moves = 2 * static_cast<uint64_t>(t.lines.size());
  const u128 magnitude = count.plus + count.minus;
  count.add(t.total, true);
  Decimal difference;
  bool counted = false;
  if (count.narrow && magnitude <= Decimal::kMaxCoefficient) {
    const bool short_of_total = count.minus > count.plus;
    const u128 quanta = short_of_total ? count.minus - count.plus : count.plus - count.minus;
    if (quanta == 0) {
      assert(m.entries_distinct());
      return std::nullopt;
    }
    if (quanta <= most_moves) {
      difference = Decimal::from_parts(quanta, q, !short_of_total);
      counted = true;
    }
  }
  if (!counted) {
    Decimal sum = zero;
    for (const auto& e : m.entries()) sum += e.value;
    difference = t.total - sum;
  }
  if (!difference.is_zero()) {
    // Exact arithmetic leaves at most one quantum per line and one per group;
    // anything else means the 96-bit sums rounded, and handing it out one
    // quantum at a time would neither end soon nor add up.
    if (!whole_quanta(difference, q, most_moves)) return error_text(kTooLargeToTotal);
    if (auto err = redistribute_difference(m, difference, q)) return err;
  }
  if (!adds_up(m, t.total, q)) return error_text(kTooLargeToTotal);
  assert(m.entries_distinct());
  return std::nullopt;
}

// Computed mode: groups of equal priority in ascending order; a percentage
// applies to the total of the groups before its own.
void computed_totals(Totals& t, uint32_t q, std::optional<TabulationError>& error) {
  // aborts above 28 places, before any parsing
  const Decimal zero = at_place(Place::argument("quantization"), [&] { return quantized_zero(q); });
  const PriorityOrder order(t.lines);
  LastParsed last[2];  // the amount and the percentage
  t.total = zero;
  t.discount = zero;
  for (size_t i = 0; i < order.size();) {
    const int16_t priority = t.lines[order[i]].priority;
    Decimal group_sum;
    if ((error = add_group(t, order, i, priority, zero, last, group_sum))) return;
    at_place(Place::group(priority), [&] { t.total += quantize(group_sum, q); });
  }
  if ((error = settle_subtotals(t, zero, q))) return;
  t.discount = quantize(t.discount, q);
}

}  // namespace

Outcome<Totals> get_totals(std::vector<LineItem> lines, uint32_t q) {
  Totals t;
  t.lines = std::move(lines);  // moving a vector keeps its buffer: the map may point into it
  t.subtotals = SubtotalMap(t.lines);
  t.subtotals.reserve(t.lines.size());
  t.frozen = !t.lines.empty() && std::all_of(t.lines.begin(), t.lines.end(),
                                             [](const LineItem& l) { return l.frozen_value.has_value(); });
  std::optional<TabulationError> error;
  if (t.frozen) {
    frozen_totals(t, error);
  } else {
    computed_totals(t, q, error);
  }
  if (error) return std::move(*error);
  return t;
}

TotalsReport report_totals(const Totals& t, uint32_t q) {
  return TotalsReport{quantize(t.total, q), quantize(t.discount, q), &t};
}

Outcome<Decimal> reckon_lines(std::vector<LineItem> lines, uint32_t q) {
  Outcome<Totals> t = get_totals(std::move(lines), q);
  if (!t.ok()) return t.error();
  return t.value().total;
}

}  // namespace corbyl
