// The module `corbyl`: its initialisation, which adds the five module
// functions, the three enumeration classes and the panic exception.
#include "enum_classes.h"
#include "errors.h"
#include "functions.h"
#include "state.h"

namespace corbyl::py {
namespace {

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
  for (PyMethodDef& def : module_functions()) {
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
