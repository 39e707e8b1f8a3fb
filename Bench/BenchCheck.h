// What the benchmarks' checks share: finding a loop's last iteration, so that a check can look at what it made
// without timing the look, a running hash of what every iteration made, and whether a run gave back the heap blocks
// it took.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>

#include "Corvane/Memory/KvAlloc.h"

// The loop runs state.max_iterations iterations unless an error stops it: counting them down finds the last one.
class CBenchLastIteration {
 public:
  explicit CBenchLastIteration(const benchmark::State& state) : m_iLeft(state.max_iterations) {}
  // Asked once in every iteration: true in the last.
  bool next() { return --m_iLeft == 0; }

 private:
  benchmark::IterationCount m_iLeft;
};

// A running hash of what a loop's iterations made, word by word in order: a side folds each iteration's output into
// it as it goes (a few operations a word, timed with the work), and after the loop the check folds the same words
// from an untimed record of the work and compares, so an iteration that left out its work shows wherever it was.
// An iteration's output is what that iteration made: a value left from an earlier iteration is not folded again.
class CBenchHash {
 public:
  void add(u64 ulWord) {
    m_ulValue = (m_ulValue ^ ulWord) * 0x100000001B3ull;
    m_ulValue ^= m_ulValue >> 29;
  }
  bool operator==(const CBenchHash&) const = default;

 private:
  u64 m_ulValue = 0xCBF29CE484222325ull;
};

// Whether uiBytes at p lie inside the uiSize bytes at pStart (a check's walk over a loader's block).
inline bool benchInside(const void* p, size_t uiBytes, const void* pStart, size_t uiSize) {
  const u8* pBytes = static_cast<const u8*>(p);
  const u8* pFirst = static_cast<const u8*>(pStart);
  return pBytes >= pFirst && pBytes <= pFirst + uiSize && uiBytes <= static_cast<size_t>(pFirst + uiSize - pBytes);
}

// Empty when the engine's heap holds iBlocks blocks (KvAllocLiveBlocks before a run); else how many more it holds.
inline std::string benchHeapLeftOver(i64 iBlocks) {
  const i64 iNow = KvAllocLiveBlocks();
  return iNow == iBlocks ? std::string()
                         : "the heap holds " + std::to_string(iNow - iBlocks) + " blocks more than before the run";
}
