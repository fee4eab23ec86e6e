// Where in a call's records a failure happened. An operation fills it in as
// the failure leaves the place; the boundary turns it into attributes and a
// note of the exception ("while reading lines[3] (id 17), field
// 'percentage'").
#pragma once

#include <cstdint>
#include <string_view>

namespace corbyl {

struct Place {
  enum class In : uint8_t {
    Nothing,    // not known
    Line,       // a line of the list being totalled
    ExtraLine,  // a caller's extra line of a sale
    BaseLine,   // the generated base price line of a sale
    Group,      // the sum of the lines of one priority
    Pricing,    // a field of the pricing record
    Plan,       // a field of a service plan
    Context,    // a field of the context record itself
    Argument,   // a top-level argument of the call, which `field` names
  };
  In in = In::Nothing;
  uint32_t index = 0;       // the line's or the plan's position in its list
  int32_t id = 0;           // the line's id
  int16_t priority = 0;     // the group's priority
  std::string_view field;   // the field being read, if any (a literal)
  // For a text of a line that looks like one the line generators make,
  // where in their context it comes from: the record ("pricing", "plan" for
  // the chosen plan, or "context") and its field; empty for any other.
  std::string_view source_record;
  std::string_view source_field;

  bool known() const { return in != In::Nothing; }

  static Place line(uint32_t index, int32_t id, std::string_view field = {}) {
    return Place{In::Line, index, id, 0, field, {}, {}};
  }
  static Place group(int16_t priority) { return Place{In::Group, 0, 0, priority, {}, {}, {}}; }
  static Place of(In in, std::string_view field, uint32_t index = 0) { return Place{in, index, 0, 0, field, {}, {}}; }
  static Place argument(std::string_view name) { return Place{In::Argument, 0, 0, 0, name, {}, {}}; }
};

}  // namespace corbyl
