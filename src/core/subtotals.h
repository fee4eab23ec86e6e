// The subtotals map: line item -> Decimal, where two keys are the same key
// only when all eleven fields are equal. Entries keep their insertion order,
// which is the order in which results are reported. The map refers to the
// lines of the call by their position; it does not copy them.
//
// The general path is a table hashed over every field (hash_value). Three
// fast paths stand beside it, each with the results of the table:
//
//   FastPath::LinearMap: a map of up to kLinearLimit entries (the usual
//     bill) has no table and is searched entry by entry, comparing ids
//     first (equal lines share their id). Assumes nothing; the map makes
//     its table when it grows past the limit. Buys 2 to 3 % of a call of
//     10 lines.
//   FastPath::IdMask: such a small map keeps one bit per id modulo 64 of
//     its entries, and a line whose bit is clear is in no entry, unsearched.
//     Assumes that the mask holds the bit of every entry (entries are never
//     removed, so it only gains bits). Buys 2 to 3 % of a call of 10 lines.
//   FastPath::MapByPosition: where no id repeats among the lines (checked
//     once, as the table is made), no line equals another, and the table is
//     one slot per line, found by its position. Assumes the lines do not
//     change while the map is used (they are the call's). Buys 22 % of a call
//     of 100 lines.
//
// (The figures are those of benchmarks/README.md.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "line_item.h"
#include "decimal.h"
#include "fast_paths.h"

namespace corbyl {

class SubtotalMap {
 public:
  struct Entry {
    uint32_t line;  // position in the lines the map was made for
    int32_t id;     // that line's id, for a search that need not reach the line
    Decimal value;
    uint64_t hash;  // set when the map hashes its lines (some id repeats)
  };

  // The map refers into the buffer of `lines`, which must outlive it and not
  // be resized; moving the vector keeps the buffer.
  SubtotalMap() = default;
  explicit SubtotalMap(const std::vector<LineItem>& lines) : lines_(lines.data()), line_count_(lines.size()) {}
  SubtotalMap(SubtotalMap&&) = default;
  SubtotalMap& operator=(SubtotalMap&&) = default;
  SubtotalMap(const SubtotalMap&) = delete;
  SubtotalMap& operator=(const SubtotalMap&) = delete;

  const LineItem& line(const Entry& e) const { return lines_[e.line]; }

  void reserve(size_t n) {
    entries_.reserve(n);
    if (n <= kLinearLimit && fast_path(FastPath::LinearMap)) return;
    size_t cap = 8;
    while (cap < 2 * n) cap <<= 1;
    if (slots_.empty() || (!by_line_ && cap > slots_.size())) grow(cap);
  }

  // The entry of a line equal to lines[at], or nullptr.
  Entry* find(uint32_t at) {
    if (slots_.empty()) return find_small(at);
    if (by_line_) return slots_[at] < 0 ? nullptr : &entries_[static_cast<size_t>(slots_[at])];
    return find_hashed(at, hash_value(lines_[at]));
  }

  // Inserts lines[at] with its value; an equal key keeps its place and takes
  // the new value. Returns true when the key was new. A caller that knows
  // that no entry before `first` can hold an equal line (the totals: equal
  // lines share their priority, so only an entry of the same group can)
  // spares a small map the search of those entries.
  // A small map's insertion is inlined into its caller, where the value is
  // still in registers; a larger map's is a call.
  CORBYL_ALWAYS_INLINE bool insert_or_assign(uint32_t at, const Decimal& value, size_t first = 0) {
    if (slots_.empty()) [[likely]] {
      if (Entry* e = find_small(at, first)) {
        e->value = value;
        return false;
      }
      note_id(lines_[at].id);
      entries_.push_back(Entry{at, lines_[at].id, value, 0});
      if (entries_.size() > kLinearLimit) grow(64);
      return true;
    }
    return insert_or_assign_large(at, value);
  }

  // Whether no two entries hold equal lines (each finds itself); a check of
  // the map's own invariant, for assertions.
  bool entries_distinct() {
    for (Entry& e : entries_) {
      if (find(e.line) != &e) return false;
    }
    return true;
  }

  size_t size() const { return entries_.size(); }
  size_t line_count() const { return line_count_; }
  std::vector<Entry>& entries() { return entries_; }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  // A small map (the usual bill) is searched entry by entry from `first`,
  // with no hash. Equal lines share their id, so only an entry of the same
  // id is compared field by field. An id whose bit no entry has set (see
  // note_id) is in no entry: the usual bill, whose ids differ modulo 64, is
  // never searched.
  Entry* find_small(uint32_t at, size_t first = 0) {
    const LineItem& line = lines_[at];
    if (fast_path(FastPath::IdMask) && (seen_ids_ & id_bit(line.id)) == 0) return nullptr;
    for (size_t k = first; k < entries_.size(); ++k) {
      Entry& e = entries_[k];
      if (e.id == line.id && (e.line == at || lines_[e.line] == line)) return &e;
    }
    return nullptr;
  }

  // One bit per id modulo 64 marks the ids of the entries.
  static uint64_t id_bit(int32_t id) { return uint64_t{1} << (static_cast<uint32_t>(id) & 63); }
  void note_id(int32_t id) { seen_ids_ |= id_bit(id); }

  Entry* find_hashed(uint32_t at, uint64_t h) {
    const LineItem& line = lines_[at];
    const size_t mask = slots_.size() - 1;
    for (size_t i = static_cast<size_t>(h) & mask;; i = (i + 1) & mask) {
      const int32_t k = slots_[i];
      if (k < 0) return nullptr;
      Entry& e = entries_[static_cast<size_t>(k)];
      if (e.hash == h && (e.line == at || lines_[e.line] == line)) return &e;
    }
  }

  // The insertion into a map with a table.
  CORBYL_NOINLINE bool insert_or_assign_large(uint32_t at, const Decimal& value) {
    if (by_line_) {
      int32_t& slot = slots_[at];
      if (slot >= 0) {
        entries_[static_cast<size_t>(slot)].value = value;
        return false;
      }
      slot = static_cast<int32_t>(entries_.size());
      entries_.push_back(Entry{at, lines_[at].id, value, 0});
      return true;
    }
    const uint64_t h = hash_value(lines_[at]);
    if (Entry* e = find_hashed(at, h)) {
      e->value = value;
      return false;
    }
    entries_.push_back(Entry{at, lines_[at].id, value, h});
    if (2 * entries_.size() > slots_.size()) {
      rehash(2 * slots_.size());  // places every entry, the new one too
    } else {
      place(h, static_cast<int32_t>(entries_.size() - 1));
    }
    return true;
  }

  void place(uint64_t h, int32_t at) {
    const size_t mask = slots_.size() - 1;
    size_t i = static_cast<size_t>(h) & mask;
    while (slots_[i] >= 0) i = (i + 1) & mask;
    slots_[i] = at;
  }

  // Whether no id repeats among all the lines of the call. Ids that rise
  // from line to line (as a bill usually numbers its lines) are distinct
  // without a table.
  bool lines_have_distinct_ids() const {
    size_t k = 1;
    while (k < line_count_ && lines_[k - 1].id < lines_[k].id) ++k;
    if (k >= line_count_) return true;
    size_t cap = 16;
    while (cap < 2 * line_count_) cap <<= 1;
    std::vector<uint64_t> seen(cap, 0);  // id with bit 32 set; 0 = empty
    for (k = 0; k < line_count_; ++k) {
      const uint64_t v = uint64_t{static_cast<uint32_t>(lines_[k].id)} | (uint64_t{1} << 32);
      size_t i = static_cast<size_t>(id_hash(lines_[k].id)) & (cap - 1);
      for (; seen[i] != 0; i = (i + 1) & (cap - 1)) {
        if (seen[i] == v) return false;
      }
      seen[i] = v;
    }
    return true;
  }

  // Gives a map that had no table (searched entry by entry) its table.
  // Equal lines share their id, and the lines of a bill normally all have
  // distinct ids: then no line equals another, and the entry of a line is
  // found by its position, one slot per line. When some id repeats, every
  // field is hashed into a table of `cap` slots.
  void grow(size_t cap) {
    if (slots_.empty()) {
      by_line_ = fast_path(FastPath::MapByPosition) && lines_have_distinct_ids();
      if (by_line_) {
        slots_.assign(line_count_, -1);
        for (size_t k = 0; k < entries_.size(); ++k) slots_[entries_[k].line] = static_cast<int32_t>(k);
        return;
      }
      for (Entry& e : entries_) e.hash = hash_value(lines_[e.line]);
    }
    rehash(cap);
  }

  void rehash(size_t cap) {
    slots_.assign(cap, -1);
    for (size_t k = 0; k < entries_.size(); ++k) place(entries_[k].hash, static_cast<int32_t>(k));
  }

  // Up to this many entries a search entry by entry, which compares ids
  // first, costs less than making a table (measured on bills of 10 to 100
  // lines); past it the map makes its table (FastPath::LinearMap).
  static constexpr size_t kLinearLimit = 24;

  const LineItem* lines_ = nullptr;
  size_t line_count_ = 0;
  bool by_line_ = false;     // chosen when the table is made
  uint64_t seen_ids_ = 0;    // bit id % 64 of every entry's id, while small
  std::vector<Entry> entries_;
  // the entry of each line (by_line_), or open addressing over entries_;
  // -1 = empty
  std::vector<int32_t> slots_;
};

}  // namespace corbyl
