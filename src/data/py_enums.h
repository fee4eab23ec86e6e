// The Python classes LineType, Category and Account: heap types created once
// per process, with one shared instance per variant.
#pragma once

#include "enums.h"
#include "pyref.h"

namespace corbyl::py {

// The class object (borrowed), created on first use; nullptr with an error set
// if creating it failed.
template <typename E>
PyObject* enum_class();

// A new reference to the shared instance of a variant.
template <typename E>
PyObject* enum_to_python(E variant);

// Reads an instance of the class; TypeError for anything else.
template <typename E>
bool enum_from_python(PyObject* o, E& out);

}  // namespace corbyl::py
