// Owning handles and small helpers for the CPython C API. Every reference a
// call takes lives in a PyRef, so each path, success or failure, releases
// what it holds; the objects kept for the life of the process (the classes
// and their members, the interned keys, the line template, the panic
// exception) are plain pointers that are never released. Version differences
// sit behind the named macros.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <atomic>
#include <mutex>
#include <utility>

#include "core/fast_paths.h"

#define CORBYL_PY312_PLUS (PY_VERSION_HEX >= 0x030C0000)
#define CORBYL_PY313_PLUS (PY_VERSION_HEX >= 0x030D0000)

namespace corbyl::py {

class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference (or nullptr after a failed call).
  static PyRef steal(PyObject* o) { return PyRef(o); }
  // Takes a new reference to a borrowed object.
  static PyRef borrow(PyObject* o) {
    Py_XINCREF(o);
    return PyRef(o);
  }
  PyRef(PyRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  PyRef& operator=(PyRef&& o) noexcept {
    PyObject* old = std::exchange(p_, std::exchange(o.p_, nullptr));
    Py_XDECREF(old);
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  // Hands the reference to the caller.
  PyObject* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  explicit PyRef(PyObject* o) : p_(o) {}
  PyObject* p_ = nullptr;
};

// A new empty dict, which grows as it is filled (the general path).
//
// Fast path (FastPath::PresizedDict): a dict with room for `n` items, so
// that filling it never resizes it: the interpreter's presizing
// constructor, which every CPython from 3.10 to 3.15 exports; a plain dict
// elsewhere. Buys 1 to 2 % of a call's instructions, more of its time
// (benchmarks/README.md).
inline PyObject* new_dict(Py_ssize_t n) {
#if PY_VERSION_HEX < 0x03100000
  if (corbyl::fast_path(corbyl::FastPath::PresizedDict)) return _PyDict_NewPresized(n);
  return PyDict_New();
#else
  (void)n;
  return PyDict_New();
#endif
}

// The pending exception as a normalised instance, cleared from the thread.
inline PyRef take_error() {
#if CORBYL_PY312_PLUS
  return PyRef::steal(PyErr_GetRaisedException());
#else
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  if (!type) return PyRef();
  PyErr_NormalizeException(&type, &value, &tb);
  if (tb) PyException_SetTraceback(value, tb);
  Py_XDECREF(type);
  Py_XDECREF(tb);
  return PyRef::steal(value);
#endif
}

// Makes `exc` (an exception instance) the pending exception again.
inline void restore_error(PyRef exc) {
#if CORBYL_PY312_PLUS
  PyErr_SetRaisedException(exc.release());
#else
  PyObject* value = exc.release();
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(value));
  Py_INCREF(type);
  PyErr_Restore(type, value, PyException_GetTraceback(value));
#endif
}

// Raises `type(message)` with `cause` as its __cause__ (which may be empty).
inline void raise_with_cause(PyObject* type, PyObject* message, PyRef cause) {
  PyRef exc = PyRef::steal(PyObject_CallOneArg(type, message));
  if (!exc) return;
  if (cause) PyException_SetCause(exc.get(), cause.release());
  restore_error(std::move(exc));
}

// Runs an initialisation once per process. A thread that finds another
// thread running it waits without holding the interpreter, so that the
// other thread can finish; a failed run (error set) may be retried later.
class Once {
 public:
  template <typename F>
  bool run(F&& init) {
    if (done_.load(std::memory_order_acquire)) return true;
    Py_BEGIN_ALLOW_THREADS
    mu_.lock();
    Py_END_ALLOW_THREADS
    std::lock_guard<std::mutex> held(mu_, std::adopt_lock);
    if (done_.load(std::memory_order_relaxed)) return true;
    if (!init()) return false;
    done_.store(true, std::memory_order_release);
    return true;
  }

 private:
  std::atomic<bool> done_{false};
  std::mutex mu_;
};

}  // namespace corbyl::py
