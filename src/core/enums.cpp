#include "enums.h"

namespace corbyl {
namespace {

constexpr const char* kLineTypeNames[] = {CORBYL_LINE_TYPES(CORBYL_ENUM_NAME)};
constexpr uint16_t kLineTypeValues[] = {CORBYL_LINE_TYPES(CORBYL_ENUM_VALUE)};
constexpr const char* kCategoryNames[] = {CORBYL_CATEGORIES(CORBYL_ENUM_NAME)};
constexpr uint16_t kCategoryValues[] = {CORBYL_CATEGORIES(CORBYL_ENUM_VALUE)};
constexpr const char* kAccountNames[] = {CORBYL_ACCOUNTS(CORBYL_ENUM_NAME)};
constexpr uint16_t kAccountValues[] = {CORBYL_ACCOUNTS(CORBYL_ENUM_VALUE)};

// Every value's slot is its position in the table.
template <typename E, size_t N>
constexpr bool slots_match(const uint16_t (&values)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (slot_of<E>(values[i]) != static_cast<int>(i)) return false;
  }
  return N == kVariantCount<E>;
}
static_assert(slots_match<LineType>(kLineTypeValues));
static_assert(slots_match<Category>(kCategoryValues));
static_assert(slots_match<Account>(kAccountValues));

}  // namespace

template <>
const EnumTable& enum_table<LineType>() {
  static const EnumTable t{
      "LineType",
      "Line item types. Line items can have different types that explain their\n"
      "purpose. Some line items are the base price of a product/deliverable,\n"
      "some are extras, and some are various fees like shield or cross-border\n"
      "transfer fees.",
      kLineTypeNames, kLineTypeValues, std::size(kLineTypeValues)};
  return t;
}

template <>
const EnumTable& enum_table<Category>() {
  static const EnumTable t{
      "Category",
      "Categories for transactions. LineItems refer to these in order to make\n"
      "bundling them and creating later transactions easier.",
      kCategoryNames, kCategoryValues, std::size(kCategoryValues)};
  return t;
}

template <>
const EnumTable& enum_table<Account>() {
  static const EnumTable t{"Account", "Distinct accounts that line items may deposit into.",
                           kAccountNames, kAccountValues, std::size(kAccountValues)};
  return t;
}

}  // namespace corbyl
