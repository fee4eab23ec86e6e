// One line of a bill. Money and percentage fields hold the caller's text and
// are parsed only by the operation that needs the number, so a malformed
// text is an error only where it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "enums.h"

namespace corbyl {

struct LineItem {
  int32_t id = 0;
  int16_t priority = 0;
  LineType kind = LineType::BasePrice;
  std::string amount;
  std::string description;
  std::optional<std::string> frozen_value;
  std::string percentage;
  Category category = Category::ShieldFee;
  std::optional<int64_t> destination_user_id;
  Account destination_account = Account::Card;
  bool back_into_percentage = false;

  // Equal only when all eleven fields are equal; texts compare byte for
  // byte, so the amounts "1.0" and "1.00" make two different lines.
  friend bool operator==(const LineItem&, const LineItem&) = default;
};

// A hash over all eleven fields, consistent with equality.
size_t hash_value(const LineItem& line);

struct LineItemHash {
  size_t operator()(const LineItem& line) const { return hash_value(line); }
};

}  // namespace corbyl
