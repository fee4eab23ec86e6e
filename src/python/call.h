// The fast call with keywords: every parameter required, by position or by
// keyword, with the interpreter's wording for each call-shape error.
#pragma once

#include "pyref.h"

namespace corbyl::py {

struct Signature {
  const char* name;
  const char* const* params;
  int count;
};

// Fills slots[0..count) with borrowed arguments, or raises TypeError.
bool parse_call(const Signature& sig, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                PyObject** slots);

}  // namespace corbyl::py
