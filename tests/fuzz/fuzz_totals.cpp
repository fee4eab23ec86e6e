// Any list of lines, in either mode: the subtotals add up exactly to the
// total, or the call fails with one of the specified errors or arithmetic
// aborts; and the fast paths give what the general paths give. Lines may repeat ids or repeat whole earlier lines, and a bill may
// have up to a thousand of them, so the map is exercised with and without
// its table, hashing by id and over every field.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>
#include <vector>

#include "core/exact_sum.h"
#include "core/fast_paths.h"
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

// What a call of the totals gives, written out: the report (every value
// with its scale), the error's message or the abort's. Aborts where the
// subtotals do not add up to the total or the error is not one the totals
// specify.
std::string outcome(const std::vector<LineItem>& lines, uint32_t q) {
  const bool frozen = !lines.empty() && std::all_of(lines.begin(), lines.end(), [](const LineItem& l) {
    return l.frozen_value.has_value();
  });
  try {
    Outcome<Totals> t = get_totals(lines, q);
    if (!t.ok()) {
      const std::string& m = t.error().display();
      if (m != kNoCandidates && m != kTooLargeToTotal && m.rfind("Invalid decimal", 0) != 0 &&
          m.rfind("Number has a high precision", 0) != 0) {
        std::abort();
      }
      return "error " + m;
    }
    ExactSum sum;
    for (const auto& e : t.value().subtotals.entries()) sum.add(e.value);
    // in frozen mode equal lines count twice in the total but once in the map
    if (!frozen && !sum.equals(t.value().total)) std::abort();
    const TotalsReport r = report_totals(t.value(), q);
    std::string out = r.total.to_string() + " " + r.discount.to_string();
    for (size_t i = 0; i < r.count(); ++i) out += " " + std::to_string(r[i].id) + ":" + r[i].value.to_string();
    return out;
  } catch (const ArithmeticAbort& abort) {
    // an overflow of the decimal range (including inside a grossed-up percentage)
    return std::string("abort ") + abort.what();
  }
}

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
  std::deque<std::string> texts;  // (a deque: its strings stay where they are)
  while (p < end && lines.size() < kMaxLines) {
    const uint8_t op = *p++;
    if (!lines.empty() && (op & 0xE0) == 0xE0) {
      // an equal line, or one of the same texts in the next priority
      LineItem copy = lines[op % lines.size()];
      if ((op & 0x10) == 0) copy.priority = static_cast<int16_t>((copy.priority + 1) % 4);
      lines.push_back(std::move(copy));
      continue;
    }
    LineItem l;
    l.id = few_ids ? static_cast<int32_t>(op % 5) - 2 : static_cast<int32_t>(lines.size());
    l.priority = static_cast<int16_t>(op % 4);
    l.back_into_percentage = !frozen && p < end && (*p & 0x80) && (*p & 0x40);
    // texts are views of the input's, as a call's texts are views of its
    // str objects: a line and its copies share their characters
    l.amount.set_view(texts.emplace_back(take_text(p, end)), nullptr);
    l.percentage.set_view(texts.emplace_back((p < end && (*p++ & 3) == 0) ? take_text(p, end) : "0"), nullptr);
    if (frozen) l.frozen_value = l.amount;
    const size_t copies = long_bill ? 1 + op % 40 : 1;
    for (size_t k = 0; k < copies && lines.size() < kMaxLines; ++k) {
      lines.push_back(l);
      l.description = std::to_string(k);  // the copies differ in one text
    }
  }
  // the general paths first, then the fast ones: both must give the same
  const std::string general = (g_fast_path_mask = 0, outcome(lines, q));
  g_fast_path_mask = ~uint64_t{0};
  if (outcome(lines, q) != general) std::abort();
  return 0;
}
