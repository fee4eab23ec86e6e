#include "places.h"

namespace corbyl::py {
namespace {

constexpr std::string_view kContext = "provided_lines_context";

void append_path(std::string& out, const std::vector<ErrorPlace::Step>& path, size_t end) {
  // (appended piece by piece: GCC 12 warns falsely on "[" + std::string)
  for (size_t k = 0; k < end; ++k) {
    const ErrorPlace::Step& s = path[k];
    if (s.key.empty()) {
      out += '[';
      out += std::to_string(s.index);
      out += ']';
    } else {
      out += "['";
      out += s.key;
      out += "']";
    }
  }
}

bool ends_in_field(const ErrorPlace& p) { return !p.path.empty() && !p.path.back().key.empty(); }

// Sets exc.name = value, taking over the new reference `value`; a failure
// is cleared.
void set_attribute(PyObject* exc, const char* name, PyObject* value) {
  PyRef v = PyRef::steal(value);
  if (!v || PyObject_SetAttrString(exc, name, v.get()) < 0) PyErr_Clear();
}

PyObject* str_of(std::string_view s) {
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}

PyObject* path_tuple(const ErrorPlace& p) {
  PyRef t = PyRef::steal(PyTuple_New(static_cast<Py_ssize_t>(p.path.size())));
  if (!t) return nullptr;
  for (size_t k = 0; k < p.path.size(); ++k) {
    const ErrorPlace::Step& s = p.path[k];
    PyObject* item = s.key.empty() ? PyLong_FromSsize_t(s.index) : str_of(s.key);
    if (!item) return nullptr;
    PyTuple_SET_ITEM(t.get(), static_cast<Py_ssize_t>(k), item);
  }
  return t.release();
}

PyObject* none() { return Py_NewRef(Py_None); }

}  // namespace

ErrorPlace reading_place(std::string_view argument, const Reader& rd) {
  // (the reader's path runs innermost first)
  ErrorPlace p{argument, {rd.path.rbegin(), rd.path.rend()}, true, false, rd.line_id, {}, {}, {}};
  return p;
}

ErrorPlace computing_place(const Place& place, std::string_view argument) {
  using In = Place::In;
  using Step = ErrorPlace::Step;
  ErrorPlace p{argument, {}, !place.field.empty(), false, {}, {}, place.source_record, place.source_field};
  const bool in_context = argument == kContext;
  switch (place.in) {
    case In::Nothing: p.noted = false; return p;
    case In::Line:
    case In::ExtraLine:
      if (place.in == In::ExtraLine || in_context) p.path.push_back(Step{"extra_lines"});
      p.path.push_back(Step{{}, static_cast<Py_ssize_t>(place.index)});
      p.line_id = place.id;
      break;
    case In::BaseLine:
      p.path.push_back(Step{"base_price"});
      p.base_line = true;
      p.line_id = place.id;
      return p;
    case In::Group:
      if (in_context) p.path.push_back(Step{"extra_lines"});
      p.priority = place.priority;
      return p;
    case In::Pricing: p.path.push_back(Step{"pricing"}); break;
    case In::Plan:
      p.path.insert(p.path.end(), {Step{"pricing"}, Step{"plans"}, Step{{}, static_cast<Py_ssize_t>(place.index)}});
      break;
    case In::Context: break;
    case In::Argument:
      p.argument = place.field;
      p.reading = false;
      return p;
  }
  if (!place.field.empty()) p.path.push_back(Step{place.field});
  return p;
}

namespace {

// The note that names a place ("while reading lines[3] (id 17), field
// 'percentage'").
std::string note_of(const ErrorPlace& p) {
  std::string note;
  if (p.priority) {
    note = "while adding up the lines of priority ";
    note += std::to_string(*p.priority);
    note += " in ";
    note += p.argument;
    append_path(note, p.path, p.path.size());
    return note;
  }
  if (p.path.empty() && !p.reading) {
    note = "in the argument '";
    note += p.argument;
    note += '\'';
    return note;
  }
  const bool field = ends_in_field(p) && !p.base_line;
  note = p.reading ? "while reading " : "while computing ";
  if (p.base_line) {
    note += "the base price line";
  } else {
    note += p.argument;
    append_path(note, p.path, p.path.size() - (field ? 1 : 0));
  }
  if (p.line_id) {
    note += " (id ";
    note += std::to_string(*p.line_id);
    note += ')';
  }
  if (field) {
    note += ", field '";
    note += p.path.back().key;
    note += '\'';
  }
  if (!p.source_record.empty()) {
    note += ", which a generated line takes from the ";
    note += p.source_record;
    note += "'s '";
    note += p.source_field;
    note += '\'';
  }
  return note;
}

}  // namespace

void mark_error(const ErrorPlace& p) {
  if (!PyErr_Occurred()) return;
  PyRef exc = take_error();
  PyObject* e = exc.get();
  set_attribute(e, "corbyl_argument", str_of(p.argument));
  set_attribute(e, "corbyl_path", path_tuple(p));
  set_attribute(e, "corbyl_field", ends_in_field(p) ? str_of(p.path.back().key) : none());
  set_attribute(e, "corbyl_line_id", p.line_id ? PyLong_FromLong(*p.line_id) : none());
  set_attribute(e, "corbyl_priority", p.priority ? PyLong_FromLong(*p.priority) : none());
  set_attribute(e, "corbyl_source",
                p.source_record.empty() ? none() : Py_BuildValue("(s#s#)", p.source_record.data(),
                                                                 static_cast<Py_ssize_t>(p.source_record.size()),
                                                                 p.source_field.data(),
                                                                 static_cast<Py_ssize_t>(p.source_field.size())));
#if PY_VERSION_HEX >= 0x030B0000
  if (!p.noted) {
    restore_error(std::move(exc));
    return;
  }
  const std::string text = note_of(p);
  PyRef note = PyRef::steal(str_of(text));
  PyRef done = note ? PyRef::steal(PyObject_CallMethod(e, "add_note", "O", note.get())) : PyRef();
  if (!done) PyErr_Clear();  // the note is lost, the error itself is not
#endif
  restore_error(std::move(exc));
}

}  // namespace corbyl::py
