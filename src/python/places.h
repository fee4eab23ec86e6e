// Where an error of a call was, as data: a host reads it from attributes of
// the exception on every CPython (corbyl_argument, corbyl_path,
// corbyl_field, corbyl_line_id, corbyl_priority, corbyl_source: the stubs'
// ErrorPlace says what each holds), and from its note on 3.11 and later
// (PEP 678). Both say the same; type, args and cause stay as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/place.h"
#include "read.h"

namespace corbyl::py {

struct ErrorPlace {
  using Step = PathStep;
  std::string_view argument;
  std::vector<Step> path;  // outermost first
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

}  // namespace corbyl::py
