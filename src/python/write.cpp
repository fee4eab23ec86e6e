#include "write.h"

#include <cstring>
#include <optional>
#include <string_view>
#include <type_traits>

#include "enum_classes.h"
#include "errors.h"
#include "state.h"
#include "templates.h"

namespace corbyl::py {
namespace {

PyObject* new_ref(PyObject* o) {
  Py_INCREF(o);
  return o;
}

PyObject* to_python(int32_t v) { return PyLong_FromLong(v); }
PyObject* to_python(int16_t v) { return PyLong_FromLong(v); }
PyObject* to_python(bool v) { return new_ref(v ? Py_True : Py_False); }
PyObject* to_python(const Text& t) { return text_to_str(t); }
template <typename E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
PyObject* to_python(E v) {
  return enum_to_python(v);
}
PyObject* to_python(const std::optional<Text>& v) { return v ? text_to_str(*v) : new_ref(Py_None); }
PyObject* to_python(const std::optional<int64_t>& v) { return v ? PyLong_FromLongLong(*v) : new_ref(Py_None); }

PyObject* printed_to_str(const char* chars, size_t n) {
  PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
  if (!s) return nullptr;
  std::memcpy(PyUnicode_1BYTE_DATA(s), chars, n);
  return s;
}

// A subtotal as a new str.
//
// Fast path (FastPath::GiveBackAmount): a subtotal written exactly as the
// caller's text it was read from (an amount without a percentage, a frozen
// value) is given back as that str. Assumes that the text views the
// caller's str (Text::source), which the call holds; a text of its own has
// none. Buys 2 % of a totals call (benchmarks/README.md).
PyObject* subtotal_to_str(const TotalsReport::Subtotal& s) {
  char buf[Decimal::kMaxPrinted];
  const size_t n = s.value.print(buf);
  if (fast_path(FastPath::GiveBackAmount) && s.read_from && s.read_from->source() &&
      s.read_from->str() == std::string_view(buf, n)) {
    return text_to_str(*s.read_from);
  }
  return printed_to_str(buf, n);
}

}  // namespace

bool put(PyObject* d, PyObject* key, PyObject* value) {
  if (!value) {
    result_creation_failed();
    return false;
  }
  PyRef v = PyRef::steal(value);
  return PyDict_SetItem(d, key, v.get()) == 0;
}

PyObject* text_to_str(const Text& t) {
  if (const void* source = t.source()) return new_ref(static_cast<PyObject*>(const_cast<void*>(source)));
  const std::string_view s = t.str();
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* decimal_to_str(const Decimal& d) {
  char buf[Decimal::kMaxPrinted];
  return printed_to_str(buf, d.print(buf));
}

PyObject* line_item_to_dict(const LineItem& l) {
  const RecordKeys<LineItem>& keys = record_keys<LineItem>();
  PyRef d = PyRef::steal(PyDict_Copy(state().line_template));
  if (!d) return result_creation_failed();
  size_t i = 0;
  const bool ok = RecordInfo<LineItem>::visit(l, [&](const auto& value) {
    return put(d.get(), keys[i++], to_python(value));
  });
  return ok ? d.release() : nullptr;
}

PyObject* line_items_to_list(const std::vector<LineItem>& lines) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(lines.size())));
  if (!list) return result_creation_failed();
  for (size_t i = 0; i < lines.size(); ++i) {
    const LineItem& l = lines[i];
    PyObject* d = l.generated && fast_path(FastPath::GeneratedTemplates) ? generated_line_to_dict(l)
                                                                          : line_item_to_dict(l);
    if (!d) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
  }
  return list.release();
}

PyObject* totals_to_dict(const TotalsReport& report) {
  const State& st = state();
  PyRef result = PyRef::steal(PyDict_New());
  PyRef subtotals = PyRef::steal(new_dict(static_cast<Py_ssize_t>(report.count())));
  if (!result || !subtotals) return result_creation_failed();
  // Fast path (FastPath::ShareEqualSubtotals): lines of one group often have
  // equal subtotals, and a subtotal identical to the one before (the same
  // digits and scale) shares its str, which the subtotals dict holds.
  // Assumes nothing of the values. Buys 4 to 8 % of a totals call
  // (benchmarks/README.md).
  Decimal last;
  PyObject* last_text = nullptr;
  for (size_t i = 0; i < report.count(); ++i) {
    const TotalsReport::Subtotal s = report[i];
    PyRef key = PyRef::steal(to_python(s.id));
    if (!key) return result_creation_failed();
    PyObject* text = fast_path(FastPath::ShareEqualSubtotals) && last_text && last.identical(s.value)
                         ? new_ref(last_text)
                         : subtotal_to_str(s);
    if (!put(subtotals.get(), key.get(), text)) return nullptr;
    last = s.value;
    last_text = text;
  }
  if (!put(result.get(), st.total_key, decimal_to_str(report.total)) ||
      !put(result.get(), st.discount_key, decimal_to_str(report.discount)) ||
      PyDict_SetItem(result.get(), st.subtotals_key, subtotals.get()) < 0) {
    return nullptr;
  }
  return result.release();
}

PyObject* parts_to_list(const Division& parts) {
  // the parts take at most two values: each is printed once and shared
  PyRef larger = PyRef::steal(decimal_to_str(parts.larger));
  PyRef base = PyRef::steal(decimal_to_str(parts.base));
  PyRef list = PyRef::steal(PyList_New(parts.count));
  if (!larger || !base || !list) return result_creation_failed();
  // Fast path (FastPath::PartsRefcountOnce): the str is this call's own,
  // seen by no one else yet, so its count is raised once by all the
  // references the list takes, not step by step (on 3.12 and later each
  // step is a load, a test for immortality and a store that the next step
  // waits for). Assumes a build with the GIL that counts no references of
  // its own (not a debug build, which counts each one taken); nothing
  // invalidates it. Buys about 40 % of a division into 65,535 parts on
  // 3.14, nothing on 3.11 (benchmarks/README.md).
  auto fill = [&](uint32_t from, uint32_t to, PyObject* s) {
    for (uint32_t i = from; i < to; ++i) PyList_SET_ITEM(list.get(), i, s);
#if !defined(Py_REF_DEBUG) && !defined(Py_GIL_DISABLED)
    if (fast_path(FastPath::PartsRefcountOnce)) {
      Py_SET_REFCNT(s, Py_REFCNT(s) + static_cast<Py_ssize_t>(to - from));
      return;
    }
#endif
    for (uint32_t i = from; i < to; ++i) Py_INCREF(s);
  };
  fill(0, parts.larger_count, larger.get());
  fill(parts.larger_count, parts.count, base.get());
  return list.release();
}

}  // namespace corbyl::py
