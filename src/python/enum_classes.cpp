#include "enum_classes.h"

#include <array>
#include <cassert>
#include <string>

namespace corbyl::py {
namespace {

uint16_t value_of_member(PyObject* o) { return reinterpret_cast<EnumObject*>(o)->value; }

template <typename E>
PyObject* enum_repr(PyObject* self) {
  const EnumTable& t = enum_table<E>();
  const int slot = slot_of<E>(value_of_member(self));
  std::string text(t.class_name);
  text += '.';
  text += slot >= 0 ? t.names[slot] : "?";
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}

PyObject* enum_int(PyObject* self) { return PyLong_FromLong(value_of_member(self)); }

// Equal to a member of the same class holding the same variant, or to an
// integer (anything with __index__) of the same value; NotImplemented
// otherwise, so == falls back to identity. Never raises.
PyObject* enum_richcompare(PyObject* self, PyObject* other, int op) {
  if (op != Py_EQ && op != Py_NE) Py_RETURN_NOTIMPLEMENTED;
  const long mine = value_of_member(self);
  long theirs;
  if (Py_TYPE(other) == Py_TYPE(self)) {
    theirs = value_of_member(other);
  } else if (PyIndex_Check(other)) {
    PyRef index = PyRef::steal(PyNumber_Index(other));
    if (!index) {
      PyErr_Clear();
      Py_RETURN_NOTIMPLEMENTED;
    }
    int overflow = 0;
    theirs = PyLong_AsLongAndOverflow(index.get(), &overflow);
    if (overflow || theirs < 0 || theirs > 0xFFFF) {
      PyErr_Clear();
      Py_RETURN_NOTIMPLEMENTED;
    }
  } else {
    Py_RETURN_NOTIMPLEMENTED;
  }
  return PyBool_FromLong((mine == theirs) == (op == Py_EQ));
}

// Pickling: a member is saved as a call of the module's private
// reconstructor with its class's name and its value, which gives back the
// shared instance in this process or another one.
template <typename E>
bool lookup_member(PyObject* class_name, uint16_t value, PyObject*& out) {
  if (PyUnicode_CompareWithASCIIString(class_name, enum_table<E>().class_name.data()) != 0) return false;
  if (slot_of<E>(value) < 0) return false;
  out = enum_to_python(static_cast<E>(value));
  return true;
}

// _member(class_name, value): the shared instance of that variant.
PyObject* reconstruct(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
  if (nargs != 2 || !PyUnicode_Check(args[0]) || !PyLong_Check(args[1])) {
    PyErr_SetString(PyExc_TypeError, "_member() takes a class name and an integer value");
    return nullptr;
  }
  const long value = PyLong_AsLong(args[1]);
  if (value == -1 && PyErr_Occurred()) return nullptr;
  PyObject* member = nullptr;
  const auto v = static_cast<uint16_t>(value);
  if (value < 0 || value > 0xFFFF ||
      !(lookup_member<LineType>(args[0], v, member) || lookup_member<Category>(args[0], v, member) ||
        lookup_member<Account>(args[0], v, member))) {
    PyErr_Format(PyExc_ValueError, "no member of %R has the value %R", args[0], args[1]);
    return nullptr;
  }
  return member;
}

PyMethodDef kReconstructor = {"_member", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(reconstruct)),
                              METH_FASTCALL, "Gives back an enumeration member from its pickled form."};

template <typename E>
PyObject* enum_reduce(PyObject* self, PyObject*) {
  PyObject* f = member_reconstructor();
  if (!f) return nullptr;
  const std::string name(enum_table<E>().class_name);
  return Py_BuildValue("(O(sI))", f, name.c_str(), static_cast<unsigned>(value_of_member(self)));
}

// A member is its own copy, shallow or deep.
PyObject* enum_copy(PyObject* self, PyObject*) { return Py_NewRef(self); }

template <typename E>
PyMethodDef kEnumMethods[] = {
    {"__reduce__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)(void)>(enum_reduce<E>)), METH_NOARGS,
     nullptr},
    {"__copy__", enum_copy, METH_NOARGS, nullptr},
    {"__deepcopy__", enum_copy, METH_O, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

void enum_dealloc(PyObject* self) {
  PyTypeObject* tp = Py_TYPE(self);
  tp->tp_free(self);
  Py_DECREF(tp);
}

template <typename E>
bool create_class() {
  const EnumTable& t = enum_table<E>();
  // "builtins." gives __module__ "builtins" without the interpreter's warning
  // about a type name that names no module
  static const std::string name = "builtins." + std::string(t.class_name);
  static const std::string doc(t.doc);
  static PyType_Slot slots[] = {
      {Py_tp_doc, const_cast<char*>(doc.c_str())},
      {Py_tp_repr, reinterpret_cast<void*>(enum_repr<E>)},
      {Py_tp_richcompare, reinterpret_cast<void*>(enum_richcompare)},
      {Py_tp_hash, reinterpret_cast<void*>(PyObject_HashNotImplemented)},
      {Py_nb_int, reinterpret_cast<void*>(enum_int)},
      {Py_tp_dealloc, reinterpret_cast<void*>(enum_dealloc)},
      {Py_tp_methods, kEnumMethods<E>},
      {0, nullptr},
  };
  static PyType_Spec spec = {
      name.c_str(), sizeof(EnumObject), 0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE, slots};

  static const std::string bare_name(t.class_name);
  PyRef type = PyRef::steal(PyType_FromSpec(&spec));
  if (!type) return false;
  PyTypeObject* tp = reinterpret_cast<PyTypeObject*>(type.get());
  // The interpreter's own messages ("unhashable type: 'LineType'") use the
  // bare class name, as for a type created without a module prefix. The
  // copy the type allocated for its name is kept and freed separately.
  tp->tp_name = bare_name.c_str();
  EnumClass<E>& cls = enum_state<E>();
  decltype(cls.members) members{};
  assert(t.count == members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    PyObject* m = tp->tp_alloc(tp, 0);
    if (!m) {
      for (PyObject* done : members) Py_XDECREF(done);
      return false;
    }
    reinterpret_cast<EnumObject*>(m)->value = t.values[i];
    members[i] = m;
    // an immutable type takes its attributes through its dict, then is told
    if (PyDict_SetItemString(tp->tp_dict, t.names[i], m) < 0) {
      for (PyObject* done : members) Py_XDECREF(done);
      return false;
    }
  }
  PyType_Modified(tp);
  cls.members = members;
  // kept for the life of the process
  cls.type.store(reinterpret_cast<PyTypeObject*>(type.release()), std::memory_order_release);
  return true;
}

}  // namespace

PyObject* member_reconstructor() {
  State& s = state();
  if (!s.reconstructor_once.run([&s] {
        PyRef module = PyRef::steal(PyUnicode_FromString("corbyl"));
        if (!module) return false;
        s.reconstructor = PyCFunction_NewEx(&kReconstructor, nullptr, module.get());
        return s.reconstructor != nullptr;
      })) {
    return nullptr;
  }
  return s.reconstructor;
}

template <typename E>
PyObject* enum_class() {
  if (!enum_state<E>().once.run(create_class<E>)) return nullptr;
  return reinterpret_cast<PyObject*>(enum_state<E>().type.load(std::memory_order_acquire));
}

template <typename E>
PyObject* enum_to_python(E variant) {
  if (!enum_class<E>()) return nullptr;
  const EnumTable& t = enum_table<E>();
  const int slot = slot_of<E>(value_of(variant));
  if (slot < 0) {
    // a record only ever holds a variant: this is a fault of the module
    PyErr_Format(PyExc_SystemError, "no %s has the value %d", std::string(t.class_name).c_str(),
                 int{value_of(variant)});
    return nullptr;
  }
  PyObject* m = enum_state<E>().members[static_cast<size_t>(slot)];
  Py_INCREF(m);
  return m;
}

template <typename E>
bool not_a_member(PyObject* o) {
  PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to '%s'", Py_TYPE(o)->tp_name,
               std::string(enum_table<E>().class_name).c_str());
  return false;
}

template <typename E>
bool adopt_enum_class(PyObject* cls) {
  EnumClass<E>& state = enum_state<E>();
  return state.once.run([cls, &state] {
    const EnumTable& t = enum_table<E>();
    decltype(state.members) members{};
    for (size_t i = 0; i < members.size(); ++i) {
      members[i] = PyObject_GetAttrString(cls, t.names[i]);
      if (!members[i] || Py_TYPE(members[i]) != reinterpret_cast<PyTypeObject*>(cls) ||
          value_of_member(members[i]) != t.values[i]) {
        for (PyObject* m : members) Py_XDECREF(m);
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_TypeError, "not the class of this enumeration");
        return false;
      }
    }
    Py_INCREF(cls);
    state.members = members;
    state.type.store(reinterpret_cast<PyTypeObject*>(cls), std::memory_order_release);
    return true;
  });
}

template PyObject* enum_class<LineType>();
template PyObject* enum_class<Category>();
template PyObject* enum_class<Account>();
template PyObject* enum_to_python<LineType>(LineType);
template PyObject* enum_to_python<Category>(Category);
template PyObject* enum_to_python<Account>(Account);
template bool not_a_member<LineType>(PyObject*);
template bool not_a_member<Category>(PyObject*);
template bool not_a_member<Account>(PyObject*);
template bool adopt_enum_class<LineType>(PyObject*);
template bool adopt_enum_class<Category>(PyObject*);
template bool adopt_enum_class<Account>(PyObject*);

}  // namespace corbyl::py
