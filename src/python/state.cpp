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
bool intern_keys(RecordKeys<R>& keys) {
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!(keys[i] = intern(RecordInfo<R>::fields[i]))) return false;
  }
  return true;
}

}  // namespace

bool init_keys() {
  State& s = g_state;
  return s.keys_once.run([&s] {
    if (!intern_keys<LineItem>(s.line_item_keys) || !intern_keys<ServicePlan>(s.plan_keys) || !intern_keys<Pricing>(s.pricing_keys) ||
        !intern_keys<TipLinesContext>(s.tip_keys) || !intern_keys<DeliverableLinesContext>(s.deliverable_keys) || !(s.total_key = intern("total")) ||
        !(s.discount_key = intern("discount")) || !(s.subtotals_key = intern("subtotals"))) {
      return false;
    }
    PyRef line = PyRef::steal(PyDict_New());
    if (!line) return false;
    for (PyObject* key : s.line_item_keys) {
      if (PyDict_SetItem(line.get(), key, Py_None) < 0) return false;
    }
    s.line_template = line.release();
    return make_generated_templates(s.generated_templates);
  });
}

}  // namespace corbyl::py
