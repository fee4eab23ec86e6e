#include "templates.h"

#include <cassert>

#include "core/lines.h"
#include "errors.h"
#include "state.h"
#include "write.h"

namespace corbyl::py {
namespace {

// The positions among the line item keys of the values a row may leave to
// the call.
constexpr size_t kAmount = 3, kPercentage = 6, kUser = 8;
static_assert(RecordInfo<LineItem>::fields[kAmount] == "amount" &&
              RecordInfo<LineItem>::fields[kPercentage] == "percentage" &&
              RecordInfo<LineItem>::fields[kUser] == "destination_user_id");

}  // namespace

bool make_generated_templates(std::vector<PyObject*>& out) {
  const RecordKeys<LineItem>& keys = record_keys<LineItem>();
  for (const GeneratedLine& g : generated_lines()) {
    LineItem l;
    give_row(l, g);
    PyRef d = PyRef::steal(line_item_to_dict(l));
    if (!d) return false;
    // what the call gives is not in the template
    if ((!g.zero_amount && PyDict_SetItem(d.get(), keys[kAmount], Py_None) < 0) ||
        (!g.zero_percentage && PyDict_SetItem(d.get(), keys[kPercentage], Py_None) < 0)) {
      return false;
    }
    out.push_back(d.release());
  }
  return true;
}

PyObject* generated_line_to_dict(const LineItem& l) {
  assert(l.generated > 0 && l.generated <= generated_lines().size());
  const size_t row = l.generated - 1u;
  const GeneratedLine& g = generated_lines()[row];
  assert(l.id == g.id && l.priority == g.priority && l.kind == g.kind && l.category == g.category &&
         l.destination_account == g.account && l.back_into_percentage == g.back_into_percentage &&
         l.description.empty() && !l.frozen_value && (!g.zero_amount || l.amount == kZero) &&
         (!g.zero_percentage || l.percentage == kZero));
  const RecordKeys<LineItem>& keys = record_keys<LineItem>();
  PyRef d = PyRef::steal(PyDict_Copy(state().generated_templates[row]));
  if (!d) return result_creation_failed();
  const bool ok = (g.zero_amount || put(d.get(), keys[kAmount], text_to_str(l.amount))) &&
                  (g.zero_percentage || put(d.get(), keys[kPercentage], text_to_str(l.percentage))) &&
                  (!l.destination_user_id || put(d.get(), keys[kUser], PyLong_FromLongLong(*l.destination_user_id)));
  return ok ? d.release() : nullptr;
}

}  // namespace corbyl::py
