// The three closed enumerations that classify a line item. Each variant has
// a fixed unsigned 16-bit value that callers compare with and store; the
// values are not contiguous. The tables below are the single source of the
// names, values and declaration order; the Python classes are built from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corbyl {

#define CORBYL_LINE_TYPES(X)                                                         \
  X(BasePrice, 0) X(AddOn, 1) X(Shield, 2) X(Bonus, 3) X(Tip, 4) X(TableService, 5) \
  X(Tax, 6) X(Extra, 7) X(PremiumSubscription, 8) X(OtherFee, 9)                    \
  X(DeliverableTracking, 10) X(Processing, 11) X(Reconciliation, 12) X(CardFee, 13)  \
  X(CrossBorderTransferFee, 14) X(PayoutFee, 15) X(ConnectFee, 16) X(Bogus, 1234)

#define CORBYL_CATEGORIES(X)                                                             \
  X(ShieldFee, 400) X(EscrowHold, 401) X(EscrowRelease, 402) X(EscrowRefund, 403)        \
  X(SubscriptionDues, 404) X(SubscriptionRefund, 405) X(CashWithdrawal, 406)             \
  X(ThirdPartyFee, 408) X(PremiumBonus, 409) X(InternalTransfer, 410)                    \
  X(ThirdPartyRefunds, 411) X(Correction, 412) X(TableHandling, 413) X(Taxes, 414)       \
  X(ExtraItem, 415) X(VendorPayment, 416) X(PayoutReversal, 417) X(ProcessingFee, 418)   \
  X(TipSend, 419) X(Payment, 420) X(TopUp, 421)

#define CORBYL_ACCOUNTS(X)                                                                \
  X(Card, 300) X(PayoutAccount, 301) X(Escrow, 302) X(Holdings, 303) X(Reserve, 304)      \
  X(UnprocessedEarnings, 305) X(CardTransactionFees, 306) X(CardMiscFees, 307)            \
  X(BankTransferFees, 308) X(BankMiscFees, 309) X(MoneyHoleStage, 310) X(MoneyHole, 311)  \
  X(FraudLoss, 312) X(Fund, 313) X(PayoutExtract, 314) X(CashDeposit, 407)                \
  X(PayoutMirrorSource, 500) X(PayoutMirrorDestination, 501)

#define CORBYL_ENUM_VARIANT(name, value) name = value,
#define CORBYL_ENUM_NAME(name, value) #name,
#define CORBYL_ENUM_VALUE(name, value) value,
#define CORBYL_ENUM_COUNT(name, value) +1
#define CORBYL_ENUM_SLOT_NAME(name, value) name,

enum class LineType : uint16_t { CORBYL_LINE_TYPES(CORBYL_ENUM_VARIANT) };
enum class Category : uint16_t { CORBYL_CATEGORIES(CORBYL_ENUM_VARIANT) };
enum class Account : uint16_t { CORBYL_ACCOUNTS(CORBYL_ENUM_VARIANT) };

// The number of variants of each enumeration.
template <typename E>
inline constexpr size_t kVariantCount = 0;
template <>
inline constexpr size_t kVariantCount<LineType> = 0 CORBYL_LINE_TYPES(CORBYL_ENUM_COUNT);
template <>
inline constexpr size_t kVariantCount<Category> = 0 CORBYL_CATEGORIES(CORBYL_ENUM_COUNT);
template <>
inline constexpr size_t kVariantCount<Account> = 0 CORBYL_ACCOUNTS(CORBYL_ENUM_COUNT);

// The slot (declaration position) of each variant, and the slot of a value:
// a switch, which the compiler makes a table lookup. -1 for no variant.
namespace slots {
enum class LineType { CORBYL_LINE_TYPES(CORBYL_ENUM_SLOT_NAME) };
enum class Category { CORBYL_CATEGORIES(CORBYL_ENUM_SLOT_NAME) };
enum class Account { CORBYL_ACCOUNTS(CORBYL_ENUM_SLOT_NAME) };
}  // namespace slots

template <typename E>
constexpr int slot_of(uint16_t value);
#define CORBYL_LINE_TYPE_SLOT(name, value) case value: return static_cast<int>(slots::LineType::name);
#define CORBYL_CATEGORY_SLOT(name, value) case value: return static_cast<int>(slots::Category::name);
#define CORBYL_ACCOUNT_SLOT(name, value) case value: return static_cast<int>(slots::Account::name);
template <>
constexpr int slot_of<LineType>(uint16_t value) {
  switch (value) { CORBYL_LINE_TYPES(CORBYL_LINE_TYPE_SLOT) default: return -1; }
}
template <>
constexpr int slot_of<Category>(uint16_t value) {
  switch (value) { CORBYL_CATEGORIES(CORBYL_CATEGORY_SLOT) default: return -1; }
}
template <>
constexpr int slot_of<Account>(uint16_t value) {
  switch (value) { CORBYL_ACCOUNTS(CORBYL_ACCOUNT_SLOT) default: return -1; }
}

// Names and values of one enumeration, in declaration order.
struct EnumTable {
  std::string_view class_name;
  std::string_view doc;
  const char* const* names;
  const uint16_t* values;
  size_t count;

};

template <typename E>
const EnumTable& enum_table();

template <typename E>
constexpr uint16_t value_of(E e) {
  return static_cast<uint16_t>(e);
}

}  // namespace corbyl
