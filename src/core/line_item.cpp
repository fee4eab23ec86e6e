#include "line_item.h"

#include <cstring>

namespace corbyl {
namespace {

inline void mix(size_t& seed, size_t v) {
  // the boost hash_combine step, widened to 64 bits
  seed ^= v + 0x9e3779b97f4a7c15ull + (seed << 12) + (seed >> 4);
}

// Mixes in a text: its length and its bytes, all of them when it is short,
// else its first and last eight. Cheap, and equal texts always hash alike
// (equality still compares every byte).
inline void mix_text(size_t& seed, const std::string& t) {
  const size_t n = t.size();
  const char* p = t.data();
  if (n < 8) {
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v = (v << 8) | static_cast<unsigned char>(p[i]);
    mix(seed, (v << 8) | n);
    return;
  }
  uint64_t head, tail;
  std::memcpy(&head, p, 8);
  std::memcpy(&tail, p + n - 8, 8);
  mix(seed, n);
  mix(seed, head);
  mix(seed, tail);
}

}  // namespace

size_t hash_value(const LineItem& l) {
  // the small fields packed into two words, then the texts
  size_t seed = uint64_t{static_cast<uint32_t>(l.id)} | uint64_t{static_cast<uint16_t>(l.priority)} << 32 |
                uint64_t{value_of(l.kind)} << 48;
  mix(seed, uint64_t{value_of(l.category)} | uint64_t{value_of(l.destination_account)} << 16 |
                uint64_t{l.back_into_percentage} << 32 | uint64_t{l.frozen_value.has_value()} << 33 |
                uint64_t{l.destination_user_id.has_value()} << 34);
  if (l.destination_user_id) mix(seed, static_cast<uint64_t>(*l.destination_user_id));
  mix_text(seed, l.amount);
  mix_text(seed, l.description);
  if (l.frozen_value) mix_text(seed, *l.frozen_value);
  mix_text(seed, l.percentage);
  return seed;
}

}  // namespace corbyl
