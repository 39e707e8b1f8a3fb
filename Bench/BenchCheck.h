// What the benchmarks' checks share: finding a loop's last iteration, so that a check can look at what it made
// without timing the look; a record of what every timed frame left, and a running hash of what every iteration
// made, each checked after the loop; whether two colours agree; and whether a run gave back the heap blocks it took.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

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

// What every frame of a run left as its witness (a hash of what it drew, the pixels it wrote where nothing else
// does), kept inside the timed loop at the cost of a store or two (the room is made before the loop), and checked
// after it against the untimed record of the same work: a check that sees every frame, not only the last.
template <typename T>
class CBenchFrameRecord {
 public:
  // Room for state.max_iterations x uiFramesPerIteration frames of uiValuesPerFrame values each.
  CBenchFrameRecord(const benchmark::State& state, size_t uiValuesPerFrame, size_t uiFramesPerIteration = 1)
      : m_uiPerFrame(uiValuesPerFrame) {
    m_values.reserve(static_cast<size_t>(state.max_iterations) * uiFramesPerIteration * uiValuesPerFrame);
  }
  void add(const T& value) { m_values.push_back(value); }
  void add(const std::vector<T>& values) { m_values.insert(m_values.end(), values.begin(), values.end()); }
  size_t frames() const { return m_values.size() / m_uiPerFrame; }
  // Empty when the record holds iFrames whole frames and wanted(iFrame, pValues) answers empty for each; else the
  // first answer that was not, or how many frames are missing.
  template <typename FWanted>
  std::string check(int64_t iFrames, FWanted wanted) const {
    if (m_values.size() != static_cast<size_t>(iFrames) * m_uiPerFrame) {
      return "the frames left " + std::to_string(m_values.size()) + " witnesses, " + std::to_string(iFrames) +
             " frames of " + std::to_string(m_uiPerFrame) + " were run";
    }
    for (int64_t i = 0; i < iFrames; ++i) {
      std::string error = wanted(i, m_values.data() + static_cast<size_t>(i) * m_uiPerFrame);
      if (!error.empty()) return "frame " + std::to_string(i) + ": " + error;
    }
    return std::string();
  }

 private:
  size_t m_uiPerFrame;
  std::vector<T> m_values;
};

// Folds one record of 32-bit values (a quad's fields: floats or words) into a running hash, cheaply enough for a
// timed loop: the values' bits as a product sum with a constant each, then one step of a multiply chain, so that
// both the values and the records' order count.
template <typename... TValues>
u64 benchFold(u64 uiHash, TValues... values) {
  static constexpr u64 s_auiMULTIPLIERS[] = {0x9E3779B97F4A7C15ull, 0xC2B2AE3D27D4EB4Full, 0x165667B19E3779F9ull,
                                             0xD6E8FEB86659FD93ull, 0xFF51AFD7ED558CCDull, 0xC4CEB9FE1A85EC53ull,
                                             0x94D049BB133111EBull, 0xBF58476D1CE4E5B9ull};
  static_assert(sizeof...(values) <= std::size(s_auiMULTIPLIERS), "benchFold folds at most eight values");
  u64 uiRecord = 0;
  size_t i = 0;
  const auto add = [&](auto value) {
    static_assert(sizeof(value) == 4, "benchFold folds 32-bit values");
    u32 uiBits = 0;
    std::memcpy(&uiBits, &value, sizeof(uiBits));
    uiRecord += uiBits * s_auiMULTIPLIERS[i++];
  };
  (add(values), ...);
  return (uiHash ^ uiRecord) * 0x100000001B3ull;
}

// Whether two 0xAARRGGBB colours agree within iTolerance levels in each of red, green and blue.
inline bool benchNearColor(u32 uiA, u32 uiB, int iTolerance) {
  for (int iShift = 0; iShift < 24; iShift += 8) {
    if (std::abs(static_cast<int>((uiA >> iShift) & 0xFFu) - static_cast<int>((uiB >> iShift) & 0xFFu)) > iTolerance) {
      return false;
    }
  }
  return true;
}

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
