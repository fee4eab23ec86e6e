// The Python classes LineType, Category and Account: heap types created once
// per process, with one shared instance per variant.
#pragma once

#include "core/enums.h"
#include "pyref.h"

namespace corbyl::py {

// The class object (borrowed), created on first use; nullptr with an error set
// if creating it failed.
template <typename E>
PyObject* enum_class();

// A new reference to the shared instance of a variant.
template <typename E>
PyObject* enum_to_python(E variant);

// Takes an existing class (the one the module `corbyl` created) as this
// library's class, with its shared instances. For a second extension that
// links the same boundary code (the test-only one), so that members from
// `corbyl` results are recognised. Must come before any other use.
template <typename E>
bool adopt_enum_class(PyObject* cls);

// The private function `corbyl._member(class_name, value)` (borrowed),
// created once per process, that gives back a pickled member; the module
// must carry it under that name for pickle to find it.
PyObject* member_reconstructor();

// Reads an instance of the class; TypeError for anything else.
template <typename E>
bool enum_from_python(PyObject* o, E& out);

}  // namespace corbyl::py
