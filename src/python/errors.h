// How failures reach Python: field and argument wrapping of conversion
// errors, ValueError for the module's own rules, and the panic exception
// for arithmetic aborts.
#pragma once

#include <string>
#include <string_view>

#include "core/decimal.h"
#include "core/error.h"
#include "pyref.h"

namespace corbyl::py {

// The PanicException class (borrowed), created once per process; it derives
// directly from BaseException so that `except Exception` lets it through.
PyObject* panic_exception();

// Takes an existing class (the one the module `corbyl` created) as the
// panic exception, for a second extension that links the same boundary code
// (the test-only one). Must come before any other use.
bool adopt_panic_exception(PyObject* cls);

// Reports the abort (thread, source location, message) on standard error
// and raises PanicException(message).
void raise_panic(const ArithmeticAbort& abort);

// The interpreter could not create a result object: its error is reported
// as unraisable and the call fails with the panic exception. Returns nullptr.
PyObject* result_creation_failed();

// Replaces the pending error with TypeError "failed to extract field
// <record>.<key>" whose cause is that error.
void wrap_field_error(const char* record, PyObject* key);

// If the pending error is exactly a TypeError, replaces it with TypeError
// "argument '<name>': <message>" carrying the original's cause. Returns false.
bool wrap_argument_error(const char* name);

// Raises ValueError(message). Returns nullptr.
PyObject* raise_value_error(std::string_view message);

}  // namespace corbyl::py
