// The one place that knows about compiler extensions: the 128-bit integer
// and the builtins that name the source place of a call.
//
// Everything else in the core spells the type `u128` and uses only the
// helpers below, so a port to another compiler touches this header alone.
#pragma once

#include <cstdint>

#if !defined(__SIZEOF_INT128__)
#error "corbyl needs a compiler with a 128-bit integer type (GCC or Clang)"
#endif

namespace corbyl {

__extension__ typedef unsigned __int128 u128;

// Full 64 x 64 -> 128 bit product: mul64(2^63, 4) == 2^65.
inline u128 mul64(uint64_t a, uint64_t b) { return static_cast<u128>(a) * b; }

inline uint64_t lo64(u128 v) { return static_cast<uint64_t>(v); }
inline uint64_t hi64(u128 v) { return static_cast<uint64_t>(v >> 64); }
inline u128 make_u128(uint64_t hi, uint64_t lo) { return (static_cast<u128>(hi) << 64) | lo; }

// The file and line of the caller, when used as a default argument:
// void f(SourcePlace where = SourcePlace::here()).
struct SourcePlace {
  const char* file;
  unsigned line;
  static constexpr SourcePlace here(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) {
    return SourcePlace{file, line};
  }
};

}  // namespace corbyl
