#include "pricing_memo.h"

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace corbyl::py {

#ifdef Py_GIL_DISABLED

// Without the GIL any thread may change the dicts between the check and the
// copy: every pricing is read.
bool recall_pricing(PyObject*, HeldTexts&, Pricing&) { return false; }
void remember_pricing(PyObject*, const Pricing&, const HeldTexts&, size_t) {}

#else

namespace {

// The record, and what it was read from, in one tuple that holds them all:
// [0] the pricing dict, [1] its plans (a list or a tuple), [2, 2 + plans)
// each plan's dict, then every str whose characters the record views.
//
// Whether the dicts are still as they were is told in one of two ways. Up
// to 3.11 each dict carries a version that the interpreter renews at every
// change of it, from one counter for all dicts, and gives to every new dict:
// a dict's address and version name one state of one dict for the life of
// the process. Later interpreters dropped that version; there the dicts are
// watched instead, and a change of any of them, or its end, marks the
// memory changed. (A dict stays watched once it was: a change of it after
// it was forgotten costs a look at the few dicts still relied on.)
struct Remembered {
  PyObject* keep = nullptr;  // owned
  size_t plans = 0;
  Pricing record;
#if CORBYL_PY312_PLUS
  bool changed = false;
#else
  std::vector<uint64_t> versions;  // of the pricing dict and each plan's
#endif

  // A pricing of more plans than this is not remembered.
  static constexpr size_t kMaxPlans = 16;

  PyObject* const* items() const { return &PyTuple_GET_ITEM(keep, 0); }
  PyObject* pricing() const { return items()[0]; }
  PyObject* plan(size_t i) const { return items()[2 + i]; }

#if CORBYL_PY312_PLUS
  bool relies_on(PyObject* d) const {
    if (d == pricing()) return true;
    for (size_t i = 0; i < plans; ++i) {
      if (d == plan(i)) return true;
    }
    return false;
  }
#endif

  bool unchanged() const {
#if CORBYL_PY312_PLUS
    if (changed) return false;
#else
    if (version(pricing()) != versions[0]) return false;
    for (size_t i = 0; i < plans; ++i) {
      if (version(plan(i)) != versions[1 + i]) return false;
    }
#endif
    // the pricing dict is unchanged, so its plans are the same object; a
    // list may have changed all the same
    PyObject* list = items()[1];
    if (!PyList_CheckExact(list)) return true;
    if (PyList_GET_SIZE(list) != static_cast<Py_ssize_t>(plans)) return false;
    for (size_t i = 0; i < plans; ++i) {
      if (PyList_GET_ITEM(list, static_cast<Py_ssize_t>(i)) != plan(i)) return false;
    }
    return true;
  }

#if !CORBYL_PY312_PLUS
  static uint64_t version(PyObject* d) { return reinterpret_cast<PyDictObject*>(d)->ma_version_tag; }
#endif
};

Remembered* g_remembered = nullptr;  // (never freed at exit: it holds Python objects)

// The dict read last and not remembered, without a reference: remembered
// if it is read again unchanged.
PyObject* g_seen = nullptr;
#if CORBYL_PY312_PLUS
int g_watcher = -1;  // ours once added; -2 if the interpreter has none to give

int on_dict_event(PyDict_WatchEvent, PyObject* d, PyObject*, PyObject*) {
  if (d == g_seen) g_seen = nullptr;
  if (g_remembered && g_remembered->relies_on(d)) g_remembered->changed = true;
  return 0;
}

bool watch(PyObject* d) {
  if (g_watcher == -1) {
    g_watcher = PyDict_AddWatcher(on_dict_event);
    if (g_watcher < 0) {
      PyErr_Clear();
      g_watcher = -2;
    }
  }
  if (g_watcher < 0) return false;
  return PyDict_Watch(g_watcher, d) == 0;  // (cannot fail on a dict)
}

bool seen_unchanged(PyObject* o) { return o == g_seen; }
void see(PyObject* o) { g_seen = watch(o) ? o : nullptr; }
#else
uint64_t g_seen_version = 0;

bool seen_unchanged(PyObject* o) { return o == g_seen && Remembered::version(o) == g_seen_version; }
void see(PyObject* o) {
  g_seen = o;
  g_seen_version = Remembered::version(o);
}
#endif

// The value under the interned key in a dict known to hold it, found by
// identity (a hashed lookup could call the __eq__ of another key).
PyObject* value_of(PyObject* d, PyObject* key) {
  Py_ssize_t pos = 0;
  PyObject *k, *v;
  while (PyDict_Next(d, &pos, &k, &v)) {
    if (k == key) return v;
  }
  return nullptr;
}

}  // namespace

bool recall_pricing(PyObject* o, HeldTexts& texts, Pricing& out) {
  const Remembered* m = g_remembered;
  if (!m || m->pricing() != o || !m->unchanged()) return false;
  out = m->record;
  texts.hold(m->keep);
  return true;
}

void remember_pricing(PyObject* o, const Pricing& record, const HeldTexts& texts, size_t mark) {
  // Read without running Python code: `o` is an exact dict, its plans an
  // exact list or tuple of exact dicts, and nothing has changed them since.
  if (!seen_unchanged(o)) {
    see(o);
    return;
  }
  static_assert(RecordInfo<Pricing>::fields[0] == "plans");
  PyObject* plans = value_of(o, record_keys<Pricing>()[0]);
  const size_t n_plans = record.plans.size();
  if (!plans || !(PyList_CheckExact(plans) || PyTuple_CheckExact(plans)) ||
      PySequence_Fast_GET_SIZE(plans) != static_cast<Py_ssize_t>(n_plans) || n_plans > Remembered::kMaxPlans) {
    return;
  }
  PyObject* const* plan_dicts = PySequence_Fast_ITEMS(plans);
  const size_t n_texts = texts.count() - mark;
  try {
    auto fresh = std::make_unique<Remembered>();
    fresh->plans = n_plans;
    fresh->record = record;
    // Everything is held and its state taken before the first Python
    // allocation, which may collect (before 3.12) and so run Python code
    // that changes the dicts (their versions then tell) or lets go of them.
#if CORBYL_PY312_PLUS
    if (!watch(o)) return;
    for (size_t i = 0; i < n_plans; ++i) {
      if (!watch(plan_dicts[i])) return;
    }
#else
    fresh->versions.push_back(Remembered::version(o));
    for (size_t i = 0; i < n_plans; ++i) fresh->versions.push_back(Remembered::version(plan_dicts[i]));
#endif
    PyRef held[2 + Remembered::kMaxPlans];
    held[0] = PyRef::borrow(o);
    held[1] = PyRef::borrow(plans);
    for (size_t i = 0; i < n_plans; ++i) held[2 + i] = PyRef::borrow(plan_dicts[i]);
    PyObject* keep = PyTuple_New(static_cast<Py_ssize_t>(2 + n_plans + n_texts));
    if (!keep) {
      PyErr_Clear();
      return;
    }
    for (size_t i = 0; i < 2 + n_plans; ++i) PyTuple_SET_ITEM(keep, static_cast<Py_ssize_t>(i), held[i].release());
    for (size_t i = 0; i < n_texts; ++i) {
      PyObject* s = texts.at(mark + i);
      Py_INCREF(s);
      PyTuple_SET_ITEM(keep, static_cast<Py_ssize_t>(2 + n_plans + i), s);
    }
    fresh->keep = keep;
    // the old memory goes last: letting go of it may run Python code
    Remembered* old = std::exchange(g_remembered, fresh.release());
    g_seen = nullptr;
    if (old) {
      Py_DECREF(old->keep);
      delete old;
    }
  } catch (const std::bad_alloc&) {
    // not remembered
  }
}

#endif

}  // namespace corbyl::py
