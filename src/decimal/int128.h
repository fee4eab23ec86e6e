// The one place that knows about the compiler's 128-bit integer.
//
// Everything else in the core spells the type `u128` and uses only the
// helpers below, so a port to a compiler without `unsigned __int128` touches
// this header alone.
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

}  // namespace corbyl
