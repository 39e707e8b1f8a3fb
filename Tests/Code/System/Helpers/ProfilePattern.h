// Profile blocks that tell which save they came from: the version word holds k and every other byte follows
// from k and its offset, so a block mixing two saves, or cut short, matches no k.
#pragma once

#include <cstring>

#include "Code/System/ClProfileMgr.h"

inline void fillProfilePattern(SPlayerProfile* pProfile, u32 k) {
  u8* pBytes = reinterpret_cast<u8*>(pProfile);
  for (u32 i = 0; i < gc_uiPLAYER_PROFILE_SIZE; ++i) {
    pBytes[i] = static_cast<u8>(k * 131u + i * 7u + (i >> 8));
  }
  std::memcpy(pBytes, &k, sizeof(k));
}

inline bool profileMatchesPattern(const SPlayerProfile* pProfile, u32 k) {
  alignas(16) static SPlayerProfile s_expected;
  fillProfilePattern(&s_expected, k);
  return std::memcmp(&s_expected, pProfile, sizeof(s_expected)) == 0;
}
