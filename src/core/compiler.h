// Everything compiler-specific in the core: the 128-bit integer, the
// 128-by-64-bit division, the attributes of cold, never and always inlined
// functions, and the builtins that name the source place of a call.
//
// The core spells the type `u128` and reaches its halves only through the
// helpers below. Where the compiler has a 128-bit integer (GCC and Clang on
// 64-bit targets) that is `u128`; elsewhere, or when CORBYL_PORTABLE_INT128
// is defined, it is the two-limb class of int128_portable.h, with the same
// results bit for bit.
#pragma once

#include <cstdint>

#if defined(__SIZEOF_INT128__) && !defined(CORBYL_PORTABLE_INT128)
#define CORBYL_BUILTIN_INT128 1
#else
#include "int128_portable.h"
#endif

namespace corbyl {

#if defined(CORBYL_BUILTIN_INT128)

__extension__ typedef unsigned __int128 u128;

// Full 64 x 64 -> 128 bit product: mul64(2^63, 4) == 2^65.
constexpr u128 mul64(uint64_t a, uint64_t b) { return static_cast<u128>(a) * b; }
constexpr uint64_t lo64(u128 v) { return static_cast<uint64_t>(v); }
constexpr uint64_t hi64(u128 v) { return static_cast<uint64_t>(v >> 64); }
constexpr u128 make_u128(uint64_t hi, uint64_t lo) { return (static_cast<u128>(hi) << 64) | lo; }

#else

using u128 = U128;

constexpr u128 mul64(uint64_t a, uint64_t b) { return U128::mul64(a, b); }
constexpr uint64_t lo64(u128 v) { return v.low(); }
constexpr uint64_t hi64(u128 v) { return v.high(); }
constexpr u128 make_u128(uint64_t hi, uint64_t lo) { return U128(hi, lo, 0); }

#endif

// The quotient of the 128-bit value hi:lo by d, with the remainder in
// `rem`; the quotient must fit in 64 bits (hi < d). x86-64 divides so in one
// instruction, where the compiler's 128-bit division is a library call for
// any divisor.
inline uint64_t div128_64(uint64_t hi, uint64_t lo, uint64_t d, uint64_t& rem) {
#if defined(CORBYL_BUILTIN_INT128) && defined(__x86_64__)
  uint64_t q;
  __asm__("divq %[d]" : "=a"(q), "=d"(rem) : [d] "rm"(d), "a"(lo), "d"(hi));
  return q;
#else
  if (hi == 0) {
    rem = lo % d;
    return lo / d;
  }
  const u128 n = make_u128(hi, lo);
  const uint64_t q = lo64(n / d);
  rem = lo64(n - mul64(q, d));
  return q;
#endif
}

// Inlining, where the compiler's own judgement would vary from one build to
// the next on code whose speed matters: CORBYL_COLD keeps a function (an
// error, a rare case) out of line and out of its callers' fast paths,
// CORBYL_NOINLINE keeps the less common path of a small hot function out of
// line, and CORBYL_ALWAYS_INLINE (on a function, or on a lambda after its
// parameters) always inlines it.
#if defined(__GNUC__) || defined(__clang__)
#define CORBYL_COLD __attribute__((noinline, cold))
#define CORBYL_NOINLINE __attribute__((noinline))
#define CORBYL_ALWAYS_INLINE __attribute__((always_inline))
#elif defined(_MSC_VER)
#define CORBYL_COLD __declspec(noinline)
#define CORBYL_NOINLINE __declspec(noinline)
#define CORBYL_ALWAYS_INLINE
#else
#define CORBYL_COLD
#define CORBYL_NOINLINE
#define CORBYL_ALWAYS_INLINE
#endif

// The file and line of the caller, when used as a default argument:
// void f(SourcePlace where = SourcePlace::here()).
struct SourcePlace {
  const char* file;
  unsigned line;
#if defined(__GNUC__) || defined(__clang__) || (defined(_MSC_VER) && _MSC_VER >= 1926)
  static constexpr SourcePlace here(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) {
    return SourcePlace{file, line};
  }
#else
  static constexpr SourcePlace here() { return SourcePlace{"(unknown file)", 0}; }
#endif
};

}  // namespace corbyl
