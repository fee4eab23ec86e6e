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

enum class FastPath : uint64_t {
  ParseInline = 1ull << 0,
  AddInline = 1ull << 1,
  MultiplyInline = 1ull << 2,
  CompareInline = 1ull << 3,
  RoundNarrow = 1ull << 4,
  Align128 = 1ull << 5,
  Pow10Reciprocal = 1ull << 6,
  PrintInPlace = 1ull << 7,
  LinearMap = 1ull << 8,
  IdMask = 1ull << 9,
  MapByPosition = 1ull << 10,
  SortedBill = 1ull << 11,
  RepeatedText = 1ull << 12,
  RepeatedLine = 1ull << 13,
  ZeroPercentage = 1ull << 14,
  QuantaCount = 1ull << 15,
  NarrowKeys = 1ull << 16,
  WideKeys = 1ull << 17,
  ReportEntries = 1ull << 18,
  GrossedUpFactor = 1ull << 19,
  QuantizeSmall = 1ull << 20,
  OnePassRead = 1ull << 21,
  TextViews = 1ull << 22,
  GiveBackAmount = 1ull << 23,
  ShareEqualSubtotals = 1ull << 24,
  GeneratedTemplates = 1ull << 25,
  CompactInt = 1ull << 26,
  ListByPosition = 1ull << 27,
  PartsRefcountOnce = 1ull << 28,
  PresizedDict = 1ull << 29,
  HeldInPlace = 1ull << 30,
};

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
