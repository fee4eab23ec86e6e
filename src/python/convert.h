// Conversion between Python objects and the native records: one converter
// per native type (read_value, to_python), each failing with a Python error
// set. Records are read key by key, by subscript, in declared field order,
// as their description in the core lists them; a missing key surfaces as the
// mapping's own error, a bad value as TypeError "failed to extract field
// Record.key" caused by the value's error.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <vector>

#include "core/decimal.h"
#include "core/divide.h"
#include "core/line_item.h"
#include "core/records.h"
#include "core/totals.h"
#include "pyref.h"

namespace corbyl::py {

// The interned key strings of a record's fields, in declared order, created
// once per process by init_keys() and never released.
template <typename R>
using RecordKeys = std::array<PyObject*, RecordInfo<R>::count>;
template <typename R>
const RecordKeys<R>& record_keys();

// The keys of the totals result, in the order in which they are inserted.
struct ResultKeys {
  PyObject* total = nullptr;
  PyObject* discount = nullptr;
  PyObject* subtotals = nullptr;
};
const ResultKeys& result_keys();

// Interns every key; the module's execution runs it before anything else.
bool init_keys();

// The str objects whose characters the texts of one call view (Text): each
// is held from its reading until the call has built its result, so that
// Python code that runs meanwhile (an __index__, a mapping's own lookup)
// cannot free the characters by changing the caller's records. A text taken
// over unchanged is given back as the very str object it viewed.
class HeldTexts {
 public:
  HeldTexts() = default;
  HeldTexts(const HeldTexts&) = delete;
  HeldTexts& operator=(const HeldTexts&) = delete;
  ~HeldTexts() {
    for (size_t i = 0; i < count_ && i < kInPlace; ++i) Py_DECREF(in_place_[i]);
    for (PyObject* o : more_) Py_DECREF(o);
  }
  void hold(PyObject* o) {
    if (count_ < kInPlace) [[likely]] {
      in_place_[count_++] = o;
      Py_INCREF(o);
    } else {
      hold_more(o);
    }
  }
  // How many are held, and each in the order taken.
  size_t count() const { return count_; }
  PyObject* at(size_t i) const { return i < kInPlace ? in_place_[i] : more_[i - kInPlace]; }

 private:
  void hold_more(PyObject* o);  // out of line: the rare long bill

  // the texts of a typical bill are held without an allocation
  static constexpr size_t kInPlace = 64;
  std::array<PyObject*, kInPlace> in_place_;
  size_t count_ = 0;
  std::vector<PyObject*> more_;
};

// The state of one conversion of an argument. `calls_out` counts the steps
// that may have run Python code (any key lookup, __index__, a sequence's own
// length and iteration), so that a record read in one pass over an exact dict
// knows when its snapshot of the values may have gone stale. `path` is
// where a failure was, innermost step first: a record's field (with the id of
// a line item whose id was read) or a list's position; it grows only as a
// failure passes back up through the readers.
struct Reader {
  explicit Reader(HeldTexts& held) : texts(held) {}

  struct Step {
    PyObject* key = nullptr;  // the field's interned key, or nullptr for a position
    Py_ssize_t index = 0;
    bool has_id = false;
    int32_t id = 0;
  };
  HeldTexts& texts;  // the call's, for the str objects its texts view
  uint64_t calls_out = 0;
  std::vector<Step> path;

  // The note for a failed argument ("while reading lines[3] (id 17), field
  // 'kind'"); empty when the failure was not inside a record or list.
  std::string failure_note(const char* argument) const;
};

// Python to native. Scalars, as top-level arguments and as record fields.
bool read_value(Reader& rd, PyObject* o, int16_t& out);
bool read_value(Reader& rd, PyObject* o, int32_t& out);
bool read_value(Reader& rd, PyObject* o, int64_t& out);
bool read_value(Reader& rd, PyObject* o, uint16_t& out);
bool read_value(Reader& rd, PyObject* o, uint32_t& out);
bool read_value(Reader& rd, PyObject* o, bool& out);
bool read_value(Reader& rd, PyObject* o, Text& out);
bool read_value(Reader& rd, PyObject* o, LineType& out);
bool read_value(Reader& rd, PyObject* o, Category& out);
bool read_value(Reader& rd, PyObject* o, Account& out);
// Records, and lists of records (any sequence but a str).
bool read_value(Reader& rd, PyObject* o, LineItem& out);
bool read_value(Reader& rd, PyObject* o, ServicePlan& out);
bool read_value(Reader& rd, PyObject* o, Pricing& out);
bool read_value(Reader& rd, PyObject* o, TipLinesContext& out);
bool read_value(Reader& rd, PyObject* o, DeliverableLinesContext& out);
bool read_value(Reader& rd, PyObject* o, std::vector<LineItem>& out);
bool read_value(Reader& rd, PyObject* o, std::vector<ServicePlan>& out);

// None for absent, else the value.
template <typename T>
bool read_value(Reader& rd, PyObject* o, std::optional<T>& out) {
  if (o == Py_None) {
    out.reset();
    return true;
  }
  T v{};
  if (!read_value(rd, o, v)) return false;
  out = std::move(v);
  return true;
}

// Converts a whole argument; its texts are held by `texts`.
template <typename T>
bool read_argument(PyObject* o, HeldTexts& texts, T& out) {
  Reader rd(texts);
  return read_value(rd, o, out);
}

// Native to Python: new references, nullptr with an error set on failure.
PyObject* decimal_to_str(const Decimal& d);
PyObject* line_items_to_list(const std::vector<LineItem>& lines);
PyObject* totals_to_dict(const TotalsReport& report);
PyObject* parts_to_list(const Division& parts);

}  // namespace corbyl::py
