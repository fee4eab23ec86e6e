#include "state.h"

#include <string_view>

#include "templates.h"

namespace corbyl::py {

State g_state;

namespace {

PyObject* intern(std::string_view name) {
  PyObject* s = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
  if (s) PyUnicode_InternInPlace(&s);
  return s;
}

template <typename R>
bool intern_record_keys(RecordKeys<R>& keys) {
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!(keys[i] = intern(RecordInfo<R>::fields[i]))) return false;
  }
  return true;
}

template <typename... R>
bool intern_keys(State& s) {
  return (intern_record_keys<R>(std::get<RecordKeys<R>>(s.keys)) && ...);
}

}  // namespace

bool init_keys() {
  return g_state.keys_once.run([] {
    State& s = g_state;
    if (!intern_keys<LineItem, ServicePlan, Pricing, TipLinesContext, DeliverableLinesContext>(s) ||
        !(s.total_key = intern("total")) || !(s.discount_key = intern("discount")) ||
        !(s.subtotals_key = intern("subtotals"))) {
      return false;
    }
    PyRef line = PyRef::steal(PyDict_New());
    if (!line) return false;
    for (PyObject* key : record_keys<LineItem>()) {
      if (PyDict_SetItem(line.get(), key, Py_None) < 0) return false;
    }
    s.line_template = line.release();
    return make_generated_templates(s.generated_templates);
  });
}

}  // namespace corbyl::py
