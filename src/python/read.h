// Reading Python objects into the core's records: one converter per native
// type, each failing with a Python error set. Records are read key by key,
// by subscript, in declared field order, as their description in the core
// lists them; a missing key surfaces as the mapping's own error, a bad
// value as TypeError "failed to extract field Record.key" caused by the
// value's error.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/line_item.h"
#include "core/records.h"
#include "pyref.h"

namespace corbyl::py {

// The str objects whose characters the texts of one call view (Text): each
// is held from its reading until the call has built its result, so that
// Python code that runs meanwhile (an __index__, a mapping's own lookup)
// cannot free the characters by changing the caller's records.
class HeldTexts {
 public:
  HeldTexts() = default;
  HeldTexts(const HeldTexts&) = delete;
  HeldTexts& operator=(const HeldTexts&) = delete;
  ~HeldTexts() {
    for (size_t i = 0; i < in_place_count_; ++i) Py_DECREF(in_place_[i]);
    for (PyObject* o : more_) Py_DECREF(o);
  }
  void hold(PyObject* o) {
    if (fast_path(FastPath::HeldInPlace) && in_place_count_ < kInPlace) [[likely]] {
      in_place_[in_place_count_++] = o;
      Py_INCREF(o);
    } else {
      hold_more(o);
    }
  }

 private:
  void hold_more(PyObject* o);  // out of line: the rare long bill

  // Fast path (FastPath::HeldInPlace): the texts of a typical bill are held
  // in place, without an allocation; past kInPlace, and on the general
  // path, in a vector. Buys 7 to 14 % of a call (benchmarks/README.md).
  static constexpr size_t kInPlace = 64;
  std::array<PyObject*, kInPlace> in_place_;
  size_t in_place_count_ = 0;
  std::vector<PyObject*> more_;
};

// One step of the way from an argument to a value: a record's key, or a
// position in a list.
struct PathStep {
  std::string_view key;  // (a static name), or empty for a position
  Py_ssize_t index = 0;
};

// The state of the conversion of one argument. `path` is where a failure
// was, innermost step first, and `line_id` the id of the innermost line
// item whose id was read; both grow only as a failure passes back up
// through the readers (places.h makes them the error's).
struct Reader {
  explicit Reader(HeldTexts& held) : texts(held) {}

  HeldTexts& texts;  // the call's, for the str objects its texts view
  std::vector<PathStep> path;
  std::optional<int32_t> line_id;
};

// Python to native, each with an error set on failure. Scalars, as
// top-level arguments and as record fields; records; lists of records (any
// sequence but a str); None for an absent optional.
bool read_value(Reader& rd, PyObject* o, int16_t& out);
bool read_value(Reader& rd, PyObject* o, int32_t& out);
bool read_value(Reader& rd, PyObject* o, int64_t& out);
bool read_value(Reader& rd, PyObject* o, uint16_t& out);
bool read_value(Reader& rd, PyObject* o, uint32_t& out);
bool read_value(Reader& rd, PyObject* o, bool& out);
bool read_value(Reader& rd, PyObject* o, Text& out);
bool read_value(Reader& rd, PyObject* o, std::vector<LineItem>& out);
bool read_value(Reader& rd, PyObject* o, TipLinesContext& out);
bool read_value(Reader& rd, PyObject* o, DeliverableLinesContext& out);

// Converts a whole argument; its texts are held by `texts`.
template <typename T>
bool read_argument(PyObject* o, HeldTexts& texts, T& out) {
  Reader rd(texts);
  return read_value(rd, o, out);
}

}  // namespace corbyl::py
