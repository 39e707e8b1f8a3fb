// The probe walk shared by ClSimpleHashTable and ClDynamicHashTable: from the home slot (key AND (N - 1))
// downwards, wrapping from slot 0 to slot N - 1, the first slot that holds the key or is empty ends the
// walk; at most N slots are examined.
//
// At high load a miss walks a long run of occupied slots, so the run is compared eight keys at a time
// (SSE2, part of every x86-64 processor); the highest matching slot of a group is the first in probe order.
#pragma once

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Corvane/System/KvTypes.h"

// The slot holding id (non-zero), or -1 when the walk meets an empty slot or has examined iExamine slots
// (1..iSlots).
inline i32 KvHashSlotSearch(const u32* pKeys, i32 iSlots, u32 id, i32 iExamine) {
  const u32 uiMask = static_cast<u32>(iSlots) - 1;
  u32 uiSlot = id & uiMask;
  // Most hits end at the home slot.
  if (pKeys[uiSlot] == id) {
    return static_cast<i32>(uiSlot);
  }
  if (pKeys[uiSlot] == 0) {
    return -1;
  }
  i32 iLeft = iExamine - 1;
  uiSlot = (uiSlot - 1) & uiMask;
#if defined(__SSE2__)
  const __m128i vId = _mm_set1_epi32(static_cast<i32>(id));
  const __m128i vZero = _mm_setzero_si128();
  while (iLeft >= 8) {
    if (uiSlot >= 7) {
      const __m128i vLow = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pKeys + uiSlot - 7));
      const __m128i vHigh = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pKeys + uiSlot - 3));
      const __m128i vStopLow = _mm_or_si128(_mm_cmpeq_epi32(vLow, vId), _mm_cmpeq_epi32(vLow, vZero));
      const __m128i vStopHigh = _mm_or_si128(_mm_cmpeq_epi32(vHigh, vId), _mm_cmpeq_epi32(vHigh, vZero));
      // Two bits a slot, slots uiSlot - 7 .. uiSlot from the lowest bits up.
      const i32 iBits = _mm_movemask_epi8(_mm_packs_epi32(vStopLow, vStopHigh));
      if (iBits != 0) {
        const u32 uiHit = uiSlot - 7 + static_cast<u32>(31 - __builtin_clz(static_cast<u32>(iBits))) / 2;
        return pKeys[uiHit] == id ? static_cast<i32>(uiHit) : -1;
      }
      uiSlot = (uiSlot - 8) & uiMask;
      iLeft -= 8;
    } else {
      // Slots 6..0 before the wrap, one at a time.
      if (pKeys[uiSlot] == id) {
        return static_cast<i32>(uiSlot);
      }
      if (pKeys[uiSlot] == 0) {
        return -1;
      }
      uiSlot = (uiSlot - 1) & uiMask;
      --iLeft;
    }
  }
#endif
  for (; iLeft > 0; --iLeft) {
    if (pKeys[uiSlot] == id) {
      return static_cast<i32>(uiSlot);
    }
    if (pKeys[uiSlot] == 0) {
      return -1;
    }
    uiSlot = (uiSlot - 1) & uiMask;
  }
  return -1;
}

// The whole walk: at most iSlots slots.
inline i32 KvHashSlotSearch(const u32* pKeys, i32 iSlots, u32 id) {
  return KvHashSlotSearch(pKeys, iSlots, id, iSlots);
}
