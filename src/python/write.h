// Writing the core's results as new Python objects. Each returns a new
// reference, or nullptr with an error set: a value that could not be
// created fails the call with the panic exception, a failing insertion
// keeps the interpreter's own error.
#pragma once

#include <vector>

#include "core/decimal.h"
#include "core/divide.h"
#include "core/line_item.h"
#include "core/totals.h"
#include "pyref.h"

namespace corbyl::py {

PyObject* decimal_to_str(const Decimal& d);

// A new dict of the line's eleven fields, in order, made from the line
// template with each value set.
PyObject* line_item_to_dict(const LineItem& l);

PyObject* line_items_to_list(const std::vector<LineItem>& lines);
PyObject* totals_to_dict(const TotalsReport& report);
PyObject* parts_to_list(const Division& parts);

// d[key] = value, taking over the new reference `value` (nullptr: it could
// not be created, and the call fails with the panic exception).
bool put(PyObject* d, PyObject* key, PyObject* value);

// A text as a str: the caller's own str that it views, or a new one.
PyObject* text_to_str(const Text& t);

}  // namespace corbyl::py
