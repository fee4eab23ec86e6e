// How a record is described once. Each record lists its fields as
//
//   X(native type, name, initial value)
//
// in declared order; that one list gives the struct's members, the field
// names and types (RecordInfo<R>), and a visit of the fields in order, from
// which the boundary produces the key names, the readers and the writers.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "compiler.h"

namespace corbyl {

// Specialised for each record by CORBYL_RECORD_INFO.
template <typename R>
struct RecordInfo;

// The types that have a description.
template <typename R>
concept Record = requires { RecordInfo<R>::count; };

#define CORBYL_FIELD_MEMBER(type, name, init) type name{init};
#define CORBYL_FIELD_NAME(type, name, init) #name,
#define CORBYL_FIELD_TYPE(type, name, init) #type,
#define CORBYL_FIELD_VISIT(type, name, init) f(r.name) &&
#define CORBYL_FIELD_COUNT(type, name, init) +1
#define CORBYL_FIELD_EQUAL(type, name, init) a.name == b.name &&

// RecordInfo<Record>: the record's name, its field names and the spelling of
// their native types in declared order, and visit(r, f), which calls f on
// each field in that order while f returns true (inlined, so that a
// reader's state stays in registers across the fields).
#define CORBYL_RECORD_INFO(Record, FIELDS)                                                          \
  template <>                                                                                       \
  struct RecordInfo<Record> {                                                                       \
    static constexpr std::string_view name = #Record;                                              \
    static constexpr size_t count = 0 FIELDS(CORBYL_FIELD_COUNT);                                  \
    static constexpr std::array<std::string_view, count> fields{FIELDS(CORBYL_FIELD_NAME)};        \
    static constexpr std::array<std::string_view, count> types{FIELDS(CORBYL_FIELD_TYPE)};         \
    template <typename R, typename F>                                                               \
    CORBYL_ALWAYS_INLINE static bool visit(R& r, F&& f) {                                           \
      return FIELDS(CORBYL_FIELD_VISIT) true;                                                       \
    }                                                                                               \
  }

}  // namespace corbyl
