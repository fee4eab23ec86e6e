// Moving a rounding difference onto the subtotals, one quantum at a time.
#include "redistribute.h"

#include <algorithm>
#include <functional>
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

// The same order as plain integers, which compare far faster than Decimals:
// the rank above the value counted in quanta, then the id above the entry
// reversed. The value of an ordinary bill (below 2^47 quanta) leaves room
// for all of it in one 128-bit integer; wider values up to 2^111 quanta
// take a pair. Values of more than 111 bits in quanta have no key.
struct NarrowKey {
  static constexpr int kValueBits = 47;  // + 17 bits of rank: the high half
  u128 key;
  NarrowKey(u128 rank_and_value, uint64_t tie) : key((rank_and_value << 64) | tie) {}
  friend bool operator<(const NarrowKey& a, const NarrowKey& b) { return a.key < b.key; }
  uint32_t entry() const { return UINT32_MAX - static_cast<uint32_t>(lo64(key)); }
};

struct WideKey {
  static constexpr int kValueBits = 111;
  u128 first;
  uint64_t second;
  WideKey(u128 rank_and_value, uint64_t tie) : first(rank_and_value), second(tie) {}
  friend bool operator<(const WideKey& a, const WideKey& b) {
    return a.first != b.first ? a.first < b.first : a.second < b.second;
  }
  uint32_t entry() const { return UINT32_MAX - static_cast<uint32_t>(second); }
};

// The key of a candidate, added to `keys`; false when its value is too wide.
template <typename Key>
bool add_key(const Candidate& c, bool positive, uint32_t q, std::vector<Key>& keys) {
  constexpr u128 kLargest = (u128{1} << Key::kValueBits) - 1;
  u128 quanta;
  if (!in_quanta(c.value, q, quanta) || quanta > kLargest) return false;
  // all values share the sign of the difference: a smaller negative value
  // has the larger magnitude
  const u128 value = positive ? quanta : kLargest - quanta;
  const u128 rank = static_cast<u128>(c.rank + 0x10000) << Key::kValueBits;  // rank + 2^16 < 2^17
  const uint64_t tie = (uint64_t{static_cast<uint32_t>(c.id) ^ 0x80000000u} << 32) | (UINT32_MAX - c.entry);
  keys.emplace_back(rank | value, tie);
  return true;
}

// The entries of the first `receiving` items into `receivers`, the first
// `extra` of them in the order `before` ahead of the rest. Only which items
// come first matters, so they are selected (in linear time), not sorted.
template <typename T, typename Before, typename Entry>
void select_receivers(std::vector<T>& items, size_t extra, size_t receiving, Before before, Entry entry,
                      std::vector<uint32_t>& receivers) {
  if (0 < extra && extra < items.size()) {
    std::nth_element(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(extra), items.end(), before);
  }
  receivers.resize(receiving);
  for (size_t i = 0; i < receiving; ++i) receivers[i] = entry(items[i]);
}

}  // namespace

std::optional<TabulationError> redistribute_difference(SubtotalMap& m, const Decimal& difference,
                                                       uint32_t q) {
  const bool positive = difference.sign() > 0;
  const Decimal step = positive ? quantum(q) : -quantum(q);

  // The candidates are the subtotals that share the sign of the difference.
  const auto& entries = m.entries();
  auto candidate = [&](size_t k) {
    const LineItem& line = m.line(entries[k]);
    const int32_t rank = positive ? -int32_t{line.priority} : int32_t{line.priority};
    return Candidate{rank, line.id, static_cast<uint32_t>(k), entries[k].value};
  };
  auto is_candidate = [&](size_t k) { return entries[k].value.sign() == (positive ? 1 : -1); };
  // the narrowest keys that every candidate has
  std::vector<NarrowKey> narrow;
  narrow.reserve(entries.size());
  bool fits = fast_path(FastPath::NarrowKeys);
  size_t n = 0;  // candidates
  for (size_t k = 0; k < entries.size(); ++k) {
    if (!is_candidate(k)) continue;
    ++n;
    fits = fits && add_key(candidate(k), positive, q, narrow);
  }
  if (n == 0) return error_text(kNoCandidates);

  // The difference is handed out one step at a time in the order above,
  // starting over when every candidate has had one: each candidate
  // receives moves / n steps, and the first moves % n in that order one
  // more.
  const auto moves = whole_quanta(difference, q, UINT64_MAX);
  if (!moves) return error_text(kTooLargeToTotal);
  // the totals hand out at most one quantum per line and one per group
  assert(*moves <= 2 * uint64_t{m.line_count()});
  const uint64_t rounds = *moves / n;
  const size_t extra = static_cast<size_t>(*moves % n);
  const size_t receiving = rounds > 0 ? n : extra;
  std::vector<uint32_t> receivers;  // those of one more step first
  auto key_entry = [](const auto& key) { return key.entry(); };
  if (fits) {
    select_receivers(narrow, extra, receiving, std::less<>(), key_entry, receivers);
  } else {
    std::vector<WideKey> wide;
    wide.reserve(n);
    bool keyed = fast_path(FastPath::WideKeys);
    for (size_t k = 0; k < entries.size() && keyed; ++k) {
      if (is_candidate(k)) keyed = add_key(candidate(k), positive, q, wide);
    }
    if (keyed) {
      select_receivers(wide, extra, receiving, std::less<>(), key_entry, receivers);
    } else {
      std::vector<Candidate> candidates;
      candidates.reserve(n);
      for (size_t k = 0; k < entries.size(); ++k) {
        if (is_candidate(k)) candidates.push_back(candidate(k));
      }
      select_receivers(candidates, extra, receiving, receives_before, [](const Candidate& c) { return c.entry; },
                       receivers);
    }
  }
  for (size_t i = 0; i < receiving; ++i) {
    const uint32_t entry = receivers[i];
    if (entry >= m.size()) return error_text(kMissingKey);
    Decimal& value = m.entries()[entry].value;
    for (uint64_t k = rounds + (i < extra ? 1 : 0); k > 0; --k) value = value + step;
  }
  return std::nullopt;
}

}  // namespace corbyl
