#include "errors.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "state.h"

namespace corbyl::py {
namespace {

// The path of a source file from "src/" on, for the report.
const char* project_path(const char* file) {
  const char* p = std::strstr(file, "src/");
  return p ? p : file;
}

}  // namespace

PyObject* panic_exception() {
  State& s = state();
  s.panic_once.run([&s] {
    s.panic = PyErr_NewExceptionWithDoc(
        "corbyl.PanicException",
        "An operation of the module aborted (an arithmetic failure such as an overflow of the\n"
        "decimal range). It derives from BaseException, not Exception.",
        PyExc_BaseException, nullptr);
    return s.panic != nullptr;
  });
  return s.panic;
}

bool adopt_panic_exception(PyObject* cls) {
  State& s = state();
  return s.panic_once.run([&s, cls] {
    Py_INCREF(cls);
    s.panic = cls;
    return true;
  });
}

void raise_panic(const ArithmeticAbort& abort) {
  const auto& where = abort.where();
  const size_t thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
  std::fprintf(stderr, "thread %zx panicked at %s:%u:\n%s\n", thread, project_path(where.file), where.line,
               abort.message().c_str());
  std::fflush(stderr);
  PyObject* type = panic_exception();
  if (!type) return;
  PyRef msg = PyRef::steal(PyUnicode_FromStringAndSize(abort.message().data(),
                                                       static_cast<Py_ssize_t>(abort.message().size())));
  if (!msg) return;
  PyErr_SetObject(type, msg.get());
}

PyObject* result_creation_failed() {
  PyErr_WriteUnraisable(nullptr);
  raise_panic(ArithmeticAbort("Failed to create a result object"));
  return nullptr;
}

void wrap_field_error(const char* record, PyObject* key) {
  PyRef cause = take_error();
  PyRef msg = PyRef::steal(PyUnicode_FromFormat("failed to extract field %s.%U", record, key));
  if (!msg) return;
  raise_with_cause(PyExc_TypeError, msg.get(), std::move(cause));
}

bool wrap_argument_error(const char* name) {
  if (!PyErr_Occurred()) return false;
  PyRef err = take_error();
  if (Py_TYPE(err.get()) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
    restore_error(std::move(err));
    return false;
  }
  PyRef msg = PyRef::steal(PyUnicode_FromFormat("argument '%s': %S", name, err.get()));
  if (!msg) return false;
  raise_with_cause(PyExc_TypeError, msg.get(), PyRef::steal(PyException_GetCause(err.get())));
  return false;
}

PyObject* raise_value_error(std::string_view message) {
  PyRef msg = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
  if (msg) PyErr_SetObject(PyExc_ValueError, msg.get());
  return nullptr;
}

}  // namespace corbyl::py
