// The module `corbyl`: its initialisation, the five module functions and the
// three enumeration classes. Each function reads as four steps: convert the
// arguments, run the native operation, convert the result back, map errors.
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "read.h"
#include "state.h"
#include "write.h"
#include "enum_classes.h"
#include "errors.h"
#include "call.h"
#include "core/divide.h"
#include "core/lines.h"
#include "core/totals.h"

namespace corbyl::py {
namespace {

// Runs the native part of a call; an abort becomes the panic exception, with
// a note on its place among the lines (`lines` names their list), and
// nothing thrown escapes into the interpreter.
template <typename F>
PyObject* guarded(std::string_view lines, F&& body) {
  try {
    return body();
  } catch (const ArithmeticAbort& abort) {
    raise_panic(abort);
    add_note(place_note(abort.place, lines));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(ArithmeticAbort(e.what()));
  }
  return nullptr;
}

// Converts one argument, its texts held by the call's `texts`; a TypeError
// is reported as a failure of the argument, and any failure inside it
// carries a note of where it was.
template <typename T>
bool argument(PyObject* o, const char* name, HeldTexts& texts, T& out) {
  Reader rd(texts);
  if (read_value(rd, o, out)) return true;
  wrap_argument_error(name);
  add_note(rd.failure_note(name));
  return false;
}

constexpr const char* kLinesParams[] = {"lines", "quantization"};
constexpr const char* kDivideParams[] = {"source_amount", "divisor", "quantization"};
constexpr const char* kContextParams[] = {"provided_lines_context"};

// The two functions of a list of lines and a quantization: the arguments
// converted in order, then `run` on them.
template <typename Run>
PyObject* lines_call(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Run&& run) {
  PyObject* a[2];
  if (!parse_call(sig, args, nargs, kwnames, a)) return nullptr;
  return guarded("lines", [&]() -> PyObject* {
    HeldTexts texts;
    std::vector<LineItem> lines;
    uint32_t q = 0;
    if (!argument(a[0], "lines", texts, lines) || !argument(a[1], "quantization", texts, q)) return nullptr;
    return run(std::move(lines), q);
  });
}

PyObject* py_get_totals(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature sig{"py_get_totals", kLinesParams, 2};
  return lines_call(sig, args, nargs, kwnames, [](std::vector<LineItem> lines, uint32_t q) -> PyObject* {
    Outcome<Totals> t = get_totals(std::move(lines), q);
    if (!t.ok()) return raise_error(t.error(), "lines");
    return totals_to_dict(report_totals(t.value(), q));
  });
}

PyObject* py_reckon_lines(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature sig{"py_reckon_lines", kLinesParams, 2};
  return lines_call(sig, args, nargs, kwnames, [](std::vector<LineItem> lines, uint32_t q) -> PyObject* {
    Outcome<Decimal> total = reckon_lines(std::move(lines), q);
    if (!total.ok()) return raise_error(total.error(), "lines");
    // printed in full, not cut to the quantization
    PyObject* s = decimal_to_str(total.value());
    return s ? s : result_creation_failed();
  });
}

PyObject* py_divide_amount(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature sig{"py_divide_amount", kDivideParams, 3};
  PyObject* a[3];
  if (!parse_call(sig, args, nargs, kwnames, a)) return nullptr;
  return guarded("", [&]() -> PyObject* {
    HeldTexts texts;
    Text amount;
    uint16_t divisor = 0;
    uint32_t q = 0;
    if (!argument(a[0], "source_amount", texts, amount) || !argument(a[1], "divisor", texts, divisor) ||
        !argument(a[2], "quantization", texts, q)) {
      return nullptr;
    }
    Outcome<Division> d = divide_amount(amount, divisor, q);
    if (!d.ok()) return raise_value_error(d.error().display());
    return parts_to_list(d.value());
  });
}

// The two line generators: one context record in, line item dicts out.
template <typename Context, Outcome<std::vector<LineItem>> (*generate)(Context&&)>
PyObject* context_call(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* a[1];
  if (!parse_call(sig, args, nargs, kwnames, a)) return nullptr;
  static constexpr std::string_view kExtraLines = "provided_lines_context['extra_lines']";
  return guarded(kExtraLines, [&]() -> PyObject* {
    HeldTexts texts;
    Context context;
    if (!argument(a[0], "provided_lines_context", texts, context)) return nullptr;
    Outcome<std::vector<LineItem>> lines = generate(std::move(context));
    if (!lines.ok()) return raise_error(lines.error(), kExtraLines);
    return line_items_to_list(lines.value());
  });
}

PyObject* py_deliverable_lines(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature sig{"py_deliverable_lines", kContextParams, 1};
  return context_call<DeliverableLinesContext, deliverable_lines>(sig, args, nargs, kwnames);
}

PyObject* py_tip_fee_lines(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  static const Signature sig{"py_tip_fee_lines", kContextParams, 1};
  return context_call<TipLinesContext, tip_fee_lines>(sig, args, nargs, kwnames);
}

#define CORBYL_FASTCALL(f) reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(f))

PyMethodDef kFunctions[] = {
    {"py_get_totals", CORBYL_FASTCALL(py_get_totals), METH_FASTCALL | METH_KEYWORDS,
     "py_get_totals(lines, quantization)\n--\n\n"},
    {"py_reckon_lines", CORBYL_FASTCALL(py_reckon_lines), METH_FASTCALL | METH_KEYWORDS,
     "py_reckon_lines(lines, quantization)\n--\n\n"},
    {"py_divide_amount", CORBYL_FASTCALL(py_divide_amount), METH_FASTCALL | METH_KEYWORDS,
     "py_divide_amount(source_amount, divisor, quantization)\n--\n\n"},
    {"py_deliverable_lines", CORBYL_FASTCALL(py_deliverable_lines), METH_FASTCALL | METH_KEYWORDS,
     "py_deliverable_lines(provided_lines_context)\n--\n\nPython binding for deliverable_lines"},
    {"py_tip_fee_lines", CORBYL_FASTCALL(py_tip_fee_lines), METH_FASTCALL | METH_KEYWORDS,
     "py_tip_fee_lines(provided_lines_context)\n--\n\nPython binding for tip_fee_lines"},
};

// Appends `name` to the module's __all__ (created empty on first use) and
// sets the attribute.
bool add_public(PyObject* module, const char* name, PyObject* value) {
  PyRef all = PyRef::steal(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = PyRef::steal(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
  }
  PyRef text = PyRef::steal(PyUnicode_FromString(name));
  if (!text || PyList_Append(all.get(), text.get()) < 0) return false;
  return PyObject_SetAttr(module, text.get(), value) == 0;
}

int exec_module(PyObject* module) {
  if (!PyModule_Check(module)) {
    PyErr_Format(PyExc_TypeError, "expected a module object, got '%.200s'", Py_TYPE(module)->tp_name);
    return -1;
  }
  if (!init_keys()) return -1;
  PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
  if (!module_name) return -1;
  for (PyMethodDef& def : kFunctions) {
    PyRef f = PyRef::steal(PyCFunction_NewEx(&def, module, module_name.get()));
    if (!f || !add_public(module, def.ml_name, f.get())) return -1;
  }
  struct {
    const char* name;
    PyObject* (*get)();
  } const classes[] = {
      {"LineType", enum_class<LineType>},
      {"Account", enum_class<Account>},
      {"Category", enum_class<Category>},
  };
  for (const auto& c : classes) {
    PyObject* cls = c.get();
    if (!cls || !add_public(module, c.name, cls)) return -1;
  }
  // Reachable for `except corbyl.PanicException`, but not part of __all__.
  PyObject* panic = panic_exception();
  if (!panic || PyModule_AddObjectRef(module, "PanicException", panic) < 0) return -1;
  // The private reconstructor of pickled members, and the package's version.
  PyObject* reconstructor = member_reconstructor();
  if (!reconstructor || PyModule_AddObjectRef(module, "_member", reconstructor) < 0) return -1;
  if (PyModule_AddStringConstant(module, "__version__", CORBYL_VERSION) < 0) return -1;
  return 0;
}

PyModuleDef_Slot kSlots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
#if CORBYL_PY312_PLUS
    // The classes are shared by the whole process, so one interpreter only.
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
#endif
#if CORBYL_PY313_PLUS
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
#endif
    {0, nullptr},
};

PyModuleDef kModule = {
    PyModuleDef_HEAD_INIT,
    "corbyl",
    "Exact money arithmetic for marketplace bills.\n"
    "The init function PyInit_corbyl must match the name the module is built as;\n"
    "build and import it as corbyl.",
    0,
    nullptr,
    kSlots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace corbyl::py

PyMODINIT_FUNC PyInit_corbyl(void) {
  return PyModuleDef_Init(&corbyl::py::kModule);
}
