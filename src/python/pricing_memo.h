// The pricing record read last, kept while the dicts it was read from stay
// as they were.
//
// A host prices sale after sale, and tip after tip, from one pricing dict
// that it loaded once. Reading that dict again, unchanged, gives the record
// it gave before: a second reading is a copy of the first. The memory is
// kept only with the GIL and only for what was read without running any
// Python code (an exact dict of the field names, its plans an exact list or
// tuple of exact dicts, no __index__ or truth value called): that record
// depends on nothing but the objects in those dicts, whose every change the
// memory notices. Anything else is read as it always is.
#pragma once

#include <cstddef>

#include "convert.h"

namespace corbyl::py {

// The record last read from `o`, if `o` is the very dict it was read from
// and neither it, its plans list nor any plan has changed since: `out` is
// then that record, and `texts` holds the str objects it views.
bool recall_pricing(PyObject* o, HeldTexts& texts, Pricing& out);

// Called after `o` was read into `record` without running Python code; the
// str objects its texts view are those `texts` took on from `mark`. A dict
// read twice in a row (the same dict, unchanged) is remembered.
void remember_pricing(PyObject* o, const Pricing& record, const HeldTexts& texts, size_t mark);

}  // namespace corbyl::py
