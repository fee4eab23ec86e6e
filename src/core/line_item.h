// One line of a bill. Money and percentage fields hold the caller's text and
// are parsed only by the operation that needs the number, so a malformed
// text is an error only where it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "enums.h"
#include "record.h"
#include "text.h"

namespace corbyl {

#define CORBYL_LINE_ITEM_FIELDS(X)                 \
  X(int32_t, id, 0)                                \
  X(int16_t, priority, 0)                          \
  X(LineType, kind, LineType::BasePrice)           \
  X(Text, amount, )                                \
  X(Text, description, )                           \
  X(std::optional<Text>, frozen_value, )           \
  X(Text, percentage, )                            \
  X(Category, category, Category::ShieldFee)       \
  X(std::optional<int64_t>, destination_user_id, ) \
  X(Account, destination_account, Account::Card)   \
  X(bool, back_into_percentage, false)

struct LineItem {
  CORBYL_LINE_ITEM_FIELDS(CORBYL_FIELD_MEMBER)

  // Written out, so that a line made in place in a list (a reader's
  // emplace_back()) takes only its fields' initial values, rather than
  // being zero-filled first.
  LineItem() {}  // NOLINT: not = default, see above

  // Not a field: 1 + the row of a generated line in the table of generated
  // lines (generated_lines()), set by the line generators (and by the
  // test-only floors, to write their lines as a call does); 0 for any
  // other line. Equality and the hash look only at the eleven fields.
  uint8_t generated = 0;

  // Equal only when all eleven fields are equal; texts compare byte for
  // byte, so the amounts "1.0" and "1.00" make two different lines.
  friend bool operator==(const LineItem& a, const LineItem& b) {
    return CORBYL_LINE_ITEM_FIELDS(CORBYL_FIELD_EQUAL) true;
  }
};
CORBYL_RECORD_INFO(LineItem, CORBYL_LINE_ITEM_FIELDS);

// A hash over every byte of all eleven fields, consistent with equality,
// keyed at random once per process.
uint64_t hash_value(const LineItem& line);

// A hash of an id alone, keyed the same way; distinct ids hash apart.
uint64_t id_hash(int32_t id);

}  // namespace corbyl
