// The five module functions. Each reads as four steps: convert the
// arguments, run the native operation, convert the result back, map errors.
#include "functions.h"

#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "call.h"
#include "core/divide.h"
#include "core/lines.h"
#include "core/totals.h"
#include "errors.h"
#include "places.h"
#include "read.h"
#include "write.h"

namespace corbyl::py {
namespace {

// Runs the native part of a call; an abort becomes the panic exception,
// marked with its place (in the argument `argument`), and nothing thrown
// escapes into the interpreter.
template <typename F>
PyObject* guarded(std::string_view argument, F&& body) {
  try {
    return body();
  } catch (const ArithmeticAbort& abort) {
    raise_panic(abort);
    mark_error(computing_place(abort.place, argument));
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    raise_panic(ArithmeticAbort(e.what()));
  }
  return nullptr;
}

// Converts one argument, its texts held by the call's `texts`; a TypeError
// is reported as a failure of the argument, and any failure is marked with
// where it was.
template <typename T>
bool argument(PyObject* o, const char* name, HeldTexts& texts, T& out) {
  Reader rd(texts);
  if (read_value(rd, o, out)) return true;
  wrap_argument_error(name);
  mark_error(reading_place(name, rd));
  return false;
}

// Raises ValueError for an error of the module's rules, marked with its
// place (in the argument `argument`). Returns nullptr.
PyObject* raise_error(const TabulationError& error, std::string_view argument) {
  raise_value_error(error.display());
  mark_error(computing_place(error.place, argument));
  return nullptr;
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
  return guarded("source_amount", [&]() -> PyObject* {
    HeldTexts texts;
    Text amount;
    uint16_t divisor = 0;
    uint32_t q = 0;
    if (!argument(a[0], "source_amount", texts, amount) || !argument(a[1], "divisor", texts, divisor) ||
        !argument(a[2], "quantization", texts, q)) {
      return nullptr;
    }
    Outcome<Division> d = divide_amount(amount, divisor, q);
    if (!d.ok()) return raise_error(d.error(), "source_amount");
    return parts_to_list(d.value());
  });
}

// The two line generators: one context record in, line item dicts out.
template <typename Context, Outcome<std::vector<LineItem>> (*generate)(Context&&)>
PyObject* context_call(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  PyObject* a[1];
  if (!parse_call(sig, args, nargs, kwnames, a)) return nullptr;
  return guarded("provided_lines_context", [&]() -> PyObject* {
    HeldTexts texts;
    Context context;
    if (!argument(a[0], "provided_lines_context", texts, context)) return nullptr;
    Outcome<std::vector<LineItem>> lines = generate(std::move(context));
    if (!lines.ok()) return raise_error(lines.error(), "provided_lines_context");
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

}  // namespace

std::span<PyMethodDef> module_functions() { return kFunctions; }

}  // namespace corbyl::py
