#include "read.h"

#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

#include "enum_classes.h"
#include "errors.h"
#include "state.h"

namespace corbyl::py {
namespace {

// Every native type has two converters:
//
//   quick(rd, o, out) never runs Python code: no lookup, no __index__, no
//     truth value, no length or iteration of anything but an exact list or
//     tuple, and no Python object created but an exception. Where reading
//     the value would need any of that, it answers NeedsPython and sets
//     nothing.
//   read(rd, o, out) reads any value; it may run Python code.
//
// A record is read in one pass over its dict only through quick converters
// (read_record), so nothing can change the dict under the pass: a converter
// that may run Python code has no way in.
enum class Got : uint8_t {
  Value,        // read into the native value
  Error,        // failed, with a Python error set
  NeedsPython,  // a quick converter that would have to run Python code
};

// The converters of the types that hold others, declared before any use.
template <typename T>
Got quick(Reader& rd, PyObject* o, std::optional<T>& out);
template <typename T>
bool read(Reader& rd, PyObject* o, std::optional<T>& out);
template <typename T>
Got quick(Reader& rd, PyObject* o, std::vector<T>& out);
template <typename T>
bool read(Reader& rd, PyObject* o, std::vector<T>& out);
template <Record R>
Got quick(Reader& rd, PyObject* o, R& out);
template <Record R>
bool read(Reader& rd, PyObject* o, R& out);

// A capacity hint from a length that may lie: never reserve more than this
// many records up front; a longer list grows as it is read.
constexpr Py_ssize_t kMaxReserve = 1 << 16;

void type_error_expected(PyObject* o, const char* expected) {
  PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to '%s'", Py_TYPE(o)->tp_name, expected);
}

// The value of an exact int that fits one digit (most ids and priorities),
// read in place; false for any other object.
//
// Fast path (FastPath::CompactInt), where PyLong_AsLongLongAndOverflow is
// the general path. Assumes the interpreter's layout of a compact int (its
// own inline functions from 3.12, the digit and sign before); nothing
// invalidates it. Buys 2 % of a call's instructions, more of its time
// (benchmarks/README.md).
bool compact_int(PyObject* o, long long& v) {
  if (!PyLong_CheckExact(o)) return false;
#if CORBYL_PY312_PLUS
  auto* l = reinterpret_cast<PyLongObject*>(o);
  if (!PyUnstable_Long_IsCompact(l)) return false;
  v = PyUnstable_Long_CompactValue(l);
  return true;
#elif PY_VERSION_HEX >= 0x030B0000
  const Py_ssize_t size = Py_SIZE(o);
  if (size < -1 || size > 1) return false;
  v = size * static_cast<long long>(reinterpret_cast<PyLongObject*>(o)->ob_digit[0]);
  return true;
#else
  (void)v;
  return false;
#endif
}

// OverflowError for an int outside the range of T: "can't convert
// negative int to unsigned", or the range it must lie in.
template <typename T>
void out_of_range(bool negative) {
  if (std::is_unsigned_v<T> && negative) {
    PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
    return;
  }
  PyErr_Format(PyExc_OverflowError, "int too %s to convert to %s %d-bit integer (%s %lld)",
               negative ? "small" : "large", std::is_unsigned_v<T> ? "an unsigned" : "a signed",
               static_cast<int>(8 * sizeof(T)), negative ? "at least" : "at most",
               negative ? static_cast<long long>(std::numeric_limits<T>::min())
                        : static_cast<long long>(std::numeric_limits<T>::max()));
}

// An int (a bool and any subclass included) within the range of T; anything
// else needs its __index__.
template <typename T>
Got quick_integer(PyObject* o, T& out) {
  if (!PyLong_Check(o)) return Got::NeedsPython;
  long long v;
  int overflow = 0;
  if (!fast_path(FastPath::CompactInt) || !compact_int(o, v)) {
    v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (v == -1 && PyErr_Occurred()) return Got::Error;
  }
  const bool negative = overflow < 0 || (overflow == 0 && v < 0);
  if (overflow != 0 || v < static_cast<long long>(std::numeric_limits<T>::min()) ||
      (v > 0 && static_cast<unsigned long long>(v) > static_cast<unsigned long long>(std::numeric_limits<T>::max()))) {
    out_of_range<T>(negative);
    return Got::Error;
  }
  out = static_cast<T>(v);
  return Got::Value;
}

template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
Got quick(Reader&, PyObject* o, T& out) {
  return quick_integer(o, out);
}

template <typename T, std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
bool read(Reader&, PyObject* o, T& out) {
  const Got got = quick_integer(o, out);
  if (got != Got::NeedsPython) return got == Got::Value;
  PyRef index = PyRef::steal(PyNumber_Index(o));  // its __index__
  return index && quick_integer(index.get(), out) == Got::Value;
}

// NumPy's boolean scalar, recognised without importing NumPy.
bool is_numpy_bool(PyObject* o) {
  const char* name = Py_TYPE(o)->tp_name;
  return std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0;
}

Got quick(Reader&, PyObject* o, bool& out) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return Got::Value;
  }
  if (is_numpy_bool(o)) return Got::NeedsPython;  // its truth value
  type_error_expected(o, "bool");
  return Got::Error;
}

bool read(Reader& rd, PyObject* o, bool& out) {
  const Got got = quick(rd, o, out);
  if (got != Got::NeedsPython) return got == Got::Value;
  const int truth = PyObject_IsTrue(o);
  if (truth < 0) return false;
  out = truth != 0;
  return true;
}

// A str, as a copy of its characters on the general path.
//
// Fast path (FastPath::TextViews): a view of its characters (or of its
// UTF-8 form, which it keeps as long as it lives), the str held by the call
// (HeldTexts) until the call's result is built, so that Python code run
// meanwhile cannot free them; an exact str is then given back as itself
// where its text goes into a result unchanged (text_to_str). A subclass's
// text is written as a new str. Buys 35 to 60 % of a call
// (benchmarks/README.md).
Got quick(Reader& rd, PyObject* o, Text& out) {
  if (!PyUnicode_Check(o)) {
    type_error_expected(o, "str");
    return Got::Error;
  }
  const char* chars;
  Py_ssize_t n;
  if (PyUnicode_IS_COMPACT_ASCII(o)) [[likely]] {
    chars = static_cast<const char*>(PyUnicode_DATA(o));
    n = PyUnicode_GET_LENGTH(o);
  } else if (!(chars = PyUnicode_AsUTF8AndSize(o, &n))) {
    return Got::Error;
  }
  const std::string_view text(chars, static_cast<size_t>(n));
  if (fast_path(FastPath::TextViews)) {
    rd.texts.hold(o);
    out.set_view(text, PyUnicode_CheckExact(o) ? o : nullptr);
  } else {
    out = Text(std::string(text));
  }
  return Got::Value;
}

template <typename E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
Got quick(Reader&, PyObject* o, E& out) {
  return enum_from_python(o, out) ? Got::Value : Got::Error;
}

// Texts and members never need Python code.
template <typename T, std::enable_if_t<std::is_enum_v<T> || std::is_same_v<T, Text>, int> = 0>
bool read(Reader& rd, PyObject* o, T& out) {
  return quick(rd, o, out) == Got::Value;
}

// Whether an exact dict's items can be taken in one pass.
//
// Fast path (FastPath::OnePassRead), where a lookup of each key is the
// general path: a dict written in the record's order gives each field its
// value as its next item, under the interned key itself (what a lookup,
// which runs no Python code for exact str keys either, would find). Only
// quick converters see the values; the first field whose key is not the
// next item's, or whose value needs Python code, ends the pass, and it and
// every field after it are looked up. Never without the GIL (another thread
// could change the dict). Buys 24 to 44 % of a call (benchmarks/README.md).
template <typename R>
bool one_pass_possible(PyObject* o) {
#ifdef Py_GIL_DISABLED
  (void)o;
  return false;  // another thread could change the dict under the pass
#else
  return fast_path(FastPath::OnePassRead) && PyDict_CheckExact(o) &&
         PyDict_GET_SIZE(o) == static_cast<Py_ssize_t>(RecordInfo<R>::count);
#endif
}

// The value of the item at `pos` if its key is `key`, else nullptr (and
// the pass ends).
inline PyObject* next_item(PyObject* o, Py_ssize_t& pos, PyObject* key) {
  PyObject *k, *v;
  return PyDict_Next(o, &pos, &k, &v) && k == key ? v : nullptr;
}

// mapping[key] as a new reference; on failure the lookup's own error is set
// (KeyError(key) for a dict). May run Python code: a mapping's own
// __getitem__, or the __eq__ of another key of a dict that collides with
// this one.
bool lookup(PyObject* map, PyObject* key, PyRef& out) {
  if (PyDict_CheckExact(map)) {
#if CORBYL_PY313_PLUS
    PyObject* v = nullptr;
    const int found = PyDict_GetItemRef(map, key, &v);
    if (found < 0) return false;
    if (found == 0) {
      PyErr_SetObject(PyExc_KeyError, key);
      return false;
    }
    out = PyRef::steal(v);
#else
    PyObject* v = PyDict_GetItemWithError(map, key);
    if (!v) {
      if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key);
      return false;
    }
    out = PyRef::borrow(v);
#endif
    return true;
  }
  out = PyRef::steal(PyObject_GetItem(map, key));
  return static_cast<bool>(out);
}

// A field looked up and read (out of line: the field's general path).
template <typename R, typename T>
CORBYL_NOINLINE Got look_up_field(Reader& rd, PyObject* o, PyObject* key, T& field) {
  PyRef looked_up;
  if (!lookup(o, key, looked_up)) return Got::Error;
  if (read(rd, looked_up.get(), field)) return Got::Value;
  wrap_field_error(RecordInfo<R>::name.data(), key);
  return Got::Error;
}

// One field of a record: while `one_pass` (one_pass_possible), the next
// item's value if its key is the field's, through the quick converter;
// else looked up and read. A failed lookup keeps its own error; a failed
// conversion is reported as a failure of the field.
template <bool kQuickOnly, typename R, typename T>
CORBYL_ALWAYS_INLINE inline Got read_field(Reader& rd, PyObject* o, PyObject* key, Py_ssize_t& pos, bool& one_pass,
                                           T& field) {
  if (one_pass) {
    if (PyObject* value = next_item(o, pos, key)) {
      const Got got = quick(rd, value, field);
      if (got == Got::Error) wrap_field_error(RecordInfo<R>::name.data(), key);
      if (kQuickOnly || got != Got::NeedsPython) return got;
    }
    one_pass = false;
  }
  if constexpr (kQuickOnly) {
    return Got::NeedsPython;
  } else {
    return look_up_field<R>(rd, o, key, field);
  }
}

// A record, field by field in declared order (read_field). As the quick
// converter of a record (kQuickOnly) it reads only in one pass and answers
// NeedsPython where that cannot be done.
template <bool kQuickOnly, typename R>
Got read_record(Reader& rd, PyObject* o, R& r) {
  bool one_pass = one_pass_possible<R>(o);
  if (kQuickOnly && !one_pass) return Got::NeedsPython;
  Py_ssize_t pos = 0;
  const PyRef held = PyRef::borrow(o);  // the record outlives any Python code run while it is read
  const RecordKeys<R>& keys = record_keys<R>();
  size_t i = 0;
  Got got = Got::Value;
  // (each field's step inlined: a record is read in one straight run)
  RecordInfo<R>::visit(r, [&](auto& field) CORBYL_ALWAYS_INLINE {
    got = read_field<kQuickOnly, R>(rd, o, keys[i], pos, one_pass, field);
    ++i;
    return got == Got::Value;
  });
  if (got == Got::Error) {
    rd.path.push_back(PathStep{RecordInfo<R>::fields[i - 1]});
    if constexpr (std::is_same_v<R, LineItem>) {
      if (i > 1 && !rd.line_id) rd.line_id = r.id;  // the id, read first, is known
    }
  }
  return got;
}

template <Record R>
Got quick(Reader& rd, PyObject* o, R& out) { return read_record<true>(rd, o, out); }
template <Record R>
bool read(Reader& rd, PyObject* o, R& out) { return read_record<false>(rd, o, out) == Got::Value; }

// The element at k of an exact list or tuple, owned; nullptr past the end.
PyRef item_at(PyObject* o, Py_ssize_t k) {
  if (PyTuple_CheckExact(o)) return k < PyTuple_GET_SIZE(o) ? PyRef::borrow(PyTuple_GET_ITEM(o, k)) : PyRef();
#ifdef Py_GIL_DISABLED
  // another thread may shrink the list meanwhile
  PyRef item = PyRef::steal(PyList_GetItemRef(o, k));
  if (!item) PyErr_Clear();
  return item;
#else
  return k < PyList_GET_SIZE(o) ? PyRef::borrow(PyList_GET_ITEM(o, k)) : PyRef();
#endif
}

// Any sequence but a str; elements are taken by iteration, in order.
//
// Fast path (FastPath::ListByPosition): an exact list or tuple is read by
// position, as its iterator would take them (the size read again at each
// step: reading an element may shrink a list, and the list is held). It is
// also the quick converter of a list (kQuickOnly), each element quick; any
// other sequence needs Python code. Buys 3 to 9 % of a call
// (benchmarks/README.md).
template <bool kQuickOnly, typename T>
Got read_list(Reader& rd, PyObject* o, std::vector<T>& out) {
  if (PyUnicode_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "a 'str' is not accepted as a sequence of records");
    return Got::Error;
  }
  const bool by_position = fast_path(FastPath::ListByPosition) && (PyList_CheckExact(o) || PyTuple_CheckExact(o));
#ifdef Py_GIL_DISABLED
  if (kQuickOnly) return Got::NeedsPython;  // the list's items are not ours to borrow
#endif
  if (kQuickOnly && !by_position) return Got::NeedsPython;
  const PyRef held = PyRef::borrow(o);  // the list outlives any Python code run while it is read
  out.clear();
  auto failed_at = [&](size_t position) {
    rd.path.push_back(PathStep{{}, static_cast<Py_ssize_t>(position)});
    return Got::Error;
  };
  if (by_position) {
    out.reserve(static_cast<size_t>(PySequence_Fast_GET_SIZE(o)));
    for (Py_ssize_t k = 0;; ++k) {
      const PyRef item = item_at(o, k);
      if (!item) return Got::Value;
      // read in place; a record that fails to read is taken off again
      const Got got = kQuickOnly ? quick(rd, item.get(), out.emplace_back())
                                 : (read(rd, item.get(), out.emplace_back()) ? Got::Value : Got::Error);
      if (got != Got::Value) {
        out.pop_back();
        return got == Got::Error ? failed_at(out.size()) : got;
      }
    }
  }
  if constexpr (!kQuickOnly) {
    if (!PySequence_Check(o)) {
      type_error_expected(o, "Sequence");
      return Got::Error;
    }
    const Py_ssize_t n = PySequence_Size(o);
    if (n < 0) {
      // The length is only a capacity hint: a sequence without one, or with
      // one too large for this machine's sizes (a lying length above 2^31 on
      // a 32-bit interpreter), is read all the same. Any other error (an
      // interrupt, memory) is the caller's.
      if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError)) {
        return Got::Error;
      }
      PyErr_Clear();
    } else {
      out.reserve(static_cast<size_t>(n < kMaxReserve ? n : kMaxReserve));
    }
    PyRef it = PyRef::steal(PyObject_GetIter(o));
    if (!it) return Got::Error;
    while (PyRef item = PyRef::steal(PyIter_Next(it.get()))) {
      T record{};
      if (!read(rd, item.get(), record)) return failed_at(out.size());
      out.push_back(std::move(record));
    }
    return PyErr_Occurred() ? failed_at(out.size()) : Got::Value;
  }
  return Got::NeedsPython;
}

template <typename T>
Got quick(Reader& rd, PyObject* o, std::vector<T>& out) { return read_list<true>(rd, o, out); }
template <typename T>
bool read(Reader& rd, PyObject* o, std::vector<T>& out) { return read_list<false>(rd, o, out) == Got::Value; }

template <bool kQuickOnly, typename T>
Got read_optional(Reader& rd, PyObject* o, std::optional<T>& out) {
  if (o == Py_None) {
    out.reset();
    return Got::Value;
  }
  T v{};
  const Got got = kQuickOnly ? quick(rd, o, v) : (read(rd, o, v) ? Got::Value : Got::Error);
  if (got == Got::Value) out = std::move(v);
  return got;
}

template <typename T>
Got quick(Reader& rd, PyObject* o, std::optional<T>& out) { return read_optional<true>(rd, o, out); }
template <typename T>
bool read(Reader& rd, PyObject* o, std::optional<T>& out) { return read_optional<false>(rd, o, out) == Got::Value; }

}  // namespace

CORBYL_COLD void HeldTexts::hold_more(PyObject* o) {
  more_.push_back(o);  // (may throw: then nothing more is held)
  Py_INCREF(o);
}

bool read_value(Reader& rd, PyObject* o, int16_t& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, int32_t& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, int64_t& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, uint16_t& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, uint32_t& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, bool& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, Text& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, std::vector<LineItem>& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, TipLinesContext& out) { return read(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, DeliverableLinesContext& out) { return read(rd, o, out); }

}  // namespace corbyl::py
