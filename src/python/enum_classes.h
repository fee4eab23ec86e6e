// The Python classes LineType, Category and Account: heap types created once
// per process, with one shared instance per variant.
#pragma once

#include <atomic>

#include "core/enums.h"
#include "pyref.h"
#include "state.h"

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

// A member: the object header and the variant's value.
struct EnumObject {
  PyObject_HEAD
  uint16_t value;
};

// Fails a read of anything but a member: TypeError. Returns false.
template <typename E>
bool not_a_member(PyObject* o);

// Reads a member of the class; TypeError for anything else. (A member's type
// is the class, which then exists.)
template <typename E>
inline bool enum_from_python(PyObject* o, E& out) {
  if (Py_TYPE(o) != enum_state<E>().type.load(std::memory_order_acquire)) return not_a_member<E>(o);
  out = static_cast<E>(reinterpret_cast<EnumObject*>(o)->value);
  return true;
}

}  // namespace corbyl::py
