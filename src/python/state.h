// The objects the boundary makes once per process and keeps until the
// process ends, all in one place. None of them holds an object of a caller
// or a value of a call: they are the interned keys, the empty dicts that
// written line items are copied from, the enumeration classes with their
// members, and the exception classes and functions the module adds.
//
// Each group is made once (Once) by the first thread that needs it, before
// any use, and is only read afterwards; a thread that finds another making
// it waits without holding the interpreter.
#pragma once

#include <array>
#include <atomic>
#include <tuple>
#include <vector>

#include "core/enums.h"
#include "core/line_item.h"
#include "core/records.h"
#include "pyref.h"

namespace corbyl::py {

// The interned key strs of a record's fields, in declared order.
template <typename R>
using RecordKeys = std::array<PyObject*, RecordInfo<R>::count>;

// One enumeration's class and its shared members.
template <typename E>
struct EnumClass {
  Once once;
  // The class once it exists; set (release) after `members`, so a reader
  // that sees it (acquire) sees them too.
  std::atomic<PyTypeObject*> type{nullptr};
  // The shared instance of each variant, in declaration order.
  std::array<PyObject*, kVariantCount<E>> members{};
};

struct State {
  // Made by init_keys() as the module is executed, before any function is
  // added: every record's keys, the keys of the totals result, and the
  // dicts that written line items are copies of.
  Once keys_once;
  // the keys of each record (record_keys<R>())
  std::tuple<RecordKeys<LineItem>, RecordKeys<ServicePlan>, RecordKeys<Pricing>, RecordKeys<TipLinesContext>,
             RecordKeys<DeliverableLinesContext>>
      keys{};
  PyObject* total_key = nullptr;
  PyObject* discount_key = nullptr;
  PyObject* subtotals_key = nullptr;
  // A dict of the eleven line item keys in order, each holding None.
  PyObject* line_template = nullptr;
  // One dict per row of the core's table of generated lines (generated_lines()),
  // in its order: the line with every fixed field in place and its literal
  // texts "0"; the fields that come from the call hold None.
  std::vector<PyObject*> generated_templates;

  // The classes, each made on first use (as the module is executed;
  // enum_state<E>()).
  std::tuple<EnumClass<LineType>, EnumClass<Category>, EnumClass<Account>> classes;

  // corbyl.PanicException, made on first use; derives from BaseException.
  Once panic_once;
  PyObject* panic = nullptr;
  // corbyl._member, which gives back a pickled member; made on first use.
  Once reconstructor_once;
  PyObject* reconstructor = nullptr;
};

extern State g_state;
inline State& state() { return g_state; }

// (each record's keys are an array of its own length, so a type of its own)
template <typename R>
const RecordKeys<R>& record_keys() {
  return std::get<RecordKeys<R>>(g_state.keys);
}

template <typename E>
EnumClass<E>& enum_state() {
  return std::get<EnumClass<E>>(g_state.classes);
}

// Makes the keys and the templates (keys_once); false with an error set.
bool init_keys();

}  // namespace corbyl::py
