// The fast paths: second ways to compute what a general path beside them
// computes, each kept because it was measured to pay (benchmarks/README.md
// has the figures and where each lives). Each has a bit here, and its
// contract (what it assumes, what invalidates it, what it buys) where it
// lives, beside the test of `FastPath::X`.
//
// `fast_path(FastPath::X)` says whether X is taken. A build with
// CORBYL_FAST_PATHS=OFF (CMake) takes none of them. The test-only
// extension, the native tests and the fuzzers are built with
// CORBYL_FAST_PATH_SWITCH, which sets them at run time, so that one process
// can compare both ways.
#pragma once

#include <cstdint>
#if defined(CORBYL_FAST_PATH_SWITCH)
#include <atomic>
#endif

namespace corbyl {

// Each fast path: its name and its bit.
#define CORBYL_FAST_PATH_LIST(X) \
  X(ParseInline, 0) \
  X(AddInline, 1) \
  X(MultiplyInline, 2) \
  X(Align128, 3) \
  X(LinearMap, 4) \
  X(IdMask, 5) \
  X(MapByPosition, 6) \
  X(SortedBill, 7) \
  X(RepeatedText, 8) \
  X(RepeatedLine, 9) \
  X(QuantaCount, 10) \
  X(OnePassRead, 11) \
  X(TextViews, 12) \
  X(GiveBackAmount, 13) \
  X(ShareEqualSubtotals, 14) \
  X(GeneratedTemplates, 15) \
  X(CompactInt, 16) \
  X(ListByPosition, 17) \
  X(PresizedDict, 18) \
  X(HeldInPlace, 19) \
  X(PartsRefcountOnce, 20)

#define CORBYL_FAST_PATH_BIT(name, bit) name = 1ull << (bit),
enum class FastPath : uint64_t { CORBYL_FAST_PATH_LIST(CORBYL_FAST_PATH_BIT) };
#undef CORBYL_FAST_PATH_BIT

#ifndef CORBYL_FAST_PATH_MASK
#define CORBYL_FAST_PATH_MASK 0xFFFFFFFFFFFFFFFFull
#endif

#if defined(CORBYL_FAST_PATH_SWITCH)
inline std::atomic<uint64_t> g_fast_path_mask{CORBYL_FAST_PATH_MASK};
inline bool fast_path(FastPath p) {
  return (g_fast_path_mask.load(std::memory_order_relaxed) & static_cast<uint64_t>(p)) != 0;
}
#else
constexpr bool fast_path(FastPath p) { return (uint64_t{CORBYL_FAST_PATH_MASK} & static_cast<uint64_t>(p)) != 0; }
#endif

}  // namespace corbyl
