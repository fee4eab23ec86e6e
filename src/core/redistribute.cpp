// Moving a rounding difference onto the subtotals, one quantum at a time.
#include "redistribute.h"

#include <algorithm>
#include <cassert>
#include <vector>

#include "exact_sum.h"
#include "totals.h"

namespace corbyl {
namespace {

struct Candidate {
  int32_t rank;   // the priority, turned so that a smaller rank receives first
  int32_t id;
  uint32_t entry; // position in the map; entries are never removed
  Decimal value;  // the value before any move, used only for ordering
};

// Whether a receives the difference before b: a positive difference goes
// first to the highest priority, a negative one to the lowest; then to the
// smallest value, then to the smallest id, then to the later entry. The
// entry makes it a total order: the first candidates are the same whatever
// selects them.
inline bool receives_before(const Candidate& a, const Candidate& b) {
  if (a.rank != b.rank) return a.rank < b.rank;
  if (const int c = compare(a.value, b.value); c != 0) return c < 0;
  if (a.id != b.id) return a.id < b.id;
  return a.entry > b.entry;
}

}  // namespace

std::optional<TabulationError> redistribute_difference(SubtotalMap& m, const Decimal& difference,
                                                       uint32_t q) {
  const bool positive = difference.sign() > 0;
  const Decimal step = positive ? quantum(q) : -quantum(q);

  // The candidates are the subtotals that share the sign of the difference.
  const auto& entries = m.entries();
  std::vector<Candidate> candidates;
  for (size_t k = 0; k < entries.size(); ++k) {
    const Decimal& value = entries[k].value;
    if (value.sign() != (positive ? 1 : -1)) continue;
    const LineItem& line = m.line(entries[k]);
    const int32_t rank = positive ? -int32_t{line.priority} : int32_t{line.priority};
    candidates.push_back(Candidate{rank, line.id, static_cast<uint32_t>(k), value});
  }
  if (candidates.empty()) return error_text(kNoCandidates);

  // The difference is handed out one step at a time in the order above,
  // starting over when every candidate has had one: each candidate
  // receives moves / n steps, and the first moves % n in that order one
  // more. Only which candidates come first matters, so they are selected
  // (in linear time), not sorted.
  const auto moves = whole_quanta(difference, q, UINT64_MAX);
  if (!moves) return error_text(kTooLargeToTotal);
  // the totals hand out at most one quantum per line and one per group
  assert(*moves <= 2 * uint64_t{m.line_count()});
  const size_t n = candidates.size();
  const uint64_t rounds = *moves / n;
  const size_t extra = static_cast<size_t>(*moves % n);
  if (0 < extra && extra < n) {
    std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(extra), candidates.end(),
                     receives_before);
  }
  const size_t receiving = rounds > 0 ? n : extra;
  for (size_t i = 0; i < receiving; ++i) {
    const uint32_t entry = candidates[i].entry;
    if (entry >= m.size()) return error_text(kMissingKey);
    Decimal& value = m.entries()[entry].value;
    for (uint64_t k = rounds + (i < extra ? 1 : 0); k > 0; --k) value = value + step;
  }
  return std::nullopt;
}

}  // namespace corbyl
