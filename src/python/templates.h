// The generated lines written from templates: one dict per row of the
// core's table of generated lines (generated_lines()), with every field
// that the row fixes already in place, so that a generated line is a copy
// of its row's dict with the call's own values set (its amount and
// percentage unless the row fixes them as "0", and the base price line's
// user).
//
// Fast path (FastPath::GeneratedTemplates). It assumes that a line whose
// `generated` is set has the fixed fields of its row, as only the line
// generators make such lines; nothing invalidates the templates, which hold
// no value of any call. Off, every line is written field by field. Buys 30
// to 70 % of a call that generates lines (benchmarks/README.md).
#pragma once

#include <vector>

#include "core/line_item.h"
#include "pyref.h"

namespace corbyl::py {

// Makes the templates (as the keys are made); false with an error set.
bool make_generated_templates(std::vector<PyObject*>& out);

// A new dict for a generated line (l.generated != 0).
PyObject* generated_line_to_dict(const LineItem& l);

}  // namespace corbyl::py
