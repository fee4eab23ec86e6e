// The fast paths: second ways to compute what a general path beside them
// computes. Each has a bit here, and `fast_path(FastPath::X)` says whether
// it is taken.
//
// A build with CORBYL_FAST_PATHS=OFF (CMake) takes none of them. The
// test-only extension, the native tests and the fuzzers are built with
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
  X(CompareInline, 3) \
  X(RoundNarrow, 4) \
  X(Align128, 5) \
  X(Pow10Reciprocal, 6) \
  X(PrintInPlace, 7) \
  X(LinearMap, 8) \
  X(IdMask, 9) \
  X(MapByPosition, 10) \
  X(SortedBill, 11) \
  X(RepeatedText, 12) \
  X(RepeatedLine, 13) \
  X(ZeroPercentage, 14) \
  X(QuantaCount, 15) \
  X(NarrowKeys, 16) \
  X(WideKeys, 17) \
  X(ReportEntries, 18) \
  X(GrossedUpFactor, 19) \
  X(QuantizeSmall, 20) \
  X(OnePassRead, 21) \
  X(TextViews, 22) \
  X(GiveBackAmount, 23) \
  X(ShareEqualSubtotals, 24) \
  X(GeneratedTemplates, 25) \
  X(CompactInt, 26) \
  X(ListByPosition, 27) \
  X(PartsRefcountOnce, 28) \
  X(PresizedDict, 29) \
  X(HeldInPlace, 30)

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
