#include "convert.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <type_traits>

#include "core/lines.h"
#include "enum_classes.h"
#include "errors.h"

namespace corbyl::py {
namespace {

template <typename R>
RecordKeys<R> g_record_keys{};
ResultKeys g_result_keys;
Once keys_once;

// A dict with the line item keys in order and None values: each written line
// item is a copy of it with the values replaced, which spares the resizes of
// growing a dict key by key. Kept for the life of the process.
PyObject* g_line_template = nullptr;

// The dicts of the lines the module generates, with every field but the
// amount, the percentage and the user already in place (one for each kind
// of generated line, grossed up or not), the amount and the percentage as
// the text 0: a generated line is written as a copy of its template and
// the values that differ from it. Kept for the life of the process.
struct GeneratedTemplate {
  GeneratedLine line;
  bool back_into_percentage;
  PyObject* dict;
};
std::vector<GeneratedTemplate> g_generated_templates;  // ordered by id, from -1 down
// Where the templates of each generated id are: [-id] = [first, end) in
// g_generated_templates. Generated ids are negative and few.
std::vector<std::pair<uint32_t, uint32_t>> g_templates_of_id;

// A capacity hint from a length that may lie: never reserve more than this
// many records up front; a longer list grows as it is read.
constexpr Py_ssize_t kMaxReserve = 1 << 16;

PyObject* intern(std::string_view name) {
  PyObject* s = PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size()));
  if (s) PyUnicode_InternInPlace(&s);
  return s;
}

template <typename R>
bool intern_record_keys() {
  RecordKeys<R> keys{};
  for (size_t i = 0; i < keys.size(); ++i) {
    keys[i] = intern(RecordInfo<R>::fields[i]);
    if (!keys[i]) return false;
  }
  g_record_keys<R> = keys;
  return true;
}

// mapping[key] as a new reference; on failure the lookup's own error is set
// (KeyError(key) for a dict).
bool lookup(Reader& rd, PyObject* map, PyObject* key, PyRef& out) {
  // Any lookup may run Python code: a mapping's own __getitem__, or the
  // __eq__ of another key of a dict that collides with this one.
  ++rd.calls_out;
  if (PyDict_CheckExact(map)) {
#if CORBYL_PY313_PLUS
    PyObject* v = nullptr;
    const int found = PyDict_GetItemRef(map, key, &v);
    if (found < 0) return false;
    if (found == 0) {
      PyErr_SetObject(PyExc_KeyError, key);
      return false;
    }
    out = PyRef::steal(v);
#else
    PyObject* v = PyDict_GetItemWithError(map, key);
    if (!v) {
      if (!PyErr_Occurred()) PyErr_SetObject(PyExc_KeyError, key);
      return false;
    }
    out = PyRef::borrow(v);
#endif
    return true;
  }
  out = PyRef::steal(PyObject_GetItem(map, key));
  return static_cast<bool>(out);
}

// The values of an exact dict whose keys are all the record's interned keys
// (by identity, every one present, no other key): one pass over its items
// instead of one hashed lookup per field. Anything else (a subclass, another
// mapping, a key missing, an equal key that is not the interned one, a key
// the record does not name) answers false and is read key by key.
template <typename R>
bool snapshot(PyObject* o, const RecordKeys<R>& keys, std::array<PyObject*, RecordInfo<R>::count>& values) {
  constexpr size_t n = RecordInfo<R>::count;
  if (!PyDict_CheckExact(o) || PyDict_GET_SIZE(o) != static_cast<Py_ssize_t>(n)) return false;
  Py_ssize_t pos = 0;
  PyObject *key, *value;
  size_t expected = 0;  // dicts are usually written in the record's order
  while (PyDict_Next(o, &pos, &key, &value)) {
    size_t k = expected < n && keys[expected] == key ? expected : n;
    for (size_t j = 0; k == n && j < n; ++j) {
      if (keys[j] == key) k = j;
    }
    if (k == n || values[k]) return false;
    values[k] = value;
    expected = k + 1;
  }
  return true;  // n distinct keys of the record in a dict of n items: all of them
}

// Reads a record field by field in declared order: a failed lookup keeps its
// own error, a failed conversion is reported as a failure of the field.
//
// An exact dict is read without hashing as long as nothing that could change
// it has run since its reading began: first item by item while its keys come
// in the record's order (the interned key itself at each step, so the value
// is the one a lookup would find), then, from the first key out of order,
// from one pass over all its items (snapshot). Anything else, and anything
// after Python code may have run, is looked up key by key.
template <typename R>
bool read_record(Reader& rd, PyObject* o, R& r) {
  const RecordKeys<R>& keys = g_record_keys<R>;
  std::array<PyObject*, RecordInfo<R>::count> values;
  enum class From { Items, Snapshot, Lookup };
#ifdef Py_GIL_DISABLED
  // Without the GIL another thread may change the dict meanwhile, and the
  // values it lends could go with it: every field is looked up, each value
  // owned while it is read.
  From from = From::Lookup;
#else
  From from = PyDict_CheckExact(o) ? From::Items : From::Lookup;
#endif
  Py_ssize_t pos = 0;
  const uint64_t calls_at_start = rd.calls_out;
  size_t i = 0;
  // (each field's step inlined: a record is read in one straight run)
  const bool ok = RecordInfo<R>::visit(r, [&](auto& value) CORBYL_ALWAYS_INLINE {
    PyObject* key = keys[i];
    auto convert = [&](PyObject* item) CORBYL_ALWAYS_INLINE {
      if (read_value(rd, item, value)) return true;
      wrap_field_error(RecordInfo<R>::name.data(), key);
      return false;
    };
    if (from != From::Lookup && rd.calls_out != calls_at_start) from = From::Lookup;
    if (from == From::Items) {
      PyObject *k, *v;
      if (PyDict_Next(o, &pos, &k, &v) && k == key) {
        ++i;
        return convert(v);
      }
      values.fill(nullptr);
      from = snapshot<R>(o, keys, values) ? From::Snapshot : From::Lookup;
    }
    if (from == From::Snapshot) return convert(values[i++]);
    ++i;
    PyRef looked_up;
    return lookup(rd, o, key, looked_up) && convert(looked_up.get());
  });
  if (!ok) {
    Reader::Step step{keys[i - 1]};
    if constexpr (std::is_same_v<R, LineItem>) {
      step.has_id = i > 1;  // the id, read first, is known
      step.id = r.id;
    }
    rd.path.push_back(step);
  }
  return ok;
}

void type_error_expected(PyObject* o, const char* expected) {
  PyErr_Format(PyExc_TypeError, "'%.200s' object cannot be converted to '%s'", Py_TYPE(o)->tp_name, expected);
}

// The value of an exact int of one digit (most ids and priorities), read
// in place; false for any other object.
bool small_int(PyObject* o, long long& v) {
  if (!PyLong_CheckExact(o)) return false;
#if CORBYL_PY312_PLUS
  auto* l = reinterpret_cast<PyLongObject*>(o);
  if (!PyUnstable_Long_IsCompact(l)) return false;
  v = PyUnstable_Long_CompactValue(l);
  return true;
#elif PY_VERSION_HEX >= 0x030B0000
  const Py_ssize_t size = Py_SIZE(o);
  if (size < -1 || size > 1) return false;
  v = size * static_cast<long long>(reinterpret_cast<PyLongObject*>(o)->ob_digit[0]);
  return true;
#else
  (void)v;
  return false;
#endif
}

template <typename T>
bool read_integer(Reader& rd, PyObject* o, T& out) {
  long long v;
  int overflow = 0;
  if (!small_int(o, v)) {
    PyRef index;
    if (!PyLong_Check(o)) {
      ++rd.calls_out;  // __index__
      index = PyRef::steal(PyNumber_Index(o));
      if (!index) return false;
      o = index.get();
    }
    v = PyLong_AsLongLongAndOverflow(o, &overflow);
    if (v == -1 && PyErr_Occurred()) return false;
  }
  if (overflow || v < static_cast<long long>(std::numeric_limits<T>::min()) ||
      (v > 0 && static_cast<unsigned long long>(v) >
                    static_cast<unsigned long long>(std::numeric_limits<T>::max()))) {
    if (std::is_unsigned_v<T> && (overflow < 0 || v < 0)) {
      PyErr_SetString(PyExc_OverflowError, "can't convert negative int to unsigned");
    } else {
      PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    }
    return false;
  }
  out = static_cast<T>(v);
  return true;
}

// Any sequence but a str; elements are taken by iteration, in order. An
// exact list or tuple is read by position, as its iterator would be.
template <typename T>
bool read_list(Reader& rd, PyObject* o, std::vector<T>& out) {
  if (PyUnicode_Check(o)) {
    PyErr_SetString(PyExc_TypeError, "a 'str' is not accepted as a sequence of records");
    return false;
  }
  auto failed_at = [&](size_t position) {
    rd.path.push_back(Reader::Step{nullptr, static_cast<Py_ssize_t>(position)});
    return false;
  };
  if (PyList_CheckExact(o) || PyTuple_CheckExact(o)) {
    const bool list = PyList_CheckExact(o);
    auto size = [&] { return list ? PyList_GET_SIZE(o) : PyTuple_GET_SIZE(o); };
    out.reserve(static_cast<size_t>(size()));
    // the size is read again at each step: reading an element may shrink a list
    for (Py_ssize_t k = 0; k < size(); ++k) {
#ifdef Py_GIL_DISABLED
      // another thread may shrink the list meanwhile: the element is taken
      // owned, or the list ended
      PyRef item = list ? PyRef::steal(PyList_GetItemRef(o, k)) : PyRef::borrow(PyTuple_GET_ITEM(o, k));
      if (!item) {
        PyErr_Clear();
        break;
      }
#else
      PyRef item = PyRef::borrow(list ? PyList_GET_ITEM(o, k) : PyTuple_GET_ITEM(o, k));
#endif
      // read in place; a record that fails to read is taken off again
      if (!read_value(rd, item.get(), out.emplace_back())) {
        out.pop_back();
        return failed_at(out.size());
      }
    }
    return true;
  }
  if (!PySequence_Check(o)) {
    type_error_expected(o, "Sequence");
    return false;
  }
  ++rd.calls_out;  // the sequence's own __len__ and iteration
  const Py_ssize_t n = PySequence_Size(o);
  if (n < 0) {
    // The length is only a capacity hint: a sequence without one, or with
    // one too large for this machine's sizes (a lying length above 2^31 on
    // a 32-bit interpreter), is read all the same. Any other error (an
    // interrupt, memory) is the caller's.
    if (!PyErr_ExceptionMatches(PyExc_TypeError) && !PyErr_ExceptionMatches(PyExc_OverflowError)) return false;
    PyErr_Clear();
  } else {
    out.reserve(static_cast<size_t>(n < kMaxReserve ? n : kMaxReserve));
  }
  PyRef it = PyRef::steal(PyObject_GetIter(o));
  if (!it) return false;
  while (PyRef item = PyRef::steal(PyIter_Next(it.get()))) {
    T record{};
    if (!read_value(rd, item.get(), record)) return failed_at(out.size());
    out.push_back(std::move(record));
  }
  if (!PyErr_Occurred()) return true;
  return failed_at(out.size());
}

// Sets d[key] = value, taking over the new reference `value`. A value that
// could not be created fails the call with the panic exception; a failing
// insertion keeps the interpreter's own error.
bool put(PyObject* d, PyObject* key, PyObject* value) {
  if (!value) {
    result_creation_failed();
    return false;
  }
  PyRef v = PyRef::steal(value);
  return PyDict_SetItem(d, key, v.get()) == 0;
}

PyObject* new_ref(PyObject* o) {
  Py_INCREF(o);
  return o;
}

PyObject* to_python(int32_t v) { return PyLong_FromLong(v); }
PyObject* to_python(int16_t v) { return PyLong_FromLong(v); }
PyObject* to_python(bool v) { return new_ref(v ? Py_True : Py_False); }
PyObject* to_python(const Text& t) {
  if (const void* source = t.source()) return new_ref(static_cast<PyObject*>(const_cast<void*>(source)));
  const std::string_view s = t.str();
  return PyUnicode_FromStringAndSize(s.data(), static_cast<Py_ssize_t>(s.size()));
}
template <typename E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
PyObject* to_python(E v) {
  return enum_to_python(v);
}
template <typename T>
PyObject* to_python(const std::optional<T>& v) {
  return v ? to_python(*v) : new_ref(Py_None);
}
PyObject* to_python(const std::optional<int64_t>& v) { return v ? PyLong_FromLongLong(*v) : new_ref(Py_None); }

// The template of a generated line, or nullptr for any other line.
GeneratedTemplate* generated_template(const LineItem& l) {
  if (l.id >= 0 || -int64_t{l.id} >= static_cast<int64_t>(g_templates_of_id.size()) || !l.description.empty() ||
      l.frozen_value) {
    return nullptr;
  }
  const auto [first, end] = g_templates_of_id[static_cast<size_t>(-l.id)];
  for (uint32_t k = first; k < end; ++k) {
    GeneratedTemplate& t = g_generated_templates[k];
    if (t.line.priority == l.priority && t.line.kind == l.kind && t.line.category == l.category &&
        t.line.account == l.destination_account && t.back_into_percentage == l.back_into_percentage) {
      return &t;
    }
  }
  return nullptr;
}

// A copy of the template `tmpl` with the amount, the percentage and the
// user that differ from it (a text 0 is already in place).
PyObject* fill_template(PyObject* tmpl, const Text& amount_text, PyObject* amount, const Text& percentage_text,
                        PyObject* percentage, const std::optional<int64_t>& user) {
  const RecordKeys<LineItem>& keys = g_record_keys<LineItem>;
  constexpr size_t a = 3, p = 6, u = 8;  // positions among the keys
  static_assert(RecordInfo<LineItem>::fields[a] == "amount" && RecordInfo<LineItem>::fields[p] == "percentage" &&
                RecordInfo<LineItem>::fields[u] == "destination_user_id");
  PyRef d = PyRef::steal(PyDict_Copy(tmpl));
  if (!d) return result_creation_failed();
  const bool ok = (amount_text == "0" || PyDict_SetItem(d.get(), keys[a], amount) == 0) &&
                  (percentage_text == "0" || PyDict_SetItem(d.get(), keys[p], percentage) == 0) &&
                  (!user || put(d.get(), keys[u], to_python(user)));
  return ok ? d.release() : nullptr;
}

// A new dict for a generated line, from its template.
PyObject* generated_line_to_dict(GeneratedTemplate& t, const LineItem& l) {
  if (l.amount == "0" && l.percentage == "0" && !l.destination_user_id) {
    PyObject* d = PyDict_Copy(t.dict);
    return d ? d : result_creation_failed();
  }
  PyRef amount = PyRef::steal(to_python(l.amount)), percentage = PyRef::steal(to_python(l.percentage));
  if (!amount || !percentage) return result_creation_failed();
  return fill_template(t.dict, l.amount, amount.get(), l.percentage, percentage.get(), l.destination_user_id);
}

// A new dict with the line's fields under the line item keys, in order.
PyObject* line_item_to_dict(const LineItem& l) {
  const RecordKeys<LineItem>& keys = g_record_keys<LineItem>;
  if (GeneratedTemplate* t = generated_template(l)) return generated_line_to_dict(*t, l);
  PyRef d = PyRef::steal(PyDict_Copy(g_line_template));
  if (!d) return result_creation_failed();
  size_t i = 0;
  const bool ok = RecordInfo<LineItem>::visit(l, [&](const auto& value) {
    return put(d.get(), keys[i++], to_python(value));
  });
  return ok ? d.release() : nullptr;
}

}  // namespace

CORBYL_COLD void HeldTexts::hold_more(PyObject* o) {
  more_.push_back(o);  // (may throw: then nothing more is held)
  ++count_;
  Py_INCREF(o);
}

std::string Reader::failure_note(const char* argument) const {
  if (path.empty()) return {};
  // (appended piece by piece: GCC 12 warns falsely on "[" + std::string)
  std::string note = "while reading ";
  note += argument;
  for (size_t k = path.size(); k-- > 0;) {
    const Step& s = path[k];
    if (!s.key) {
      note += '[';
      note += std::to_string(s.index);
      note += ']';
      continue;
    }
    const char* key = PyUnicode_AsUTF8(s.key);  // an interned ASCII key
    if (k > 0) {
      note += "['";
      note += key;
      note += "']";
    } else {
      if (s.has_id) {
        note += " (id ";
        note += std::to_string(s.id);
        note += ')';
      }
      note += ", field '";
      note += key;
      note += '\'';
    }
  }
  return note;
}

template <typename R>
const RecordKeys<R>& record_keys() {
  return g_record_keys<R>;
}
template const RecordKeys<LineItem>& record_keys<LineItem>();
template const RecordKeys<ServicePlan>& record_keys<ServicePlan>();
template const RecordKeys<Pricing>& record_keys<Pricing>();
template const RecordKeys<TipLinesContext>& record_keys<TipLinesContext>();
template const RecordKeys<DeliverableLinesContext>& record_keys<DeliverableLinesContext>();

const ResultKeys& result_keys() { return g_result_keys; }

bool init_keys() {
  return keys_once.run([] {
    if (!intern_record_keys<LineItem>() || !intern_record_keys<ServicePlan>() || !intern_record_keys<Pricing>() ||
        !intern_record_keys<TipLinesContext>() || !intern_record_keys<DeliverableLinesContext>()) {
      return false;
    }
    ResultKeys r;
    if (!(r.total = intern("total")) || !(r.discount = intern("discount")) || !(r.subtotals = intern("subtotals"))) {
      return false;
    }
    g_result_keys = r;
    PyRef tmpl = PyRef::steal(PyDict_New());
    if (!tmpl) return false;
    for (PyObject* key : g_record_keys<LineItem>) {
      if (PyDict_SetItem(tmpl.get(), key, Py_None) < 0) return false;
    }
    g_line_template = tmpl.release();
    std::vector<GeneratedTemplate> templates;
    for (const GeneratedLine& g : generated_lines()) {
      for (const bool back : {false, true}) {
        LineItem l;
        l.id = g.id;
        l.priority = g.priority;
        l.kind = g.kind;
        l.category = g.category;
        l.destination_account = g.account;
        l.back_into_percentage = back;
        l.amount = l.percentage = Text::literal("0");
        PyObject* d = line_item_to_dict(l);  // no template yet: the general path
        if (!d) return false;
        templates.push_back(GeneratedTemplate{g, back, d});
      }
    }
    std::stable_sort(templates.begin(), templates.end(),
                     [](const GeneratedTemplate& a, const GeneratedTemplate& b) { return a.line.id > b.line.id; });
    std::vector<std::pair<uint32_t, uint32_t>> of_id;
    for (uint32_t k = 0; k < templates.size(); ++k) {
      const int32_t id = templates[k].line.id;
      if (id >= 0) return false;  // (generated ids are negative)
      const size_t at = static_cast<size_t>(-int64_t{id});
      if (of_id.size() <= at) of_id.resize(at + 1, {k, k});
      of_id[at].second = k + 1;
    }
    g_generated_templates = std::move(templates);
    g_templates_of_id = std::move(of_id);
    return true;
  });
}

bool read_value(Reader& rd, PyObject* o, int16_t& out) { return read_integer(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, int32_t& out) { return read_integer(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, int64_t& out) { return read_integer(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, uint16_t& out) { return read_integer(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, uint32_t& out) { return read_integer(rd, o, out); }

bool read_value(Reader& rd, PyObject* o, bool& out) {
  if (o == Py_True || o == Py_False) {
    out = o == Py_True;
    return true;
  }
  // NumPy's boolean scalar, recognised without importing NumPy.
  const char* name = Py_TYPE(o)->tp_name;
  if (std::strcmp(name, "numpy.bool") == 0 || std::strcmp(name, "numpy.bool_") == 0) {
    ++rd.calls_out;  // its truth value
    const int truth = PyObject_IsTrue(o);
    if (truth < 0) return false;
    out = truth != 0;
    return true;
  }
  type_error_expected(o, "bool");
  return false;
}

namespace {

// The text of a str: a view of its characters, or of its UTF-8 form, which
// it keeps as long as it lives; the call holds it. Only an exact str may be
// given back as it came: a subclass's text is written as a new str.
void view_text(Reader& rd, PyObject* o, const char* utf8, Py_ssize_t n, Text& out) {
  rd.texts.hold(o);
  out.set_view(std::string_view(utf8, static_cast<size_t>(n)), PyUnicode_CheckExact(o) ? o : nullptr);
}

CORBYL_COLD bool read_text_slow(Reader& rd, PyObject* o, Text& out) {
  if (!PyUnicode_Check(o)) {
    type_error_expected(o, "str");
    return false;
  }
  Py_ssize_t n = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(o, &n);
  if (!utf8) return false;
  view_text(rd, o, utf8, n, out);
  return true;
}

}  // namespace

bool read_value(Reader& rd, PyObject* o, Text& out) {
  if (PyUnicode_Check(o) && PyUnicode_IS_COMPACT_ASCII(o)) [[likely]] {
    view_text(rd, o, static_cast<const char*>(PyUnicode_DATA(o)), PyUnicode_GET_LENGTH(o), out);
    return true;
  }
  return read_text_slow(rd, o, out);
}

bool read_value(Reader&, PyObject* o, LineType& out) { return enum_from_python(o, out); }
bool read_value(Reader&, PyObject* o, Category& out) { return enum_from_python(o, out); }
bool read_value(Reader&, PyObject* o, Account& out) { return enum_from_python(o, out); }

bool read_value(Reader& rd, PyObject* o, LineItem& out) { return read_record(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, ServicePlan& out) { return read_record(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, Pricing& out) { return read_record(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, TipLinesContext& out) { return read_record(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, DeliverableLinesContext& out) { return read_record(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, std::vector<LineItem>& out) { return read_list(rd, o, out); }
bool read_value(Reader& rd, PyObject* o, std::vector<ServicePlan>& out) { return read_list(rd, o, out); }

namespace {

PyObject* printed_to_str(const char* chars, size_t n) {
  PyObject* s = PyUnicode_New(static_cast<Py_ssize_t>(n), 127);
  if (!s) return nullptr;
  std::memcpy(PyUnicode_1BYTE_DATA(s), chars, n);
  return s;
}

// A subtotal written exactly as the caller's text that it was read from (an
// amount without percentage, a frozen value) is given back as that str.
PyObject* subtotal_to_str(const TotalsReport::Subtotal& s) {
  char buf[Decimal::kMaxPrinted];
  const size_t n = s.value.print(buf);
  if (s.read_from && s.read_from->source() && s.read_from->str() == std::string_view(buf, n)) {
    return to_python(*s.read_from);
  }
  return printed_to_str(buf, n);
}

}  // namespace

PyObject* decimal_to_str(const Decimal& d) {
  char buf[Decimal::kMaxPrinted];
  return printed_to_str(buf, d.print(buf));
}

PyObject* line_items_to_list(const std::vector<LineItem>& lines) {
  PyRef list = PyRef::steal(PyList_New(static_cast<Py_ssize_t>(lines.size())));
  if (!list) return result_creation_failed();
  for (size_t i = 0; i < lines.size(); ++i) {
    PyObject* d = line_item_to_dict(lines[i]);
    if (!d) return nullptr;
    PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
  }
  return list.release();
}

PyObject* totals_to_dict(const TotalsReport& report) {
  const ResultKeys& k = g_result_keys;
  PyRef result = PyRef::steal(PyDict_New());
  PyRef subtotals = PyRef::steal(new_dict(static_cast<Py_ssize_t>(report.count())));
  if (!result || !subtotals) return result_creation_failed();
  // lines of one group often have equal subtotals: a subtotal written the
  // same as the one before shares its str
  Decimal last;
  PyObject* last_text = nullptr;  // held by the subtotals dict
  for (size_t i = 0; i < report.count(); ++i) {
    const TotalsReport::Subtotal s = report[i];
    PyRef key = PyRef::steal(to_python(s.id));
    if (!key) return result_creation_failed();
    PyObject* text = last_text && last.identical(s.value) ? new_ref(last_text) : subtotal_to_str(s);
    if (!put(subtotals.get(), key.get(), text)) return nullptr;
    last = s.value;
    last_text = text;
  }
  if (!put(result.get(), k.total, decimal_to_str(report.total)) ||
      !put(result.get(), k.discount, decimal_to_str(report.discount)) ||
      PyDict_SetItem(result.get(), k.subtotals, subtotals.get()) < 0) {
    return nullptr;
  }
  return result.release();
}

PyObject* parts_to_list(const Division& parts) {
  // the parts take at most two values: each is printed once and shared
  PyRef larger = PyRef::steal(decimal_to_str(parts.larger));
  PyRef base = PyRef::steal(decimal_to_str(parts.base));
  PyRef list = PyRef::steal(PyList_New(parts.count));
  if (!larger || !base || !list) return result_creation_failed();
  auto fill = [&](uint32_t from, uint32_t to, PyObject* s) {
    for (uint32_t i = from; i < to; ++i) PyList_SET_ITEM(list.get(), i, s);
    // The str is this call's own, seen by no one else yet: its count is
    // raised once by all the references the list takes, not step by step
    // (on 3.12 and later each step is a load, a test for immortality and a
    // store that the next step waits for). A debug build counts every
    // reference taken, one at a time.
#ifdef Py_REF_DEBUG
    for (uint32_t i = from; i < to; ++i) Py_INCREF(s);
#else
    Py_SET_REFCNT(s, Py_REFCNT(s) + static_cast<Py_ssize_t>(to - from));
#endif
  };
  fill(0, parts.larger_count, larger.get());
  fill(parts.larger_count, parts.count, base.get());
  return list.release();
}

}  // namespace corbyl::py
