// Where an error of a call was, as data: a host reads it from attributes of
// the exception, on every CPython, and from its note on 3.11 and later
// (PEP 678); both say the same, and type, args and cause stay as they are.
//
//   corbyl_argument  the argument: 'lines', 'quantization', 'source_amount',
//                    'divisor' or 'provided_lines_context'
//   corbyl_path      the keys and positions from the argument to the value,
//                    a record's field last: (3, 'percentage'),
//                    ('extra_lines', 1, 'kind'), ('pricing', 'table_tax'),
//                    () for the argument itself
//   corbyl_field     that field (the last key of the path), or None
//   corbyl_line_id   the id of the line, where it is known, or None
//   corbyl_priority  the priority whose lines were being added up, or None
//   corbyl_source    for a text of a line that a line generator makes, where
//                    it comes from in a line generation context:
//                    ('pricing', 'table_tax'), ('plan', 'shield_static_price')
//                    for the chosen plan, ('context', 'base_price'); or None
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/place.h"
#include "read.h"

namespace corbyl::py {

struct ErrorPlace {
  struct Step {
    std::string_view key;  // a record's key, or empty for a position
    Py_ssize_t index = 0;
  };
  std::string_view argument;
  std::vector<Step> path;
  bool reading = true;     // a value being read (else being computed)
  bool base_line = false;  // the base price line that a sale generates
  std::optional<int32_t> line_id;
  std::optional<int16_t> priority;
  std::string_view source_record, source_field;
  bool noted = true;  // false: no place more than the argument, and no note
};

// The place of a failure to read the argument `argument`, from the path its
// reader left.
ErrorPlace reading_place(std::string_view argument, const Reader& rd);

// The place of a failure of the core at `place`, in a call whose lines are
// the argument `argument` (in a line generation context: its extra lines).
ErrorPlace computing_place(const Place& place, std::string_view argument);

// Sets the attributes and adds the note of the pending exception. What
// cannot be set (an exception of the caller's that refuses attributes) is
// left out; the exception itself stays as it is.
void mark_error(const ErrorPlace& place);

// The note that names a place ("while reading lines[3] (id 17), field
// 'percentage'").
std::string note_of(const ErrorPlace& place);

}  // namespace corbyl::py
