// _corbyl_testing: the native decimal operations exposed for the tests, so
// that hypothesis can compare them with Python's decimal module. Built by the
// test suite only, never installed with the package.
//
// Decimals cross as text. A parse failure raises ValueError with the parse
// message; an arithmetic abort raises ArithmeticError with its message.
#include <cstring>
#include <string>

#include <vector>

#include "core/fast_paths.h"
#include "core/lines.h"
#include "python/errors.h"
#include "python/functions.h"
#include "python/read.h"
#include "python/state.h"
#include "python/write.h"
#include "python/enum_classes.h"
#include "python/pyref.h"
#include "core/decimal.h"
#include "core/exact_sum.h"
#include "core/records.h"
#include "core/totals.h"

using corbyl::ArithmeticAbort;
using corbyl::Decimal;

namespace {

bool parse_arg(PyObject* o, Decimal& out) {
  Py_ssize_t n = 0;
  const char* s = PyUnicode_AsUTF8AndSize(o, &n);
  if (!s) return false;
  const Decimal::Parsed p = Decimal::parse(std::string_view(s, static_cast<size_t>(n)));
  if (!p.ok()) {
    PyErr_SetString(PyExc_ValueError, std::string(corbyl::parse_message(p.error)).c_str());
    return false;
  }
  out = p.value;
  return true;
}

PyObject* to_str(const Decimal& d) { return PyUnicode_FromString(d.to_string().c_str()); }

template <typename F>
PyObject* guarded(F&& f) {
  try {
    return f();
  } catch (const ArithmeticAbort& e) {
    PyErr_SetString(PyExc_ArithmeticError, e.what());
    return nullptr;
  }
}

bool check_count(const char* name, Py_ssize_t nargs, Py_ssize_t want) {
  if (nargs == want) return true;
  PyErr_Format(PyExc_TypeError, "%s() takes %zd arguments", name, want);
  return false;
}

// parse(text) -> (negative, coefficient, scale, printed)
PyObject* t_parse(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("parse", nargs, 1)) return nullptr;
  Decimal d;
  if (!parse_arg(args[0], d)) return nullptr;
  const std::string coef = Decimal::from_parts(d.coefficient(), 0, false).to_string();
  return Py_BuildValue("(NNIN)", PyBool_FromLong(d.negative()), PyLong_FromString(coef.c_str(), nullptr, 10),
                       d.scale(), to_str(d));
}

template <Decimal (*Op)(const Decimal&, const Decimal&)>
PyObject* binary(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("binary operation", nargs, 2)) return nullptr;
  Decimal a, b;
  if (!parse_arg(args[0], a) || !parse_arg(args[1], b)) return nullptr;
  return guarded([&] { return to_str(Op(a, b)); });
}

Decimal op_add(const Decimal& a, const Decimal& b) { return a + b; }
Decimal op_sub(const Decimal& a, const Decimal& b) { return a - b; }
Decimal op_mul(const Decimal& a, const Decimal& b) { return a * b; }
Decimal op_div(const Decimal& a, const Decimal& b) { return a / b; }
Decimal op_iadd(const Decimal& a, const Decimal& b) {
  Decimal r = a;
  r += b;
  return r;
}
Decimal op_isub(const Decimal& a, const Decimal& b) {
  Decimal r = a;
  r -= b;
  return r;
}

PyObject* t_compare(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("compare", nargs, 2)) return nullptr;
  Decimal a, b;
  if (!parse_arg(args[0], a) || !parse_arg(args[1], b)) return nullptr;
  return PyLong_FromLong(compare(a, b));
}



template <typename F>
PyObject* with_quantization(PyObject* o, F&& f) {
  const unsigned long q = PyLong_AsUnsignedLong(o);
  if (PyErr_Occurred()) return nullptr;
  return guarded([&] { return f(static_cast<uint32_t>(q)); });
}

// negate(text[, q]): the negation, or the value_string of the negation at q
// places (the only way to hand a negative zero to the quantization)
PyObject* t_negate(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 1 && !check_count("negate", nargs, 2)) return nullptr;
  Decimal a;
  if (!parse_arg(args[0], a)) return nullptr;
  if (nargs == 1) return to_str(-a);
  return with_quantization(args[1], [&](uint32_t q) { return to_str(corbyl::quantize(-a, q)); });
}

PyObject* t_quantize(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("quantize", nargs, 2)) return nullptr;
  Decimal a;
  if (!parse_arg(args[0], a)) return nullptr;
  return with_quantization(args[1], [&](uint32_t q) { return to_str(corbyl::quantize(a, q)); });
}

PyObject* t_value_string(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("value_string", nargs, 2)) return nullptr;
  Decimal a;
  if (!parse_arg(args[0], a)) return nullptr;
  return with_quantization(args[1], [&](uint32_t q) {
    const std::string s = corbyl::value_string(a, q);
    return PyUnicode_FromString(s.c_str());
  });
}

PyObject* t_quantum(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("quantum", nargs, 1)) return nullptr;
  return with_quantization(args[0], [](uint32_t q) { return to_str(corbyl::quantum(q)); });
}

PyObject* t_quantized_zero(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("quantized_zero", nargs, 1)) return nullptr;
  return with_quantization(args[0], [](uint32_t q) { return to_str(corbyl::quantized_zero(q)); });
}

// ---- floors: the cost of a call without its computation ------------------
//
// Each converts its arguments with the module's own converters and builds a
// result of the same shape as the real function, computing nothing.

namespace cp = corbyl::py;

// Like py_get_totals: every line's subtotal is a printed fixed value. A
// line worked out from the same texts as the line before it gets the same
// value (as lines of one group do in the real call, which then share one
// str), any other line a new one, so that the result has as many strs as
// the real one. A line without percentage is its amount, given back as the
// caller's own str where the amount is written as the module prints it.
// The subtotals are entries of a map of the lines, as the real call's are.
PyObject* t_floor_totals(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("floor_totals", nargs, 2)) return nullptr;
  cp::HeldTexts texts;
  corbyl::Totals t;
  uint32_t q = 0;
  if (!cp::read_argument(args[0], texts, t.lines) || !cp::read_argument(args[1], texts, q)) return nullptr;
  t.total = Decimal::from_parts(1234, 2, false);
  t.discount = Decimal::from_parts(0, 2, false);
  t.subtotals = corbyl::SubtotalMap(t.lines);
  t.subtotals.reserve(t.lines.size());
  uint64_t value = 1000;
  for (uint32_t i = 0; i < t.lines.size(); ++i) {
    const corbyl::LineItem& l = t.lines[i];
    const corbyl::LineItem* before = i > 0 ? &t.lines[i - 1] : nullptr;
    if (before && !(l.amount == before->amount && l.percentage == before->percentage &&
                    l.back_into_percentage == before->back_into_percentage)) {
      ++value;
    }
    Decimal v = Decimal::from_parts(value, 2, false);
    if (l.percentage == "0" && !l.back_into_percentage) {
      corbyl::ParseError e;
      const Decimal a = Decimal::parse(l.amount, e);
      if (e == corbyl::ParseError::None) v = a;
    }
    t.subtotals.insert_or_assign(i, v);
  }
  return cp::totals_to_dict(corbyl::report_totals(t, q));
}

// The lines that floor_lines and floor_tip_lines write: those of a real
// call, taken once before it is timed (as the module prepares its templates
// at import), with characters of their own; the generated ones are written
// from their templates, as the call's are.
std::vector<corbyl::LineItem> g_floor_sale, g_floor_tip;

// floor_shape("sale" or "tip", lines)
PyObject* t_floor_shape(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("floor_shape", nargs, 2)) return nullptr;
  const char* kind = PyUnicode_Check(args[0]) ? PyUnicode_AsUTF8(args[0]) : nullptr;
  if (!kind || (std::strcmp(kind, "sale") != 0 && std::strcmp(kind, "tip") != 0)) {
    PyErr_SetString(PyExc_ValueError, "floor_shape: the kind is 'sale' or 'tip'");
    return nullptr;
  }
  cp::HeldTexts texts;
  std::vector<corbyl::LineItem> lines;
  if (!cp::read_argument(args[1], texts, lines)) return nullptr;
  for (auto& l : lines) {
    for (corbyl::Text* t : {&l.amount, &l.description, &l.percentage}) *t = corbyl::Text(std::string(t->str()));
    if (l.frozen_value) l.frozen_value = corbyl::Text(std::string(l.frozen_value->str()));
    l.generated = corbyl::generated_row(l);  // written as the call writes its generated lines
  }
  (std::strcmp(kind, "sale") == 0 ? g_floor_sale : g_floor_tip) = std::move(lines);
  Py_RETURN_NONE;
}

// Like py_deliverable_lines: reads the context and writes the sale's lines
// given to floor_shape, the first with the context's base price and user,
// then the context's extra lines, computing nothing.
PyObject* t_floor_lines(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("floor_lines", nargs, 1)) return nullptr;
  cp::HeldTexts texts;
  corbyl::DeliverableLinesContext c;
  if (!cp::read_argument(args[0], texts, c)) return nullptr;
  std::vector<corbyl::LineItem> lines = g_floor_sale;
  if (!lines.empty()) {
    lines[0].amount = c.base_price;
    lines[0].destination_user_id = c.user_id;
  }
  for (auto& l : c.extra_lines) lines.push_back(std::move(l));
  return cp::line_items_to_list(lines);
}

// Like py_tip_fee_lines: reads the context and writes the tip's lines given
// to floor_shape, computing nothing.
PyObject* t_floor_tip_lines(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("floor_tip_lines", nargs, 1)) return nullptr;
  cp::HeldTexts texts;
  corbyl::TipLinesContext c;
  if (!cp::read_argument(args[0], texts, c)) return nullptr;
  return cp::line_items_to_list(g_floor_tip);
}

// touch(bill): the physical limit of reading a bill. Every field value of
// the bill is reached the cheapest way the interpreter allows, as the module
// reads an exact dict (one pass over its items) or list (by position); it
// converts nothing and builds nothing.
void touch_all(PyObject* o, uintptr_t& seen) {
  seen += reinterpret_cast<uintptr_t>(Py_TYPE(o));
  if (PyDict_CheckExact(o)) {
    Py_ssize_t pos = 0;
    PyObject *key, *value;
    while (PyDict_Next(o, &pos, &key, &value)) touch_all(value, seen);
  } else if (PyList_CheckExact(o)) {
    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(o); ++i) touch_all(PyList_GET_ITEM(o, i), seen);
  }
}

PyObject* t_touch(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("touch", nargs, 1)) return nullptr;
  uintptr_t seen = 0;
  touch_all(args[0], seen);
  return PyBool_FromLong(seen != 0);
}

// records() -> {record name: [(field, native type), ...]}: the description
// of every record as the core states it, for the check of the type stubs.
template <typename R>
bool describe(PyObject* out) {
  using Info = corbyl::RecordInfo<R>;
  cp::PyRef fields = cp::PyRef::steal(PyList_New(0));
  if (!fields) return false;
  for (size_t i = 0; i < Info::count; ++i) {
    cp::PyRef pair = cp::PyRef::steal(Py_BuildValue("(s#s#)", Info::fields[i].data(),
                                                    static_cast<Py_ssize_t>(Info::fields[i].size()),
                                                    Info::types[i].data(),
                                                    static_cast<Py_ssize_t>(Info::types[i].size())));
    if (!pair || PyList_Append(fields.get(), pair.get()) < 0) return false;
  }
  return PyDict_SetItemString(out, std::string(Info::name).c_str(), fields.get()) == 0;
}

PyObject* t_records(PyObject*, PyObject* const*, Py_ssize_t nargs) {
  if (!check_count("records", nargs, 0)) return nullptr;
  cp::PyRef out = cp::PyRef::steal(PyDict_New());
  if (!out || !describe<corbyl::LineItem>(out.get()) || !describe<corbyl::ServicePlan>(out.get()) ||
      !describe<corbyl::Pricing>(out.get()) || !describe<corbyl::TipLinesContext>(out.get()) ||
      !describe<corbyl::DeliverableLinesContext>(out.get())) {
    return nullptr;
  }
  return out.release();
}

// ---- the fast paths --------------------------------------------------------
//
// The module's five functions are also this module's, built with the fast
// paths set at run time: set_fast_paths(mask) takes those whose bits are set
// (and returns the mask before), fast_paths() gives each path's bit by name.

PyObject* t_set_fast_paths(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (!check_count("set_fast_paths", nargs, 1)) return nullptr;
  const unsigned long long mask = PyLong_AsUnsignedLongLongMask(args[0]);
  if (PyErr_Occurred()) return nullptr;
  return PyLong_FromUnsignedLongLong(corbyl::g_fast_path_mask.exchange(mask));
}

PyObject* t_fast_paths(PyObject*, PyObject* const*, Py_ssize_t nargs) {
  if (!check_count("fast_paths", nargs, 0)) return nullptr;
  cp::PyRef out = cp::PyRef::steal(PyDict_New());
  if (!out) return nullptr;
#define CORBYL_FAST_PATH_ENTRY(name, bit)                                                        \
  {                                                                                               \
    cp::PyRef value = cp::PyRef::steal(PyLong_FromUnsignedLongLong(1ull << (bit)));               \
    if (!value || PyDict_SetItemString(out.get(), #name, value.get()) < 0) return nullptr;        \
  }
  CORBYL_FAST_PATH_LIST(CORBYL_FAST_PATH_ENTRY)
#undef CORBYL_FAST_PATH_ENTRY
  return out.release();
}

int exec_testing(PyObject* module) {
  // share the classes of the module `corbyl`, so that its members are read
  // (first: the keys' templates of generated lines already use the classes)
  cp::PyRef corbyl_module = cp::PyRef::steal(PyImport_ImportModule("corbyl"));
  if (!corbyl_module) return -1;
  cp::PyRef line_type = cp::PyRef::steal(PyObject_GetAttrString(corbyl_module.get(), "LineType"));
  cp::PyRef category = cp::PyRef::steal(PyObject_GetAttrString(corbyl_module.get(), "Category"));
  cp::PyRef account = cp::PyRef::steal(PyObject_GetAttrString(corbyl_module.get(), "Account"));
  if (!line_type || !category || !account) return -1;
  if (!cp::adopt_enum_class<corbyl::LineType>(line_type.get()) ||
      !cp::adopt_enum_class<corbyl::Category>(category.get()) ||
      !cp::adopt_enum_class<corbyl::Account>(account.get())) {
    return -1;
  }
  // and its panic exception, so that a panic is corbyl's
  cp::PyRef panic = cp::PyRef::steal(PyObject_GetAttrString(corbyl_module.get(), "PanicException"));
  if (!panic || !cp::adopt_panic_exception(panic.get())) return -1;
  if (!cp::init_keys()) return -1;
  cp::PyRef name = cp::PyRef::steal(PyModule_GetNameObject(module));
  if (!name) return -1;
  for (PyMethodDef& def : cp::module_functions()) {
    cp::PyRef f = cp::PyRef::steal(PyCFunction_NewEx(&def, module, name.get()));
    if (!f || PyModule_AddObjectRef(module, def.ml_name, f.get()) < 0) return -1;
  }
  return 0;
}

#define FAST(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f))

PyMethodDef kMethods[] = {
    {"parse", FAST(t_parse), METH_FASTCALL, nullptr},
    {"add", FAST(binary<op_add>), METH_FASTCALL, nullptr},
    {"sub", FAST(binary<op_sub>), METH_FASTCALL, nullptr},
    {"iadd", FAST(binary<op_iadd>), METH_FASTCALL, nullptr},
    {"isub", FAST(binary<op_isub>), METH_FASTCALL, nullptr},
    {"mul", FAST(binary<op_mul>), METH_FASTCALL, nullptr},
    {"div", FAST(binary<op_div>), METH_FASTCALL, nullptr},
    {"compare", FAST(t_compare), METH_FASTCALL, nullptr},
    {"negate", FAST(t_negate), METH_FASTCALL, nullptr},
    {"quantize", FAST(t_quantize), METH_FASTCALL, nullptr},
    {"value_string", FAST(t_value_string), METH_FASTCALL, nullptr},
    {"quantum", FAST(t_quantum), METH_FASTCALL, nullptr},
    {"quantized_zero", FAST(t_quantized_zero), METH_FASTCALL, nullptr},
    {"floor_totals", FAST(t_floor_totals), METH_FASTCALL, nullptr},
    {"floor_lines", FAST(t_floor_lines), METH_FASTCALL, nullptr},
    {"floor_shape", FAST(t_floor_shape), METH_FASTCALL, nullptr},
    {"floor_tip_lines", FAST(t_floor_tip_lines), METH_FASTCALL, nullptr},
    {"records", FAST(t_records), METH_FASTCALL, nullptr},
    {"touch", FAST(t_touch), METH_FASTCALL, nullptr},
    {"set_fast_paths", FAST(t_set_fast_paths), METH_FASTCALL, nullptr},
    {"fast_paths", FAST(t_fast_paths), METH_FASTCALL, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_testing)},
#if CORBYL_PY313_PLUS
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef kModule = {PyModuleDef_HEAD_INIT, "_corbyl_testing", "Test-only access to the decimal core.", 0,
                       kMethods, kSlots, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit__corbyl_testing(void) { return PyModuleDef_Init(&kModule); }
