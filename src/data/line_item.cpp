#include "line_item.h"

#include <string_view>

namespace corbyl {
namespace {

inline void mix(size_t& seed, size_t v) {
  // the boost hash_combine step, widened to 64 bits
  seed ^= v + 0x9e3779b97f4a7c15ull + (seed << 12) + (seed >> 4);
}

}  // namespace

size_t hash_value(const LineItem& l) {
  std::hash<std::string_view> text;
  size_t seed = static_cast<size_t>(static_cast<uint32_t>(l.id));
  mix(seed, static_cast<uint16_t>(l.priority));
  mix(seed, value_of(l.kind));
  mix(seed, text(l.amount));
  mix(seed, text(l.description));
  mix(seed, l.frozen_value ? text(*l.frozen_value) + 1 : 0);
  mix(seed, text(l.percentage));
  mix(seed, value_of(l.category));
  mix(seed, l.destination_user_id ? static_cast<size_t>(*l.destination_user_id) * 31 + 1 : 0);
  mix(seed, value_of(l.destination_account));
  mix(seed, l.back_into_percentage ? 1 : 0);
  return seed;
}

}  // namespace corbyl
