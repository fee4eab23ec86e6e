#include "call.h"

#include <string>

namespace corbyl::py {

bool parse_call(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                PyObject** slots) {
  if (nargs > sig.count) {
    PyErr_Format(PyExc_TypeError, "%s() takes %d positional arguments but %zd %s given", sig.name, sig.count,
                 nargs, nargs == 1 ? "was" : "were");
    return false;
  }
  for (int i = 0; i < sig.count; ++i) slots[i] = i < nargs ? args[i] : nullptr;

  const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
  for (Py_ssize_t j = 0; j < nkw; ++j) {
    PyObject* kw = PyTuple_GET_ITEM(kwnames, j);
    int at = -1;
    for (int i = 0; i < sig.count; ++i) {
      if (PyUnicode_CompareWithASCIIString(kw, sig.params[i]) == 0) {
        at = i;
        break;
      }
    }
    if (at < 0) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", sig.name, kw);
      return false;
    }
    if (slots[at]) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", sig.name, sig.params[at]);
      return false;
    }
    slots[at] = args[nargs + j];
  }

  int missing = 0;
  for (int i = 0; i < sig.count; ++i) missing += slots[i] ? 0 : 1;
  if (missing == 0) return true;
  // 'a'; 'a' and 'b'; 'a', 'b', and 'c'
  std::string names;
  int listed = 0;
  for (int i = 0; i < sig.count; ++i) {
    if (slots[i]) continue;
    if (listed > 0) {
      if (missing == 2) names += " and ";
      else if (listed == missing - 1) names += ", and ";
      else names += ", ";
    }
    names += '\'';
    names += sig.params[i];
    names += '\'';
    ++listed;
  }
  PyErr_Format(PyExc_TypeError, "%s() missing %d required positional argument%s: %s", sig.name, missing,
               missing == 1 ? "" : "s", names.c_str());
  return false;
}

}  // namespace corbyl::py
