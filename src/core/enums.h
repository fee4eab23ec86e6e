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

// Names and values of one enumeration, in declaration order.
struct EnumTable {
  std::string_view class_name;
  std::string_view doc;
  const char* const* names;
  const uint16_t* values;
  size_t count;

  // The slot (declaration position) of a value, or -1 if no variant has it.
  int slot_of(uint16_t value) const {
    for (size_t i = 0; i < count; ++i) {
      if (values[i] == value) return static_cast<int>(i);
    }
    return -1;
  }
};

template <typename E>
const EnumTable& enum_table();

template <typename E>
constexpr uint16_t value_of(E e) {
  return static_cast<uint16_t>(e);
}

}  // namespace corbyl
