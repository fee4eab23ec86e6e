// Any list of lines: the subtotals add up exactly to the total, or the call
// fails with one of the specified errors or arithmetic aborts.
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  const uint32_t q = *p++ % 29;
  std::vector<LineItem> lines;
  while (p < end && lines.size() < 16) {
    LineItem l;
    l.id = static_cast<int32_t>(lines.size());
    l.priority = static_cast<int16_t>(*p++ % 4);
    l.back_into_percentage = p < end && (*p & 0x80) && (*p & 0x40);
    l.amount = take_text(p, end);
    l.percentage = (p < end && (*p++ & 3) == 0) ? take_text(p, end) : "0";
    lines.push_back(std::move(l));
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
    if (!sum.equals(t.value().total)) std::abort();
  } catch (const ArithmeticAbort&) {
    // an overflow of the decimal range (including inside a grossed-up percentage)
  }
  return 0;
}
