#include "line_item.h"

#include <cstring>

namespace corbyl {
namespace {

inline void mix(size_t& seed, size_t v) {
  // the boost hash_combine step, widened to 64 bits
  seed ^= v + 0x9e3779b97f4a7c15ull + (seed << 12) + (seed >> 4);
}

// A text's length and its first and last eight bytes: cheap, and equal texts
// always hash alike (equality still compares every byte).
inline size_t text_hash(const std::string& t) {
  uint64_t head = 0, tail = 0;
  const size_t n = t.size();
  std::memcpy(&head, t.data(), n < 8 ? n : 8);
  if (n > 8) std::memcpy(&tail, t.data() + (n < 16 ? 8 : n - 8), n < 16 ? n - 8 : 8);
  size_t h = n;
  mix(h, head);
  mix(h, tail);
  return h;
}

}  // namespace

size_t hash_value(const LineItem& l) {
  size_t seed = static_cast<size_t>(static_cast<uint32_t>(l.id));
  mix(seed, static_cast<uint16_t>(l.priority));
  mix(seed, value_of(l.kind));
  mix(seed, text_hash(l.amount));
  mix(seed, text_hash(l.description));
  mix(seed, l.frozen_value ? text_hash(*l.frozen_value) + 1 : 0);
  mix(seed, text_hash(l.percentage));
  mix(seed, value_of(l.category));
  mix(seed, l.destination_user_id ? static_cast<size_t>(*l.destination_user_id) * 31 + 1 : 0);
  mix(seed, value_of(l.destination_account));
  mix(seed, l.back_into_percentage ? 1 : 0);
  return seed;
}

}  // namespace corbyl
