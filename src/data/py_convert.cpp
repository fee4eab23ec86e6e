#include "py_convert.h"

#include <cstring>
#include <limits>
#include <type_traits>

#include "py_enums.h"
#include "py_errors.h"

namespace corbyl::py {
namespace {

Keys g_keys;
Once keys_once;
// A dict with the eleven line item keys in order: each written line item is
// a copy of it with the values replaced, which spares the resizes of
// growing a dict key by key.
PyObject* g_line_template = nullptr;

// A capacity hint from a length that may lie: never reserve more than this.
constexpr Py_ssize_t kMaxReserve = 1 << 16;

// mapping[key] as a new reference; on failure the lookup's own error is set
// (KeyError(key) for a dict).
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

// Looks up one field of a record and converts it: a failed lookup keeps its
// own error, a failed conversion is reported as a failure of the field.
template <typename T, typename Read>
bool field(PyObject* map, PyObject* key, const char* record, T& out, Read read) {
  PyRef value;
  if (!lookup(map, key, value)) return false;
  if (read(value.get(), out)) return true;
  wrap_field_error(record, key);
  return false;
}

template <typename T, typename Read>
auto optional_of(Read read) {
  return [read](PyObject* o, std::optional<T>& out) {
    if (o == Py_None) {
      out.reset();
      return true;
    }
    T v{};
    if (!read(o, v)) return false;
    out = std::move(v);
    return true;
  };
}

template <typename T>
bool read_integer(PyObject* o, T& out) {
  PyRef index;
  if (!PyLong_Check(o)) {
    index = PyRef::steal(PyNumber_Index(o));
    if (!index) return false;
    o = index.get();
  }
  int overflow = 0;
  const long long v = PyLong_AsLongLongAndOverflow(o, &overflow);
  if (v == -1 && PyErr_Occurred()) return false;
  if (overflow || v < static_cast<long long>(std::numeric_limits<T>::min()) ||
      (v > 0 && static_cast<unsigned long long>(v) >
                    static_cast<unsigned long long>(std::numeric_limits<T>::max()))) {
    if (std::is_unsigned_v<T> && (overflow < 0 || v < 0)) {
      PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
    } else {
      PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    }
    return false;
  }
  out = static_cast<T>(v);
  return true;
}

void type_error_expected(PyObject* o, const char* expected) {
  PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to '%s'", Py_TYPE(o)->tp_name, expected);
}

// Any sequence but a str; elements are taken by iteration, in order.
template <typename T, typename ReadOne>
bool read_list(PyObject* o, std::vector<T>& out, ReadOne read_one) {
  if (PyUnicode_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "a 'str' is not accepted as a sequence of records");
    return false;
  }
  if (!PySequence_Check(o)) {
    type_error_expected(o, "Sequence");
    return false;
  }
  const Py_ssize_t n = PySequence_Size(o);
  if (n < 0) {
    PyErr_Clear();  // the length is only a capacity hint
  } else {
    out.reserve(static_cast<size_t>(n < kMaxReserve ? n : kMaxReserve));
  }
  PyRef it = PyRef::steal(PyObject_GetIter(o));
  if (!it) return false;
  while (PyRef item = PyRef::steal(PyIter_Next(it.get()))) {
    T record{};
    if (!read_one(item.get(), record)) return false;
    out.push_back(std::move(record));
  }
  return !PyErr_Occurred();
}

bool read_line_item(PyObject* o, LineItem& l) {
  const Keys& k = g_keys;
  constexpr const char* R = "LineItem";
  return field(o, k.id, R, l.id, read_i32) && field(o, k.priority, R, l.priority, read_i16) &&
         field(o, k.kind, R, l.kind, enum_from_python<LineType>) &&
         field(o, k.amount, R, l.amount, read_text) && field(o, k.description, R, l.description, read_text) &&
         field(o, k.frozen_value, R, l.frozen_value, optional_of<std::string>(read_text)) &&
         field(o, k.percentage, R, l.percentage, read_text) &&
         field(o, k.category, R, l.category, enum_from_python<Category>) &&
         field(o, k.destination_user_id, R, l.destination_user_id, optional_of<int64_t>(read_i64)) &&
         field(o, k.destination_account, R, l.destination_account, enum_from_python<Account>) &&
         field(o, k.back_into_percentage, R, l.back_into_percentage, read_bool);
}

bool read_plan(PyObject* o, ServicePlan& p) {
  const Keys& k = g_keys;
  constexpr const char* R = "ServicePlan";
  return field(o, k.id, R, p.id, read_i32) && field(o, k.name, R, p.name, read_text) &&
         field(o, k.connection_fee_waived, R, p.connection_fee_waived, read_bool) &&
         field(o, k.per_deliverable_price, R, p.per_deliverable_price, read_text) &&
         field(o, k.max_simultaneous_orders, R, p.max_simultaneous_orders, read_u16) &&
         field(o, k.waitlisting, R, p.waitlisting, read_bool) &&
         field(o, k.paypal_invoicing, R, p.paypal_invoicing, read_bool) &&
         field(o, k.shield_static_price, R, p.shield_static_price, read_text) &&
         field(o, k.shield_percentage_price, R, p.shield_percentage_price, read_text);
}

bool read_plans(PyObject* o, std::vector<ServicePlan>& out) { return read_list(o, out, read_plan); }

bool read_pricing_record(PyObject* o, Pricing& p) {
  const Keys& k = g_keys;
  constexpr const char* R = "Pricing";
  return field(o, k.plans, R, p.plans, read_plans) &&
         field(o, k.minimum_price, R, p.minimum_price, read_text) &&
         field(o, k.table_percentage, R, p.table_percentage, read_text) &&
         field(o, k.table_static, R, p.table_static, read_text) &&
         field(o, k.table_tax, R, p.table_tax, read_text) &&
         field(o, k.processing_percentage, R, p.processing_percentage, read_text) &&
         field(o, k.processing_static, R, p.processing_static, read_text) &&
         field(o, k.international_conversion_percentage, R, p.international_conversion_percentage, read_text) &&
         field(o, k.preferred_plan, R, p.preferred_plan, read_text) &&
         field(o, k.stripe_blended_rate_percentage, R, p.stripe_blended_rate_percentage, read_text) &&
         field(o, k.stripe_blended_rate_static, R, p.stripe_blended_rate_static, read_text) &&
         field(o, k.stripe_payout_cross_border_percentage, R, p.stripe_payout_cross_border_percentage,
               read_text) &&
         field(o, k.stripe_active_account_monthly_fee, R, p.stripe_active_account_monthly_fee, read_text) &&
         field(o, k.stripe_payout_static, R, p.stripe_payout_static, read_text) &&
         field(o, k.stripe_payout_percentage, R, p.stripe_payout_percentage, read_text);
}

// Sets d[key] = value, taking over the new reference `value`.
bool put(PyObject* d, PyObject* key, PyObject* value) {
  if (!value) return false;
  PyRef v = PyRef::steal(value);
  return PyDict_SetItem(d, key, v.get()) == 0;
}

PyObject* text_to_str(const std::string& s) {
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* new_ref(PyObject* o) {
  Py_INCREF(o);
  return o;
}

}  // namespace

const Keys& keys() { return g_keys; }

bool init_keys() {
  return keys_once.run([] {
    Keys k;
#define CORBYL_KEY_INIT(name)                            \
  k.name = PyUnicode_InternFromString(#name);            \
  if (!k.name) return false;
    CORBYL_KEYS(CORBYL_KEY_INIT)
#undef CORBYL_KEY_INIT
    PyRef tmpl = PyRef::steal(PyDict_New());
    if (!tmpl) return false;
    for (PyObject* key : {k.id, k.priority, k.kind, k.amount, k.description, k.frozen_value, k.percentage,
                          k.category, k.destination_user_id, k.destination_account, k.back_into_percentage}) {
      if (PyDict_SetItem(tmpl.get(), key, Py_None) < 0) return false;
    }
    g_keys = k;  // kept for the life of the process
    g_line_template = tmpl.release();
    return true;
  });
}

bool read_u32(PyObject* o, uint32_t& out) { return read_integer(o, out); }
bool read_u16(PyObject* o, uint16_t& out) { return read_integer(o, out); }
bool read_i32(PyObject* o, int32_t& out) { return read_integer(o, out); }
bool read_i16(PyObject* o, int16_t& out) { return read_integer(o, out); }
bool read_i64(PyObject* o, int64_t& out) { return read_integer(o, out); }

bool read_bool(PyObject* o, bool& out) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return true;
  }
  // NumPy's boolean scalar, recognised without importing NumPy.
  const char* name = Py_TYPE(o)->tp_name;
  if (std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0) {
    const int truth = PyObject_IsTrue(o);
    if (truth < 0) return false;
    out = truth != 0;
    return true;
  }
  type_error_expected(o, "bool");
  return false;
}

bool read_text(PyObject* o, std::string& out) {
  if (!PyUnicode_Check(o)) {
    type_error_expected(o, "str");
    return false;
  }
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &n);
  if (!utf8) return false;
  out.assign(utf8, static_cast<size_t>(n));
  return true;
}

bool read_line_items(PyObject* o, std::vector<LineItem>& out) { return read_list(o, out, read_line_item); }

bool read_pricing(PyObject* o, std::optional<Pricing>& out) {
  if (o == Py_None) {
    out.reset();
    return true;
  }
  Pricing p;
  if (!read_pricing_record(o, p)) return false;
  out = std::move(p);
  return true;
}

bool read_tip_context(PyObject* o, TipLinesContext& c) {
  const Keys& k = g_keys;
  constexpr const char* R = "TipLinesContext";
  return field(o, k.pricing, R, c.pricing, read_pricing) &&
         field(o, k.international, R, c.international, read_bool) &&
         field(o, k.quantization, R, c.quantization, read_u32);
}

bool read_deliverable_context(PyObject* o, DeliverableLinesContext& c) {
  const Keys& k = g_keys;
  constexpr const char* R = "DeliverableLinesContext";
  return field(o, k.base_price, R, c.base_price, read_text) &&
         field(o, k.table_product, R, c.table_product, read_bool) &&
         field(o, k.escrow_enabled, R, c.escrow_enabled, read_bool) &&
         field(o, k.international, R, c.international, read_bool) &&
         field(o, k.extra_lines, R, c.extra_lines, read_line_items) &&
         field(o, k.plan_name, R, c.plan_name, optional_of<std::string>(read_text)) &&
         field(o, k.pricing, R, c.pricing, read_pricing) && field(o, k.user_id, R, c.user_id, read_i64) &&
         field(o, k.allow_soft_failure, R, c.allow_soft_failure, read_bool) &&
         field(o, k.quantization, R, c.quantization, read_u32);
}

PyObject* decimal_to_str(const Decimal& d) {
  char buf[Decimal::kMaxPrinted];
  const size_t n = d.print(buf);
  PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
  if (!s) return nullptr;
  std::memcpy(PyUnicode_1BYTE_DATA(s), buf, n);
  return s;
}

PyObject* line_item_to_dict(const LineItem& l) {
  const Keys& k = g_keys;
  PyRef d = PyRef::steal(PyDict_Copy(g_line_template));
  if (!d) return result_creation_failed();
  PyObject* p = d.get();
  auto optional_text = [](const std::optional<std::string>& t) {
    return t ? text_to_str(*t) : new_ref(Py_None);
  };
  const bool ok =
      put(p, k.id, PyLong_FromLong(l.id)) && put(p, k.priority, PyLong_FromLong(l.priority)) &&
      put(p, k.kind, enum_to_python(l.kind)) && put(p, k.amount, text_to_str(l.amount)) &&
      put(p, k.description, text_to_str(l.description)) &&
      put(p, k.frozen_value, optional_text(l.frozen_value)) &&
      put(p, k.percentage, text_to_str(l.percentage)) && put(p, k.category, enum_to_python(l.category)) &&
      put(p, k.destination_user_id,
          l.destination_user_id ? PyLong_FromLongLong(*l.destination_user_id) : new_ref(Py_None)) &&
      put(p, k.destination_account, enum_to_python(l.destination_account)) &&
      put(p, k.back_into_percentage, PyBool_FromLong(l.back_into_percentage));
  if (!ok) return nullptr;
  return d.release();
}

PyObject* line_items_to_list(const std::vector<LineItem>& lines) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(lines.size())));
  if (!list) return result_creation_failed();
  for (size_t i = 0; i < lines.size(); ++i) {
    PyObject* d = line_item_to_dict(lines[i]);
    if (!d) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
  }
  return list.release();
}

}  // namespace corbyl::py
