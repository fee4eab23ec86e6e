// Any list of lines, in either mode: the subtotals add up exactly to the
// total, or the call fails with one of the specified errors or arithmetic
// aborts. Lines may repeat ids or repeat whole earlier lines, and a bill may
// have up to a thousand of them, so the map is exercised with and without
// its table, hashing by id and over every field.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/exact_sum.h"
#include "core/totals.h"

using namespace corbyl;

namespace {

// A short decimal text from the input: up to 30 digits, a point, a sign.
std::string take_text(const uint8_t*& p, const uint8_t* end) {
  std::string s;
  if (p == end) return "0";
  const unsigned len = *p++ % 32;
  if (p != end && (*p & 1)) s += '-';
  for (unsigned i = 0; i < len && p != end; ++i, ++p) {
    const uint8_t c = *p;
    s += (c % 13 == 10) ? '.' : static_cast<char>('0' + c % 10);
  }
  return s.empty() || s == "-" ? "0" : s;
}

constexpr size_t kMaxLines = 1000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  const uint32_t q = *p++ % 29;
  const uint8_t shape = *p++;
  const bool frozen = shape & 1;         // every line frozen: only summed
  const bool few_ids = shape & 2;        // ids from a small range: they repeat
  const bool long_bill = shape & 4;      // each line of the input stands for many
  std::vector<LineItem> lines;
  while (p < end && lines.size() < kMaxLines) {
    const uint8_t op = *p++;
    if (!lines.empty() && (op & 0xF0) == 0xF0) {
      lines.push_back(lines[op % lines.size()]);  // an equal line
      continue;
    }
    LineItem l;
    l.id = few_ids ? static_cast<int32_t>(op % 5) - 2 : static_cast<int32_t>(lines.size());
    l.priority = static_cast<int16_t>(op % 4);
    l.back_into_percentage = !frozen && p < end && (*p & 0x80) && (*p & 0x40);
    l.amount = take_text(p, end);
    l.percentage = (p < end && (*p++ & 3) == 0) ? take_text(p, end) : "0";
    if (frozen) l.frozen_value = l.amount;
    const size_t copies = long_bill ? 1 + op % 40 : 1;
    for (size_t k = 0; k < copies && lines.size() < kMaxLines; ++k) {
      lines.push_back(l);
      l.description = std::to_string(k);  // the copies differ in one text
    }
  }
  try {
    Outcome<Totals> t = get_totals(lines, q);
    if (!t.ok()) {
      const std::string& m = t.error().display();
      if (m != kNoCandidates && m != kTooLargeToTotal && m.rfind("Invalid decimal", 0) != 0 &&
          m.rfind("Number has a high precision", 0) != 0) {
        std::abort();
      }
      return 0;
    }
    ExactSum sum;
    for (const auto& e : t.value().subtotals.entries()) sum.add(e.value);
    // in frozen mode equal lines count twice in the total but once in the map
    if (!frozen && !sum.equals(t.value().total)) std::abort();
    (void)report_totals(t.value(), q);
  } catch (const ArithmeticAbort&) {
    // an overflow of the decimal range (including inside a grossed-up percentage)
  }
  return 0;
}
