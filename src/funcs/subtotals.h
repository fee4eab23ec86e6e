// The subtotals map: line item -> Decimal, where two keys are the same key
// only when all eleven fields are equal. Entries keep their insertion order,
// which is the order in which results are reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "../data/line_item.h"
#include "../decimal/decimal.h"

namespace corbyl {

class SubtotalMap {
 public:
  struct Entry {
    LineItem line;
    Decimal value;
    size_t hash;
  };

  void reserve(size_t n) {
    entries_.reserve(n);
    size_t cap = 8;
    while (cap < 2 * n) cap <<= 1;
    if (cap > slots_.size()) rehash(cap);
  }

  // The entry of an equal line, or nullptr.
  Entry* find(const LineItem& line) { return find(line, hash_value(line)); }

  // Inserts the line with its value; an equal key keeps its place and takes
  // the new value. Returns true when the key was new.
  bool insert_or_assign(LineItem&& line, const Decimal& value) {
    const size_t h = hash_value(line);
    if (Entry* e = find(line, h)) {
      e->value = value;
      return false;
    }
    if (2 * (entries_.size() + 1) > slots_.size()) rehash(slots_.empty() ? 8 : 2 * slots_.size());
    entries_.push_back(Entry{std::move(line), value, h});
    place(h, static_cast<int32_t>(entries_.size() - 1));
    return true;
  }

  size_t size() const { return entries_.size(); }
  std::vector<Entry>& entries() { return entries_; }
  const std::vector<Entry>& entries() const { return entries_; }

 private:
  Entry* find(const LineItem& line, size_t h) {
    if (slots_.empty()) return nullptr;
    const size_t mask = slots_.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const int32_t at = slots_[i];
      if (at < 0) return nullptr;
      Entry& e = entries_[static_cast<size_t>(at)];
      if (e.hash == h && e.line == line) return &e;
    }
  }

  void place(size_t h, int32_t at) {
    const size_t mask = slots_.size() - 1;
    size_t i = h & mask;
    while (slots_[i] >= 0) i = (i + 1) & mask;
    slots_[i] = at;
  }

  void rehash(size_t cap) {
    slots_.assign(cap, -1);
    for (size_t k = 0; k < entries_.size(); ++k) place(entries_[k].hash, static_cast<int32_t>(k));
  }

  std::vector<Entry> entries_;
  std::vector<int32_t> slots_;  // open addressing over entries_, -1 = empty
};

}  // namespace corbyl
