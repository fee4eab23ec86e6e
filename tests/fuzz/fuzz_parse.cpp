// Any bytes: either a parse error, or a value whose printed text parses back
// to the same value and scale.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/decimal.h"

using corbyl::Decimal;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const Decimal::Parsed p = Decimal::parse(text);
  if (!p.ok()) {
    if (corbyl::parse_message(p.error).empty()) std::abort();
    return 0;
  }
  const std::string printed = p.value.to_string();
  const Decimal::Parsed again = Decimal::parse(printed);
  if (!again.ok() || !again.value.identical(p.value)) std::abort();
  if (printed.size() > Decimal::kMaxPrinted) std::abort();
  return 0;
}
